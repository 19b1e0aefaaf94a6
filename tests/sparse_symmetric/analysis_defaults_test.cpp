#include <cstdint>
#include <cstring>

#include <gtest/gtest.h>

#include "pemric/ma57.h"
#include "pemric/one_based.h"

namespace {

using pemric::At;

uint64_t Bits(double v) {
  uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

TEST(Ma57Defaults, FillsEveryControlBitForBit) {
  double cntl[MA57_LCNTL];
  int32_t icntl[MA57_LICNTL];
  std::memset(cntl, 0x7f, sizeof cntl);
  std::memset(icntl, 0x7f, sizeof icntl);
  MA57SetDefaults(cntl, icntl);
  // The documented defaults, position by position; ICNTL(15..20) are 0.
  int32_t expected[MA57_LICNTL] = {};
  At(expected)(MA57_ICNTL_ERROR_STREAM) = 6;
  At(expected)(MA57_ICNTL_WARNING_STREAM) = 6;
  At(expected)(MA57_ICNTL_MONITOR_STREAM) = 6;
  At(expected)(MA57_ICNTL_STATISTICS_STREAM) = -1;
  At(expected)(MA57_ICNTL_PRINT_LEVEL) = 2;
  At(expected)(MA57_ICNTL_SUPPLIED_ORDER) = 0;
  At(expected)(MA57_ICNTL_PIVOTING) = 1;
  At(expected)(MA57_ICNTL_SUSPEND) = 0;
  At(expected)(MA57_ICNTL_REFINEMENT_STEPS) = 1;
  At(expected)(MA57_ICNTL_ERROR_ANALYSIS) = 0;
  At(expected)(MA57_ICNTL_BLOCK_SIZE) = 16;
  At(expected)(MA57_ICNTL_AMALGAMATION) = 1;
  At(expected)(MA57_ICNTL_BLAS_THRESHOLD) = 10;
  At(expected)(MA57_ICNTL_RESERVED) = 100;
  for (int k = 1; k <= MA57_LICNTL; ++k)
    EXPECT_EQ(At(icntl)(k), At(expected)(k)) << "ICNTL(" << k << ")";
  // The widened single-precision 0.01, not the double 0.01.
  EXPECT_EQ(Bits(At(cntl)(MA57_CNTL_THRESHOLD)), Bits(0.009999999776482582));
  EXPECT_NE(Bits(At(cntl)(MA57_CNTL_THRESHOLD)), Bits(0.01));
  EXPECT_EQ(Bits(At(cntl)(MA57_CNTL_ZERO_PIVOT)), Bits(0.0));
  EXPECT_EQ(Bits(At(cntl)(MA57_CNTL_CONVERGENCE)), Bits(0.5));
  // CNTL(4..5), named nowhere, are 0.
  for (int k = MA57_CNTL_CONVERGENCE + 1; k <= MA57_LCNTL; ++k)
    EXPECT_EQ(Bits(At(cntl)(k)), Bits(0.0)) << k;
}

}  // namespace
