#include <cstdint>
#include <cstring>

#include <gtest/gtest.h>

#include "pemric/common.h"

namespace {

uint64_t Bits(int32_t i) {
  const double v = MachineConstant(&i);
  uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

TEST(MachineConstant, ReturnsTheStoredBitPatterns) {
  EXPECT_EQ(Bits(1), 0x3CB0000000000002ULL);
  EXPECT_EQ(Bits(2), 0x3CA0000000000006ULL);
  EXPECT_EQ(Bits(3), 0x0010000000000001ULL);
  EXPECT_EQ(Bits(4), 0x0010000000000001ULL);
  EXPECT_EQ(Bits(5), 0x7FEFFFFFFFFFFFFBULL);
}

}  // namespace
