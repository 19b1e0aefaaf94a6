// Long runs in one process: many create / set-up / solve / release cycles,
// and many solves on one solver object. Nothing may accumulate: after the
// first cycle (or solve), which may leave the libraries' one-time
// allocations behind, the count of live heap blocks must come back to the
// same value after each cycle, exactly; every output unit must be free
// again, every file closed, every reference given back; and each cycle must
// end exactly as the first. The counts are small here; scripts/long-run.sh
// runs the full lengths (DALVEX_LONG_RUN_CYCLES, DALVEX_LONG_RUN_SOLVES) and
// reports the resident memory sampled along the way.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "allocation_hook.h"
#include "solve_run.h"
#include "units_free.h"
#include "vorn/host_interfaces.h"
#include "vorn/services.h"
#include "vorn_host/module_loader.h"
#include "vorn_host/reference_eso.h"

namespace {

constexpr int32_t kSize = 30;

int64_t FromEnvironment(const char* name, int64_t fallback) {
  const char* text = std::getenv(name);
  return text != nullptr && std::atoll(text) > 0 ? std::atoll(text) : fallback;
}

// Resident memory of the process in KiB (Linux).
int64_t ResidentKiB() {
  long pages = 0, resident = 0;
  if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return static_cast<int64_t>(resident) * sysconf(_SC_PAGESIZE) / 1024;
}

int OpenFiles() {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) count += entry.exists() ? 1 : 0;
  return count;
}

// Counts messages without keeping them.
class CountingSink final : public VornMessageSink {
 public:
  void VORN_CALL Print(const char*) override { ++prints; }
  void VORN_CALL Flush() override {}
  int64_t prints = 0;
};

void SetInteger(VornFactoryNLASystem* factory, const char* name, int32_t value) {
  VornSolverParameters* parameters = nullptr;
  factory->QueryInterface(kIID_VornSolverParameters, reinterpret_cast<void**>(&parameters));
  VornValueCell cell{};
  cell.integer = value;
  parameters->SetParameterValue(name, kVornInteger, cell);
  parameters->Release();
}

// Broyden's tridiagonal system with every residual less `*shift`: a host
// that solves a new problem of one shape each time, as a simulation does
// from one time step to the next.
vorn_host::ProblemDescription Shifted(std::shared_ptr<double> shift) {
  vorn_host::ProblemDescription p = vorn_host::BroydenTridiagonal(kSize);
  p.residuals = [base = p.residuals, shift](const double* x, double* f) {
    base(x, f);
    for (int32_t i = 0; i < kSize; ++i) f[i] -= *shift;
  };
  return p;
}

struct Cycle {
  int32_t result = 0, iterations = 0, calls = 0;
  int32_t solver_count = -1, factory_count = -1;  // what the last releases returned
};

int32_t SolveToTheEnd(VornNumericNLASystem* solver, Cycle& c) {
  c.result = solver->Solve(0, &c.iterations);
  for (c.calls = 1; c.result == kVornCallAgain && c.calls < 500; ++c.calls) c.result = solver->Solve(1, &c.iterations);
  return c.result;
}

class LongRun : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(module_.Load(DALVEX_MODULE_PATH)) << module_.error(); }

  // Samples the resident memory every tenth of the run. In a full-length
  // run it may not grow by more than kResidentBoundKiB after the second
  // sample: the first sample's own printing still brings pages in.
  void Sample(int64_t done, int64_t total) {
    if (total < 10 || done % (total / 10) != 0) return;
    const int64_t kib = ResidentKiB();
    std::printf("after %lld: %lld KiB resident, %lld live blocks\n", static_cast<long long>(done),
                static_cast<long long>(kib), static_cast<long long>(alloc_hook::LiveBlocks()));
    const int64_t warm = 2 * (total / 10);
    if (done == warm) warm_kib_ = kib;
    if (done > warm && total >= kFullLength) {
      EXPECT_LE(kib - warm_kib_, kResidentBoundKiB) << "after " << done;
    }
  }

  static constexpr int64_t kFullLength = 1000;      // runs this long check the resident memory too
  static constexpr int64_t kResidentBoundKiB = 256;  // growth allowed after the second sample
  vorn_host::PluginModule module_;
  int64_t warm_kib_ = 0;
};

TEST_F(LongRun, CreateSetUpSolveReleaseCycles) {
  const int64_t cycles = FromEnvironment("DALVEX_LONG_RUN_CYCLES", 200);
  auto shift = std::make_shared<double>(0.0);
  vorn_host::ReferenceEso* eso = vorn_host::ReferenceEso::Create(Shifted(shift));
  const std::vector<double> start = eso->values();
  const int files = OpenFiles();
  Cycle first;
  std::vector<uint64_t> first_x;
  int64_t live = 0;
  for (int64_t k = 1; k <= cycles && !HasFailure(); ++k) {
    eso->SetVariableValues(0, start.data());
    CountingSink sink;
    Cycle c;
    alloc_hook::Arm(0);
    VornFactoryNLASystem* factory = module_.CreateFactory();
    SetInteger(factory, "Iprint", -1);  // a unit reserved, its file written
    VornNumericNLASystem* solver = nullptr;
    factory->CreateNLASystem(eso->problem(), &sink, &solver);
    SolveToTheEnd(solver, c);
    c.solver_count = solver->Release();
    c.factory_count = factory->Release();
    alloc_hook::Disarm();
    const std::vector<uint64_t> x = dalvex_test::Bits(eso->values());
    if (k == 1) {
      first = c;
      first_x = x;
      live = alloc_hook::LiveBlocks();
      EXPECT_EQ(c.result, 0);
    }
    SCOPED_TRACE("cycle " + std::to_string(k));
    EXPECT_EQ(alloc_hook::LiveBlocks(), live) << "blocks left behind";
    EXPECT_EQ(c.solver_count, 0);
    EXPECT_EQ(c.factory_count, 0);
    EXPECT_EQ(eso->reference_count(), 1);
    EXPECT_EQ(OpenFiles(), files);
    EXPECT_TRUE(c.result == first.result && c.iterations == first.iterations && c.calls == first.calls &&
                x == first_x)
        << "the cycle ended otherwise than the first";
    if (k == 1 || k == cycles) {
      EXPECT_TRUE(UnitsFree());
    }
    Sample(k, cycles);
  }
  eso->Release();
}

TEST_F(LongRun, SolvesOnOneObject) {
  const int64_t solves = FromEnvironment("DALVEX_LONG_RUN_SOLVES", 100);
  auto shift = std::make_shared<double>(0.0);
  vorn_host::ReferenceEso* eso = vorn_host::ReferenceEso::Create(Shifted(shift));
  CountingSink sink;
  const int files = OpenFiles();
  alloc_hook::Arm(0);
  VornFactoryNLASystem* factory = module_.CreateFactory();
  SetInteger(factory, "Iprint", 1);  // a summary per iteration to the unit's file
  VornNumericNLASystem* solver = nullptr;
  factory->CreateNLASystem(eso->problem(), &sink, &solver);
  int64_t live = 0;
  for (int64_t k = 1; k <= solves && !HasFailure(); ++k) {
    *shift = 0.05 * static_cast<double>(k % 7);  // the next problem starts where the last one ended
    Cycle c;
    EXPECT_EQ(SolveToTheEnd(solver, c), 0) << "solve " << k;
    if (k == 1) live = alloc_hook::LiveBlocks();
    EXPECT_EQ(alloc_hook::LiveBlocks(), live) << "solve " << k << " left blocks behind";
    Sample(k, solves);
  }
  EXPECT_EQ(solver->Release(), 0);
  EXPECT_EQ(factory->Release(), 0);
  alloc_hook::Disarm();
  EXPECT_EQ(OpenFiles(), files);
  EXPECT_TRUE(UnitsFree());
  EXPECT_EQ(eso->reference_count(), 1);
  eso->Release();
}

}  // namespace
