// SciPy's termination tests of least_squares(method='lm'), made after each
// step the solver tries. They need a few passes over the residuals and the
// Jacobian's values per step (norms, J s, Jᵀf); made here rather than in
// NumPy, they cost a small fraction of the step even where the step itself
// is cheap (a banded normal matrix).
//
// The tests, for a step s tried from the current point x with sum of
// squares S (cost S/2):
//   xtol  ‖s‖ <= xtol (xtol + ‖x‖), for an accepted step, or for a rejected
//         one (after which the steps only shrink) with an analytic Jacobian;
//   ftol  an accepted step reduced S by at most ftol S, and the linear model
//         f + J s predicted no more; without the Jacobian at x (differences,
//         whose estimate is the solver's own), two accepted steps in a row
//         reduced S by at most ftol S;
//   gtol  at the new point, max_j |J_jᵀ f| / (‖J_j‖ ‖f‖) <= gtol (the largest
//         cosine of the angle between f and a column of J), when the
//         Jacobian there is known: always with an analytic Jacobian.
// A step is accepted when the solver's best point moved.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "dalvex/least_squares.hpp"
#include "dalvex/span.hpp"

namespace dalvex_python {

// SciPy's status of a test met: 1 gtol, 2 ftol, 3 xtol, 4 ftol and xtol.
enum class TestStatus : int { kNone = 0, kGtol = 1, kFtol = 2, kXtol = 3, kFtolAndXtol = 4 };

// The residuals and Jacobian values of the step just tried as the caller
// holds them (equal to the report's), offered so that the tests view an
// accepted point's evaluations instead of copying them; empty when not
// offered. See StepRow::adopted for how long they must stay.
struct HeldEvaluations {
  dalvex::Span<const double> residuals, jacobian;
};

// What a step looked like, for the iteration table.
struct StepRow {
  int32_t step = 0;          // steps tried, over every run
  double reduction = 0.0;    // of the cost, by the step tried (negative when rejected)
  double step_norm = 0.0;    // ‖s‖ (infinite when no point was evaluated)
  std::optional<double> optimality;  // max |Jᵀf| at the current point, when known and wanted
  TestStatus status = TestStatus::kNone;
  // The step moved the current point: the evaluations adopted before are no
  // longer viewed. `adopted`: the ones offered with this step are viewed
  // from now on; the caller keeps them unchanged until a step moves again
  // or the run ends.
  bool moved = false;
  bool adopted = false;
};

class TerminationTests {
 public:
  // A tolerance of 0 disables its test. `gradient` asks for Jᵀf at each
  // point where J is known, for the table, even without a gtol test.
  TerminationTests(double ftol, double xtol, double gtol, bool gradient);

  // At the start of each run of the solver: the pattern (0-based positions of
  // the Jacobian's values, n columns; kept as a view, valid for the run) and
  // whether the Jacobian is analytic. The count of steps goes on over the
  // runs.
  void Start(int64_t n, dalvex::Span<const int32_t> rows,
             dalvex::Span<const int32_t> columns, bool analytic);
  // Every evaluation the solver asks for, as it returns. The first of a run
  // (the start point) becomes the current point; the others are seen again
  // in the step's report when they matter. `held`: the same values where
  // the caller holds them (empty when not offered); true when the tests
  // view them there from now on, as adopted by a step (StepRow::adopted).
  bool Residuals(dalvex::Span<const double> x, dalvex::Span<const double> f,
                 dalvex::Span<const double> held = {});
  bool Jacobian(dalvex::Span<const double> x, dalvex::Span<const double> values,
                dalvex::Span<const double> held = {});
  // After each step tried: the tests, with the solver's best point and its
  // sum of squares, and the point tried with its evaluations (`held`: the
  // same evaluations, offered to be viewed rather than copied).
  StepRow Step(const dalvex::IterationReport& report, HeldEvaluations held = {});

  int32_t steps() const { return steps_; }
  // The status that ended the solve: a test's (TestStatus), or -2 when the
  // user's callback stopped it; none while it goes on.
  std::optional<int> status() const { return status_; }
  void set_status(int status) { status_ = status; }
  // Wall-clock seconds spent in Step, in this run (what Residuals and
  // Jacobian do is within the evaluations' time).
  double seconds() const { return seconds_; }
  // The optimality at the current point (for the table's first row).
  std::optional<double> optimality() const { return optimality_; }
  // The current point, with its residuals, Jacobian values and gradient Jᵀf
  // when they are known there (else empty); views valid until the next call.
  dalvex::Span<const double> x() const { return x_; }
  dalvex::Span<const double> residuals() const {
    return current_known_ ? current_f_ : dalvex::Span<const double>();
  }
  dalvex::Span<const double> jacobian() const {
    return current_known_ ? current_j_ : dalvex::Span<const double>();
  }
  // Jᵀf there, made now if not yet: at a point a step reached, or at the
  // start with the table (else empty, as when not wanted). Handed over:
  // the tests keep none.
  std::vector<double> TakeGradient();

 private:
  bool Advance(const dalvex::IterationReport& report, bool at_trial, HeldEvaluations held,
               bool& adopted);
  void Gradient();
  bool GtolMet(double ss);
  int64_t FirstWitness() const;
  double WitnessCosine() const;
  void SetWitness(int64_t column);

  double ftol_, xtol_, gtol_;
  bool gradient_wanted_;
  bool table_;  // the optimality wanted at every point, the start's too
  bool analytic_ = false;
  int64_t n_ = 0;
  // The solver's pattern, valid while it solves.
  dalvex::Span<const int32_t> rows_, columns_;
  int32_t steps_ = 0;
  std::optional<int> status_;
  double seconds_ = 0.0;
  bool fresh_ = true;  // no evaluation yet in this run
  bool start_jacobian_ = false;  // the start point's Jacobian is the next one
  // The current point, its sum of squares, and its residuals and Jacobian
  // values when both are known there: views of kept_f_ and kept_j_, or of
  // the caller's held evaluations.
  std::vector<double> x_;
  dalvex::Span<const double> current_f_, current_j_;
  std::vector<double> kept_f_, kept_j_;
  double ss_ = 0.0;
  bool current_known_ = false;
  bool stalled_ = false;  // the last accepted step met the ftol reduction (no Jacobian)
  std::vector<double> g_;  // Jᵀf at the current point, when computed
  bool gradient_due_ = false;  // g_ to be made for the result, when wanted
  // The column tried first by the gtol test, and the positions of its
  // entries in the pattern; none (-1) at the start of a run.
  int64_t witness_ = -1;
  std::vector<size_t> witness_entries_;
  double jacobian_norm_ = 0.0;  // ‖J‖_F there
  std::vector<double> work_;  // the column norms, or the linear model's residuals
  std::optional<double> optimality_;
};

}  // namespace dalvex_python
