// Sparse nonlinear least squares and equations: minimise sum_i F_i(x)^2 for
// m residuals in n variables (m >= n), by the library's Levenberg-Marquardt
// routine NS23AD with the Jacobian given by the caller on a sparse pattern,
// or estimated by grouped differences on it.
//
//   auto problem = dalvex::LeastSquaresProblem::WithJacobian(
//       m, n, rows, columns, residuals, jacobian);
//   dalvex::LeastSquaresSolver solver(problem, options);
//   dalvex::LeastSquaresSummary summary = solver.Solve(x);
//   std::cout << summary.BriefReport() << "\n";
//
// The callbacks run on the thread that calls Solve, one at a time, between
// the routine's steps (never inside it). An exception thrown by a callback
// ends the solve and reaches the caller of Solve unchanged, with x holding
// the best point evaluated so far; the solver can be used again.
//
// Threads: solvers share nothing, so different solvers may run on different
// threads at once; one solver runs one Solve at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "dalvex/log.hpp"
#include "dalvex/span.hpp"

namespace dalvex {

// residuals[i] = F_i(x), i < m.
using ResidualFunction = std::function<void(Span<const double> x, Span<double> residuals)>;
// values[k] = dF_rows[k] / dx_columns[k] for the entries k of the pattern.
using JacobianFunction = std::function<void(Span<const double> x, Span<double> values)>;
// The same values where the caller keeps them (the pattern's order, one per
// entry), read in place instead of written into the solver's array: the
// solver carries them into its own order in one pass. The view must stay
// valid and unchanged until the solver next calls one of the problem's
// functions or Solve returns (the step's report shows it as
// trial_jacobian).
using JacobianViewFunction = std::function<Span<const double>(Span<const double> x)>;

class LeastSquaresProblem {
 public:
  // m residuals, n variables (1 <= n <= m), a Jacobian pattern of entries
  // (rows[k], columns[k]) counted from 0, each position once, and the
  // functions that evaluate residuals and Jacobian values. Throws Error:
  // sizes, an index out of range, a position given twice, an empty
  // function.
  static LeastSquaresProblem WithJacobian(int64_t m,
                                          int64_t n,
                                          Span<const int32_t> rows,
                                          Span<const int32_t> columns,
                                          ResidualFunction residuals,
                                          JacobianFunction jacobian);
  static LeastSquaresProblem WithJacobian(int64_t m,
                                          int64_t n,
                                          Span<const int64_t> rows,
                                          Span<const int64_t> columns,
                                          ResidualFunction residuals,
                                          JacobianFunction jacobian);
  // The same with the Jacobian's values viewed where the caller keeps them.
  // Solve throws Error (kInvalidArgument) when a view's length is not the
  // pattern's.
  static LeastSquaresProblem WithJacobianView(int64_t m,
                                              int64_t n,
                                              Span<const int32_t> rows,
                                              Span<const int32_t> columns,
                                              ResidualFunction residuals,
                                              JacobianViewFunction jacobian);
  static LeastSquaresProblem WithJacobianView(int64_t m,
                                              int64_t n,
                                              Span<const int64_t> rows,
                                              Span<const int64_t> columns,
                                              ResidualFunction residuals,
                                              JacobianViewFunction jacobian);
  // The same with the Jacobian estimated by differences on the pattern:
  // columns that share no row are perturbed together, one evaluation per
  // group, with steps refined so that truncation and rounding errors stay in
  // proportion.
  static LeastSquaresProblem WithDifferenceJacobian(int64_t m,
                                                    int64_t n,
                                                    Span<const int32_t> rows,
                                                    Span<const int32_t> columns,
                                                    ResidualFunction residuals);
  static LeastSquaresProblem WithDifferenceJacobian(int64_t m,
                                                    int64_t n,
                                                    Span<const int64_t> rows,
                                                    Span<const int64_t> columns,
                                                    ResidualFunction residuals);

  int32_t residuals() const;
  int32_t variables() const;
  int64_t jacobian_entries() const;
  bool difference_jacobian() const;
  // The pattern as given, counted from 0.
  Span<const int32_t> jacobian_rows() const;
  Span<const int32_t> jacobian_columns() const;

  struct Data;

 private:
  explicit LeastSquaresProblem(std::shared_ptr<const Data> data);
  friend class LeastSquaresSolver;
  std::shared_ptr<const Data> data_;  // never null; copies share it
};

struct LeastSquaresOptions {
  // Converged: the largest |F_i| at an evaluated point (not a difference
  // point) is at most this; the solve ends there. 0 leaves the ending to
  // the tests below.
  double residual_tolerance = 1e-10;
  // The routine's own tests, made before each step, in this order: a step
  // at the rounding level of x always ends the solve; then the sum of
  // squares at most sum_of_squares_tolerance, and the next step's length at
  // most step_tolerance (either one, or both together when
  // require_both_tests).
  double sum_of_squares_tolerance = 0.0;
  double step_tolerance = 0.0;
  bool require_both_tests = false;
  // Budget of residual evaluations, the start and difference evaluations
  // included (>= 1). The routine checks it before each step, so a
  // difference Jacobian under way is finished and may exceed it.
  int32_t max_evaluations = 1000;
  // Difference Jacobian only: the largest step of a variable (> 0), and the
  // first step of every variable (0: max_difference_step * sqrt(eps)).
  double max_difference_step = 1e-2;
  double initial_difference_step = 0.0;
  // Difference Jacobian only: the relative error of a residual value, for
  // the step refinement (0: half the machine precision).
  double residual_relative_error = 0.0;
  // Trust region: a step whose actual over predicted reduction falls below
  // poor_reduction_ratio shrinks the bound, one above good_reduction_ratio
  // may grow it (0 < poor <= good < 1). linearity_factor (> 0) decides, with
  // a difference Jacobian, when a step is short enough for a line search
  // and when the Jacobian is trusted without new differences.
  double poor_reduction_ratio = 0.25;
  double good_reduction_ratio = 0.75;
  double linearity_factor = 0.25;
  // One line per iteration and one at the end; none when empty.
  LogSink log;

  // Throws Error (kInvalidArgument) naming the first field out of range.
  void Validate() const;
};

enum class Termination {
  kResidualTolerance,      // the largest |F_i| fell to residual_tolerance
  kSumOfSquaresTolerance,  // the sum of squares fell to sum_of_squares_tolerance
  kSmallStep,              // the next step was at most step_tolerance or at the rounding
                           // level of x, or differences could make no further progress:
                           // a minimum of the sum of squares, or a point the method cannot
                           // improve on
  kMaxEvaluations,         // max_evaluations spent
  kUserStop,               // the iteration callback asked to stop
  kFactorizationFailed,    // the shifted normal matrix failed to factorize ten times
  kNonFinite,              // residuals or Jacobian not finite at the current point
  kRoutineFailure,         // another status of the routine (routine_status)
};

// "residual tolerance", "sum-of-squares tolerance", "small step", ...
const char* to_string(Termination termination);

struct LeastSquaresSummary {
  Termination termination = Termination::kRoutineFailure;
  // The largest |F_i| at the final x is at most residual_tolerance.
  bool converged = false;
  int32_t routine_status = 0;  // NS23AD's last flag (0 finished, < 0 error)
  int32_t iterations = 0;      // steps tried (trial points evaluated)
  int32_t residual_evaluations = 0;
  int32_t jacobian_evaluations = 0;  // analytic Jacobian only
  double initial_sum_of_squares = std::numeric_limits<double>::quiet_NaN();
  double final_sum_of_squares = std::numeric_limits<double>::quiet_NaN();
  double max_abs_residual = std::numeric_limits<double>::quiet_NaN();  // at the final x
  double marquardt_parameter = 0.0;
  // Wall-clock seconds: the whole Solve, the callbacks' evaluations, the
  // routine itself (the rest is this interface's own bookkeeping).
  double total_seconds = 0.0;
  double evaluation_seconds = 0.0;
  double solver_seconds = 0.0;
  // Workspace held: the routine's integer and real arrays, sized before the
  // first evaluation.
  int64_t integer_workspace = 0;
  int64_t real_workspace = 0;

  // A paragraph: termination, whether converged, the counts, sums of
  // squares and times.
  std::string BriefReport() const;
};

struct IterationReport {
  int32_t iteration = 0;              // steps tried so far
  int32_t evaluations = 0;            // residual evaluations so far
  double sum_of_squares = 0.0;        // at the best point so far
  double max_abs_residual = 0.0;      // at the best point so far
  double trial_sum_of_squares = 0.0;  // at the step just tried
  double marquardt_parameter = 0.0;
  Span<const double> x;  // the best point so far
  // The step just tried: its point, its residuals and, with the caller's
  // Jacobian, the Jacobian's values there in the pattern's order (empty
  // with differences). Views valid during the callback only, so that a
  // caller that needs them keeps no copy of every evaluation.
  Span<const double> trial_x;
  Span<const double> trial_residuals;
  Span<const double> trial_jacobian;
};

enum class IterationAction { kContinue, kStop };
// Called once per step tried (but a step that meets residual_tolerance, which
// ends the solve at once); kStop ends the solve at the best point.
using IterationCallback = std::function<IterationAction(const IterationReport&)>;

class LeastSquaresSolver {
 public:
  // Checks the options and sizes the routine's workspace from the analysis
  // of the Jacobian's pattern, before any evaluation. Throws Error as
  // options.Validate() does, kTooLarge when the workspace exceeds the
  // routine's 32-bit lengths, std::bad_alloc when memory runs out.
  explicit LeastSquaresSolver(LeastSquaresProblem problem, LeastSquaresOptions options = {});
  ~LeastSquaresSolver();
  LeastSquaresSolver(LeastSquaresSolver&&) noexcept;
  LeastSquaresSolver& operator=(LeastSquaresSolver&&) noexcept;
  LeastSquaresSolver(const LeastSquaresSolver&) = delete;
  LeastSquaresSolver& operator=(const LeastSquaresSolver&) = delete;

  void SetIterationCallback(IterationCallback callback);

  // Solves from x (length n, finite), leaving in x the best point found.
  // Throws Error for an x of another length or not finite.
  LeastSquaresSummary Solve(Span<double> x);

  // After Solve: the residuals and the Jacobian values (in the pattern's
  // order; the routine's estimate with a difference Jacobian) at the final
  // x. Empty before.
  Span<const double> residuals() const;
  Span<const double> jacobian_values() const;

  const LeastSquaresProblem& problem() const;
  const LeastSquaresOptions& options() const;

  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace dalvex
