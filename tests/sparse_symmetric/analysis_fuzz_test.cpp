// Randomised bad input for the analysis: wild indices, sizes around the
// bounds, KEEP exactly as long as LKEEP says, non-permutations, every print
// level. Run under the sanitizers, any access outside the arrays fails.
#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "analysis_support.h"

namespace {

void Discard(void*, const char*, size_t) {}

TEST(AnalysisFuzz, RandomArgumentsNeverReachOutsideTheirArrays) {
  std::mt19937 rng(424242);
  for (int32_t unit : {6, 31}) pemric::AttachStream(unit, &Discard, nullptr);
  int successes = 0;
  for (int trial = 0; trial < 4000; ++trial) {
    const int32_t n = static_cast<int32_t>(rng() % 40) - (trial % 50 == 0 ? 2 : 0);
    const int32_t ne = static_cast<int32_t>(rng() % 120) - (trial % 60 == 0 ? 1 : 0);
    const int32_t nn = std::max(n, 0), nne = std::max(ne, 0);
    std::vector<int32_t> irn(nne), jcn(nne);
    std::uniform_int_distribution<int32_t> wild(-3, nn + 3), good(1, std::max(nn, 1));
    const bool bad = trial % 3 == 0;
    for (int32_t k = 0; k < nne; ++k) {
      irn[k] = bad ? wild(rng) : good(rng);
      jcn[k] = bad ? wild(rng) : good(rng);
    }
    const int64_t bound = ma57test::MinLkeep(nn, nne);
    const int32_t lkeep = static_cast<int32_t>(std::max<int64_t>(1, bound + (rng() % 9) - 3));
    std::vector<int32_t> keep(lkeep, -5), iwrk(std::max<int32_t>(5 * nn, 1), -5);
    int32_t icntl[20], info[40];
    double cntl[5], rinfo[20];
    MA57SetDefaults(cntl, icntl);
    icntl[4] = static_cast<int32_t>(rng() % 5);
    icntl[2] = trial % 2 ? 31 : 6;
    icntl[5] = static_cast<int32_t>(rng() % 2);
    icntl[11] = 1 + static_cast<int32_t>(rng() % 4);
    if (icntl[5] == 1) {
      for (int32_t v = 0; v < std::min(nn, lkeep); ++v) keep[v] = v + 1;
      std::shuffle(keep.begin(), keep.begin() + std::min(nn, lkeep), rng);
      if (trial % 5 == 0 && nn > 0) keep[rng() % nn] = wild(rng);
    }
    MA57AD(&n, &ne, irn.data(), jcn.data(), &lkeep, keep.data(), iwrk.data(), icntl, info, rinfo);
    SCOPED_TRACE(testing::Message() << "trial " << trial << " n " << n << " ne " << ne);
    const int32_t status = info[0];
    ASSERT_TRUE(status == -1 || status == -2 || status == -15 || status == -9 ||
                (status >= 0 && status <= 3))
        << status;
    if (status < 0) continue;
    ++successes;
    std::vector<int> seen(nn + 1, 0);
    for (int32_t v = 0; v < nn; ++v) {
      ASSERT_GE(keep[v], 1);
      ASSERT_LE(keep[v], nn);
      ASSERT_EQ(seen[keep[v]]++, 0);
    }
  }
  for (int32_t unit : {6, 31}) pemric::DetachStream(unit);
  EXPECT_GT(successes, 1000);
}

}  // namespace
