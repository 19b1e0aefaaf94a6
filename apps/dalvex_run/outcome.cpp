#include "outcome.h"

#include <cmath>
#include <cstdio>

#include "options.h"

namespace dalvex_run {
namespace {

std::string Num(const char* format, double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, v);
  return buf;
}

// The method's own stopping test that fired, as far as a host can tell.  It
// tries a step at the rounding level of x first, then the sum of squares
// against Sac, then a step of at most Acc.  With every residual exactly 0 the
// step is 0, so the first test ends it whatever Sac is; otherwise the
// sum-of-squares test is checked against Sac here, and any other stop with
// flag 0 is a step too small to matter (or, when differencing, no gain even
// with central differences).
std::string StopTest(const StopFacts& f) {
  if (f.largest == 0.0) return "small step";
  return f.sum_squares <= f.sac ? "Sac" : "small step";
}

std::string DescribeTest(const StopFacts& f, const std::string& test) {
  if (test == "Sac")
    return "the solver's sum-of-squares test (sum of squares " + Num("%.4g", f.sum_squares) +
           " at most Sac = " + Num("%g", f.sac) + ")";
  if (f.largest == 0.0)
    return "the solver's small-step test (every residual is 0, so the step is 0, at the rounding "
           "level of x)";
  if (f.hmax > 0.0)
    return "the solver's small-step or no-progress test (a step of at most Acc = " +
           Num("%g", f.acc) + " or at the rounding level of x, or no gain with central differences)";
  return "the solver's small-step test (a step of at most Acc = " + Num("%g", f.acc) +
         " or at the rounding level of x)";
}

Verdict Make(Outcome outcome, std::string test, std::string text) {
  Verdict v;
  v.outcome = outcome;
  v.test = std::move(test);
  v.text = std::move(text);
  v.exit_status = outcome == Outcome::kConverged || outcome == Outcome::kLeastSquaresMinimum
                      ? kExitSuccess
                      : kExitNotSolved;
  return v;
}

// A failure for want of memory is the environment's, not the problem's.
Verdict OutOfMemory(std::string text) {
  Verdict v = Make(Outcome::kFailed, "", std::move(text));
  v.exit_status = kExitEnvironment;
  return v;
}

// The solver's own words when memory ran out: in set-up, or growing its
// workspaces.
bool SaysOutOfMemory(const std::string& message) {
  return message.rfind("**FATAL - out of memory", 0) == 0 ||
         message.rfind("NS23: could not allocate", 0) == 0;
}

// Solve returned 0 with flag 0: the method stopped on its own tests.
Verdict MethodStopped(const StopFacts& f) {
  const std::string test = StopTest(f);
  const std::string how = DescribeTest(f, test);
  const std::string largest = Num("%.3e", f.largest);
  if (f.largest < f.tol)
    return Make(Outcome::kConverged, test,
                "largest |F| " + largest + " is below Tol = " + Num("%g", f.tol) + "; " + how +
                    " ended the solve");
  const bool fit = f.neqs > f.nvars;
  const char* what = fit ? "fit" : "solve";
  if (f.known_least && *f.known_least > 0.0 &&
      f.sum_squares <= *f.known_least * (1.0 + kLeastMargin))
    return Make(Outcome::kLeastSquaresMinimum, test,
                "the sum of squares " + Num("%.6e", f.sum_squares) + " is the known least, " +
                    Num("%g", *f.known_least) + "; " + how + " ended the " + what);
  if (fit && f.known_least)
    return Make(Outcome::kStalled, test,
                how + " ended the fit at a sum of squares " + Num("%.4g", f.sum_squares / *f.known_least) +
                    " times the known least, " + Num("%g", *f.known_least));
  if (fit && test == "small step")
    return Make(Outcome::kLeastSquaresMinimum, test,
                how + " ended the fit; the least sum of squares of this problem is not known, so "
                      "it is a minimum only as far as that test tells");
  if (fit)
    return Make(Outcome::kStalled, test,
                how + " ended the fit; the least sum of squares is not known, so this need not be "
                      "a minimum (Sac=0 fits on until the step is small)");
  return Make(Outcome::kStalled, test,
              how + " ended the solve with largest |F| " + largest + ", not below Tol = " +
                  Num("%g", f.tol));
}

}  // namespace

std::string Count(int64_t n, const char* thing) {
  return std::to_string(n) + " " + thing + (n == 1 ? "" : "s");
}

const char* OutcomeName(Outcome outcome) {
  switch (outcome) {
    case Outcome::kConverged: return "converged";
    case Outcome::kLeastSquaresMinimum: return "least-squares minimum";
    case Outcome::kStalled: return "stalled";
    case Outcome::kEvaluationLimit: return "evaluation limit";
    case Outcome::kFailed: break;
  }
  return "failed";
}

Verdict Classify(const StopFacts& f) {
  // Creating the solver fails with -15 only when it cannot be allocated.
  if (!f.created && f.result == -15)
    return OutOfMemory("the solver could not be created for want of memory (CreateNLASystem returned -15)");
  if (!f.created)
    return Make(Outcome::kFailed, "",
                "the solver could not be created (CreateNLASystem returned " +
                    std::to_string(f.result) + ")");
  if (f.call_limit)
    return Make(Outcome::kEvaluationLimit, "--max-calls",
                "still running after " + Count(f.calls, "Solve call") + " (--max-calls)");
  if (f.result == 0 && f.status && *f.status > 0)
    return Make(Outcome::kConverged, "Tol",
                "largest |F| " + Num("%.3e", f.largest) + " is below Tol = " + Num("%g", f.tol) +
                    " (the solver's residual test)");
  if (f.result == 0) return MethodStopped(f);
  if (f.result == -15 && f.status && *f.status == -1 && f.evaluations > f.max_iters)
    return Make(Outcome::kEvaluationLimit, "MaxIters",
                "the budget of MaxIters = " + std::to_string(f.max_iters) +
                    " residual evaluations was spent before a stopping test was met; " +
                    std::to_string(f.evaluations) +
                    " were made, since the solver checks it only before a step and finishes a "
                    "difference Jacobian under way");
  if (f.result == -15 && f.status && *f.status == -1)
    return Make(Outcome::kEvaluationLimit, "MaxIters",
                "all MaxIters = " + std::to_string(f.max_iters) +
                    " residual evaluations were spent before a stopping test was met");
  if (f.result == -15 && SaysOutOfMemory(f.message))
    return OutOfMemory("\"" + f.message + "\" (Solve returned -15)");
  if (f.result == -15)
    return Make(Outcome::kFailed, "",
                f.message.empty() ? std::string("Solve returned -15")
                                  : "\"" + f.message + "\" (Solve returned -15)");
  return Make(Outcome::kFailed, "",
              "the equation set's evaluation returned error " + std::to_string(f.result));
}

}  // namespace dalvex_run
