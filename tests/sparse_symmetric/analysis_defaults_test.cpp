#include <cstdint>
#include <cstring>

#include <gtest/gtest.h>

#include "pemric/ma57.h"

namespace {

uint64_t Bits(double v) {
  uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

TEST(Ma57Defaults, FillsEveryControlBitForBit) {
  double cntl[5];
  int32_t icntl[20];
  std::memset(cntl, 0x7f, sizeof cntl);
  std::memset(icntl, 0x7f, sizeof icntl);
  MA57SetDefaults(cntl, icntl);
  const int32_t expected[20] = {6, 6, 6, -1, 2, 0, 1, 0, 1, 0, 16, 1, 10, 100, 0, 0, 0, 0, 0, 0};
  for (int k = 0; k < 20; ++k) EXPECT_EQ(icntl[k], expected[k]) << "ICNTL(" << k + 1 << ")";
  // The widened single-precision 0.01, not the double 0.01.
  EXPECT_EQ(Bits(cntl[0]), Bits(0.009999999776482582));
  EXPECT_NE(Bits(cntl[0]), Bits(0.01));
  EXPECT_EQ(Bits(cntl[1]), Bits(0.0));
  EXPECT_EQ(Bits(cntl[2]), Bits(0.5));
  EXPECT_EQ(Bits(cntl[3]), Bits(0.0));
  EXPECT_EQ(Bits(cntl[4]), Bits(0.0));
}

}  // namespace
