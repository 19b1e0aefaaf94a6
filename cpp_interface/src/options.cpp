// The options' checks: one line per field, in declaration order, each
// naming the field, its value and what it must be. Comparisons are written
// so that NaN fails them.
#include <cmath>
#include <sstream>
#include <string>

#include "dalvex/error.hpp"
#include "dalvex/ldlt.hpp"
#include "dalvex/least_squares.hpp"

namespace dalvex {
namespace {

template <class T>
void Check(bool ok, const char* field, T value, const char* requirement) {
  if (ok) return;
  std::ostringstream message;
  message << field << " is " << value << "; it must be " << requirement;
  throw Error(ErrorCode::kInvalidArgument, message.str());
}

}  // namespace

void LDLTOptions::Validate() const {
  const double u = pivot_threshold, z = zero_pivot_tolerance;
  Check(u >= 0.0 && u <= 0.5, "LDLTOptions::pivot_threshold", u, "in [0, 0.5]");
  Check(z >= 0.0 && std::isfinite(z), "LDLTOptions::zero_pivot_tolerance", z, "finite and >= 0");
  Check(ordering == Ordering::kGiven || elimination_order.empty(), "LDLTOptions::elimination_order",
        "given", "empty unless ordering is Ordering::kGiven");
}

void LeastSquaresOptions::Validate() const {
  auto finite_non_negative = [](double v) { return v >= 0.0 && std::isfinite(v); };
  Check(finite_non_negative(residual_tolerance), "LeastSquaresOptions::residual_tolerance",
        residual_tolerance, "finite and >= 0");
  Check(finite_non_negative(sum_of_squares_tolerance),
        "LeastSquaresOptions::sum_of_squares_tolerance", sum_of_squares_tolerance,
        "finite and >= 0");
  Check(finite_non_negative(step_tolerance), "LeastSquaresOptions::step_tolerance", step_tolerance,
        "finite and >= 0");
  Check(max_evaluations >= 1, "LeastSquaresOptions::max_evaluations", max_evaluations, ">= 1");
  Check(max_difference_step > 0.0 && std::isfinite(max_difference_step),
        "LeastSquaresOptions::max_difference_step", max_difference_step, "finite and > 0");
  Check(finite_non_negative(initial_difference_step),
        "LeastSquaresOptions::initial_difference_step", initial_difference_step, "finite and >= 0");
  Check(residual_relative_error >= 0.0 && residual_relative_error < 1.0,
        "LeastSquaresOptions::residual_relative_error", residual_relative_error, "in [0, 1)");
  Check(poor_reduction_ratio > 0.0 && poor_reduction_ratio < 1.0,
        "LeastSquaresOptions::poor_reduction_ratio", poor_reduction_ratio, "in (0, 1)");
  Check(good_reduction_ratio >= poor_reduction_ratio && good_reduction_ratio < 1.0,
        "LeastSquaresOptions::good_reduction_ratio", good_reduction_ratio,
        "in [poor_reduction_ratio, 1)");
  Check(linearity_factor > 0.0 && std::isfinite(linearity_factor),
        "LeastSquaresOptions::linearity_factor", linearity_factor, "finite and > 0");
}

}  // namespace dalvex
