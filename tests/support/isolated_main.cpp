// The main function of every GoogleTest program of the suite.
//
// CTest runs each test case as a process of its own, several at once, and
// all of a program's cases start in the same folder. Tests that write files
// by fixed names (the output streams' "fort<n>", CSV files) would then see
// each other's files. Each process therefore moves into a fresh folder under
// the system's temporary folder before any test runs and removes it, with
// whatever the tests left there, when they are done. Paths the tests need
// from the source or build tree are absolute, so nothing else changes.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace {

class ScratchFolder {
 public:
  ScratchFolder() {
    std::error_code error;
    const fs::path base = fs::temp_directory_path(error);
    if (error) return;
    std::random_device device;
    const auto clock = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    std::mt19937_64 draw(clock ^ (static_cast<unsigned long long>(device()) << 20));
    for (int attempt = 0; attempt < 100 && folder_.empty(); ++attempt) {
      fs::path candidate = base / ("dalvex-test-" + std::to_string(draw() % 1000000000000ULL));
      if (fs::create_directory(candidate, error)) folder_ = candidate;
    }
    if (folder_.empty()) return;
    original_ = fs::current_path(error);
    fs::current_path(folder_, error);
    if (error) folder_.clear();
  }
  ~ScratchFolder() {
    if (folder_.empty()) return;
    std::error_code error;
    fs::current_path(original_, error);
    fs::remove_all(folder_, error);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  bool Ready() const { return !folder_.empty(); }

 private:
  fs::path folder_;
  fs::path original_;
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  ScratchFolder scratch;
  if (!scratch.Ready()) {
    std::fprintf(stderr, "cannot create a working folder of its own for this test program\n");
    return 1;
  }
  return RUN_ALL_TESTS();
}
