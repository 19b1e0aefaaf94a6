// The reserved output unit's file on a device that will not take it: a
// working folder that no longer exists, a folder no one may write to, and a
// device that is full. The solve must end exactly as it does with a good
// file, and the host is told once that the records were lost.
// Linux devices; other systems skip these cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "solve_run.h"
#include "vorn/services.h"
#include "vorn_host/module_loader.h"

#if defined(__linux__)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#endif

namespace dalvex_test {
namespace {

#if defined(__linux__)

enum class Device { kFolderGone, kFolderReadOnly, kDeviceFull };

const char* NameOf(Device device) {
  switch (device) {
    case Device::kFolderGone: return "FolderGone";
    case Device::kFolderReadOnly: return "FolderReadOnly";
    default: return "DeviceFull";
  }
}
std::string Name(const ::testing::TestParamInfo<Device>& info) { return NameOf(info.param); }
void PrintTo(Device device, std::ostream* out) { *out << NameOf(device); }

// The unit the next solver will be given: the first free one.
int32_t NextFreeUnit() {
  for (int32_t unit = 1; unit <= 99; ++unit) {
    if (VornServices::ReserveFortranLogicalUnit(unit)) {
      VornServices::FreeFortranLogicalUnit(unit);
      return unit;
    }
  }
  return 0;
}

class UnwritableOutput : public ::testing::TestWithParam<Device> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(module_.Load(DALVEX_MODULE_PATH)) << module_.error();
    factory_ = module_.CreateFactory();
    ASSERT_NE(factory_, nullptr);
    void* face = nullptr;
    ASSERT_EQ(factory_->QueryInterface(kIID_VornSolverParameters, &face), kVornOk);
    auto* parameters = static_cast<VornSolverParameters*>(face);
    VornValueCell cell{};
    cell.integer = -1;  // a record for every point, with the variables and residuals
    EXPECT_EQ(parameters->SetParameterValue("Iprint", kVornInteger, cell), kVornOk);
    parameters->Release();
    ASSERT_NE(getcwd(home_, sizeof home_), nullptr);
  }
  void TearDown() override {
    EXPECT_EQ(chdir(home_), 0);
    if (factory_ != nullptr) factory_->Release();
  }

  // Makes the next solver's output file impossible to write. False when this
  // machine cannot offer the device.
  bool Break(Device device) {
    switch (device) {
      case Device::kFolderGone: {
        const std::string gone = std::string(home_) + "/gone";
        return mkdir(gone.c_str(), 0700) == 0 && chdir(gone.c_str()) == 0 && rmdir(gone.c_str()) == 0;
      }
      case Device::kFolderReadOnly: {
        // sysfs takes no new files from anyone, not even the superuser.
        const int probe = open("/sys/dalvex-probe", O_WRONLY | O_CREAT, 0600);
        if (probe >= 0) close(probe);
        return probe < 0 && chdir("/sys") == 0;
      }
      case Device::kDeviceFull: {
        const std::string file = "fort" + std::to_string(NextFreeUnit());
        unlink(file.c_str());
        return access("/dev/full", W_OK) == 0 && symlink("/dev/full", file.c_str()) == 0;
      }
    }
    return false;
  }

  vorn_host::PluginModule module_;
  VornFactoryNLASystem* factory_ = nullptr;
  char home_[PATH_MAX] = {};
};

TEST_P(UnwritableOutput, LeavesTheSolveUnchangedAndTellsTheHostOnce) {
  const SolveRun good = SolveLibraryProblem(factory_, "broyden-banded", 300);
  ASSERT_EQ(good.result, kVornOk);
  ASSERT_FALSE(good.records.empty());
  if (!Break(GetParam())) GTEST_SKIP() << "this machine cannot offer the device";
  const SolveRun lost = SolveLibraryProblem(factory_, "broyden-banded", 300);

  EXPECT_EQ(lost.result, good.result);
  EXPECT_EQ(lost.iterations, good.iterations);
  EXPECT_EQ(lost.calls, good.calls);
  EXPECT_TRUE(lost.x == good.x) << "the final point differs";
  const std::string told =
      "Output to file fort" + std::to_string(lost.unit) + " failed; further output is suppressed\n";
  EXPECT_EQ(std::count(lost.messages.begin(), lost.messages.end(), told), 1);
  std::vector<std::string> others = lost.messages;
  others.erase(std::remove(others.begin(), others.end(), told), others.end());
  EXPECT_EQ(others, good.messages);
  EXPECT_TRUE(lost.records.empty());
}

INSTANTIATE_TEST_SUITE_P(Devices,
                         UnwritableOutput,
                         ::testing::Values(Device::kFolderGone, Device::kFolderReadOnly, Device::kDeviceFull),
                         Name);

#endif

}  // namespace
}  // namespace dalvex_test
