#include <gtest/gtest.h>

#include "pemric/record.h"

namespace {

using pemric::FormatE;
using pemric::FormatI;

TEST(RecordFields, IntegerRightAlignedOrStars) {
  EXPECT_EQ(FormatI(12345, 8), "   12345");
  EXPECT_EQ(FormatI(-99, 3), "-99");
  EXPECT_EQ(FormatI(123, 2), "**");
}

TEST(RecordFields, ExponentFormWithAndWithoutScale) {
  EXPECT_EQ(FormatE(123456.789, 12, 4, 0, 'E'), "  0.1235E+06");
  EXPECT_EQ(FormatE(123456.789, 12, 4, 1, 'E'), "  1.2346E+05");
  EXPECT_EQ(FormatE(-1e-100, 12, 4, 1, 'D'), " -1.0000-100");
  EXPECT_EQ(FormatE(0.0, 12, 4, 1, 'E'), "  0.0000E+00");
}

}  // namespace
