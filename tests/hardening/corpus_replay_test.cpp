// Every input kept in the fuzz corpus, run through its target's entry
// function: the inputs that once broke an invariant stay fixed, and the
// coverage the fuzzer built up is exercised on every build. A broken
// invariant fails the test with the target's message and the input's file,
// and the replay goes on with the next file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "dalvex_fuzz/fuzz_support.h"

namespace {

struct Target {
  const char* name;
  dalvex_fuzz::Entry entry;
};

std::ostream& operator<<(std::ostream& os, const Target& t) { return os << t.name; }

class CorpusReplay : public ::testing::TestWithParam<Target> {};

TEST_P(CorpusReplay, EveryKeptInputHoldsTheInvariants) {
  const std::filesystem::path dir = std::filesystem::path(DALVEX_FUZZ_CORPUS) / GetParam().name;
  ASSERT_TRUE(std::filesystem::is_directory(dir)) << dir;
  std::vector<std::filesystem::path> files;
  for (const auto& item : std::filesystem::directory_iterator(dir)) {
    if (item.is_regular_file()) files.push_back(item.path());
  }
  std::sort(files.begin(), files.end());
  ASSERT_FALSE(files.empty()) << "no corpus for " << GetParam().name;
  for (const auto& file : files) {
    std::ifstream stream(file, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    EXPECT_EQ(GetParam().entry(bytes.data(), bytes.size()), "") << "corpus file " << file;
  }
}

// Seeded random bytes through every target as well, so that each run also
// checks the invariants on a thousand inputs the corpus does not hold.
TEST_P(CorpusReplay, SeededRandomInputsHoldTheInvariants) {
  std::mt19937 rng(424242);
  for (int input = 0; input < 1000; ++input) {
    std::vector<uint8_t> bytes(rng() % 400);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
    EXPECT_EQ(GetParam().entry(bytes.data(), bytes.size()), "") << "seeded input " << input;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Targets,
    CorpusReplay,
    ::testing::Values(Target{"mc59", dalvex_fuzz::FuzzMc59},
                      Target{"ma57_analysis", dalvex_fuzz::FuzzMa57Analysis},
                      Target{"ma57_factor", dalvex_fuzz::FuzzMa57Factor},
                      Target{"ns23", dalvex_fuzz::FuzzNs23},
                      Target{"record", dalvex_fuzz::FuzzRecord},
                      Target{"parameters", dalvex_fuzz::FuzzParameters},
                      Target{"matrix_market", dalvex_fuzz::FuzzMatrixMarket}),
    [](const ::testing::TestParamInfo<Target>& info) { return std::string(info.param.name); });

}  // namespace
