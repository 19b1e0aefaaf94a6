// What a solve came to, told from what a host can see: the last Solve
// result, GetInfo "Status" (the method's last flag), the residuals at the
// point the solver finished with, the shape of the system, the parameters in
// force and, where the problem library knows it, the least sum of squares.
//
// Solve returns 0 both when the largest residual fell below Tol and when the
// method stopped on its own tests (sum of squares at most Sac, a small step,
// no progress): only the second kind needs a closer look, since a small step
// is also how the method ends when there is nothing left to gain, solution or
// not.  The outcomes, and the exit status of the tool for each:
//   converged              0  largest |F| below Tol
//   least-squares minimum  0  no point within Tol, and the method stopped at
//                             the known least sum of squares, or (least not
//                             known) on a small step of an over-determined fit
//   stalled                1  stopped by the method's own tests anywhere else
//   evaluation limit       1  the MaxIters budget spent (a difference Jacobian
//                             under way is finished first), or --max-calls calls
//   failed                 1  the solver or the equation set reported an error;
//                          3  when that error is the solver's memory running out
#ifndef DALVEX_RUN_OUTCOME_H
#define DALVEX_RUN_OUTCOME_H

#include <cstdint>
#include <optional>
#include <string>

namespace dalvex_run {

enum class Outcome { kConverged, kLeastSquaresMinimum, kStalled, kEvaluationLimit, kFailed };

struct StopFacts {
  bool created = true;          // CreateNLASystem succeeded
  int32_t result = 0;           // the last Solve result (CreateNLASystem's when not created)
  std::optional<int32_t> status;  // GetInfo "Status" after the last call
  bool call_limit = false;      // the tool stopped calling (--max-calls)
  int64_t calls = 0;            // Solve calls made
  int64_t evaluations = 0;      // residual evaluations made, difference steps included
  int32_t neqs = 0, nvars = 0;
  double sum_squares = 0.0;     // at the final point; NaN when a residual is NaN
  double largest = 0.0;         // largest |F| there, NaN likewise
  std::optional<double> known_least;  // the problem library's least sum of squares
  double tol = 0.0, sac = 0.0, acc = 0.0, hmax = 0.0;  // parameters in force
  int32_t max_iters = 0;
  std::string message;          // the solver's own message of its last call
};

struct Verdict {
  Outcome outcome = Outcome::kFailed;
  std::string test;  // the test that ended the solve: "Tol", "Sac", "small step",
                     // "MaxIters", "--max-calls"; empty for a failure
  std::string text;  // why, in one sentence
  int exit_status = 1;
};

Verdict Classify(const StopFacts& facts);
const char* OutcomeName(Outcome outcome);
// "1 Solve call", "2 Solve calls".
std::string Count(int64_t n, const char* thing);

// Relative margin within which a sum of squares counts as the known least:
// the published values carry six significant digits.
constexpr double kLeastMargin = 1e-5;

}  // namespace dalvex_run

#endif  // DALVEX_RUN_OUTCOME_H
