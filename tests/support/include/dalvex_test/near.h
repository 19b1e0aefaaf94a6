// The suite's one near-equality assertion for reals. It fails on NaN: the
// test is !(|a - b| <= tolerance), which no NaN passes.
//
//   EXPECT_TRUE(dalvex_test::Near(x, reference, 8 * kEps * scale));
//
// For GoogleTest programs only (the rest of the support library does not
// need GoogleTest).
#pragma once

#include <gtest/gtest.h>

#include <cmath>

namespace dalvex_test {

inline ::testing::AssertionResult Near(double a, double b, double tolerance) {
  if (std::fabs(a - b) <= tolerance) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << a << " vs " << b << " (tolerance " << tolerance << ")";
}

}  // namespace dalvex_test
