// The determinant of A from its LDL^T factors.
#pragma once

#include <cstdint>

#include "dalvex/ldlt.hpp"

namespace dalvex::internal {

// det(A) = det(D), since P is a permutation applied on both sides and L is
// unit lower triangular. The factors store D^-1 (pemric.h, "The factors that
// MA57BD leaves"): a 1x1 pivot's entry is 1/d, and a 2x2 pivot's block of
// D^-1 has the determinant 1/delta. So log|det A| is minus the sum of the
// logs of those values, and its sign their signs' product. `fact` and
// `ifact` are the factors of a nonsingular matrix.
LogDeterminant DeterminantOfFactors(const double* fact, const int32_t* ifact);

}  // namespace dalvex::internal
