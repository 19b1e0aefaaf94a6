// The BLAS kernels give the same results, to rounding, with the project's
// BLAS and with the reference BLAS.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "blas_cases.h"
#include "dalvex_test/near.h"

namespace {

// Every result is a sum of at most a few dozen products of numbers below one,
// so a difference of a few hundred units of roundoff means a different result.
constexpr double kTolerance = 256 * std::numeric_limits<double>::epsilon();

TEST(Blas, SameResultsAsTheReferenceBlas) {
#ifndef DALVEX_REFERENCE_PROBE
  GTEST_SKIP() << "reference BLAS not installed";
#else
  FILE* pipe = popen(DALVEX_REFERENCE_PROBE, "r");
  ASSERT_NE(pipe, nullptr);
  std::vector<double> reference;
  char line[64];
  while (std::fgets(line, sizeof line, pipe)) reference.push_back(std::strtod(line, nullptr));
  ASSERT_EQ(pclose(pipe), 0);
  const std::vector<double> ours = blascases::Compute();
  ASSERT_EQ(ours.size(), reference.size());
  for (std::size_t i = 0; i < ours.size(); ++i)
    ASSERT_TRUE(dalvex_test::Near(ours[i], reference[i],
                                  kTolerance * std::fmax(1.0, std::fabs(reference[i]))))
        << "result " << i;
  EXPECT_EQ(ours.back(), 0.0);  // an empty dot product
#endif
}

}  // namespace
