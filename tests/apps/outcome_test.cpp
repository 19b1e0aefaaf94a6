// What a stop is called, for each way a solve can end: only residuals within
// Tol, or the known least sum of squares, may be called a success.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "outcome.h"

namespace dalvex_run {
namespace {

// Solve returned 0 with the method's flag 0 on a square system whose residuals
// are not within Tol; each case changes what it needs.
StopFacts MethodStop() {
  StopFacts f;
  f.result = 0;
  f.status = 0;
  f.neqs = f.nvars = 4;
  f.sum_squares = 1e-3;
  f.largest = 2e-2;
  f.known_least = 0.0;
  f.tol = f.sac = f.acc = 1e-4;
  f.max_iters = 100;
  return f;
}

struct Case {
  const char* name;
  StopFacts facts;
  Outcome outcome;
  const char* test;
  const char* says;  // a phrase the sentence must hold
  int exit_status = -1;  // -1: 0 for a success, 1 otherwise
};

StopFacts With(StopFacts f, void (*change)(StopFacts&)) {
  change(f);
  return f;
}

TEST(Outcome, NamesEachStopTruly) {
  const Case cases[] = {
      {"residual test", With(MethodStop(), [](StopFacts& f) { f.status = 5, f.largest = 5e-5; }),
       Outcome::kConverged, "Tol", "below Tol = 0.0001 (the solver's residual test)"},
      {"method stop within Tol", With(MethodStop(), [](StopFacts& f) { f.largest = 5e-5, f.sum_squares = 5e-9; }),
       Outcome::kConverged, "Sac", "sum-of-squares test"},
      {"small step short of Tol", MethodStop(), Outcome::kStalled, "small step",
       "largest |F| 2.000e-02, not below Tol"},
      {"sum of squares short of Tol", With(MethodStop(), [](StopFacts& f) { f.sum_squares = 5e-5; }),
       Outcome::kStalled, "Sac", "at most Sac = 0.0001"},
      {"fit at its known least",
       With(MethodStop(), [](StopFacts& f) { f.neqs = 11, f.known_least = 1e-3 * (1 - 1e-6); }),
       Outcome::kLeastSquaresMinimum, "small step", "is the known least"},
      {"fit above its known least",
       With(MethodStop(), [](StopFacts& f) { f.neqs = 11, f.known_least = 5e-4, f.sac = 2e-3; }),
       Outcome::kStalled, "Sac", "2 times the known least"},
      {"fit, least unknown, small step",
       With(MethodStop(), [](StopFacts& f) { f.neqs = 11, f.known_least.reset(); }),
       Outcome::kLeastSquaresMinimum, "small step", "only as far as that test tells"},
      {"fit, least unknown, sum of squares",
       With(MethodStop(), [](StopFacts& f) { f.neqs = 11, f.known_least.reset(), f.sac = 1.0; }),
       Outcome::kStalled, "Sac", "need not be a minimum"},
      {"square, inconsistent, at its least",
       With(MethodStop(), [](StopFacts& f) { f.known_least = 1e-3; }),
       Outcome::kLeastSquaresMinimum, "small step", "is the known least"},
      {"NaN residuals", With(MethodStop(), [](StopFacts& f) { f.largest = f.sum_squares = NAN; }),
       Outcome::kStalled, "small step", "largest |F| nan"},
      {"exact root, Sac = 0",
       With(MethodStop(), [](StopFacts& f) { f.largest = f.sum_squares = f.sac = 0.0; }),
       Outcome::kConverged, "small step", "every residual is 0, so the step is 0"},
      {"budget spent", With(MethodStop(), [](StopFacts& f) { f.result = -15, f.status = -1, f.evaluations = 100; }),
       Outcome::kEvaluationLimit, "MaxIters", "all MaxIters = 100 residual evaluations"},
      {"budget overrun by a difference Jacobian",
       With(MethodStop(), [](StopFacts& f) { f.result = -15, f.status = -1, f.hmax = 1e-6, f.evaluations = 200; }),
       Outcome::kEvaluationLimit, "MaxIters", "MaxIters = 100 residual evaluations was spent before a "
       "stopping test was met; 200 were made"},
      {"Solve calls spent", With(MethodStop(), [](StopFacts& f) { f.result = 1, f.call_limit = true, f.calls = 1; }),
       Outcome::kEvaluationLimit, "--max-calls", "after 1 Solve call (--max-calls)"},
      {"solver failure",
       With(MethodStop(), [](StopFacts& f) { f.result = -15, f.status = -9, f.message = "NS23: broke"; }),
       Outcome::kFailed, "", "\"NS23: broke\" (Solve returned -15)"},
      {"evaluation error", With(MethodStop(), [](StopFacts& f) { f.result = -3; }), Outcome::kFailed, "",
       "returned error -3"},
      {"not created", With(MethodStop(), [](StopFacts& f) { f.created = false, f.result = -15; }),
       Outcome::kFailed, "", "could not be created for want of memory", 3},
      {"set-up out of memory",
       With(MethodStop(), [](StopFacts& f) {
         f.result = -15, f.message = "**FATAL - out of memory while setting up the problem";
       }),
       Outcome::kFailed, "", "\"**FATAL - out of memory while setting up the problem\" (Solve returned -15)", 3},
      {"workspace out of memory",
       With(MethodStop(), [](StopFacts& f) {
         f.result = -15, f.status = -3, f.message = "NS23: could not allocate a real workspace of 9 entries";
       }),
       Outcome::kFailed, "", "could not allocate", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Verdict v = Classify(c.facts);
    EXPECT_EQ(OutcomeName(v.outcome), std::string(OutcomeName(c.outcome)));
    EXPECT_EQ(v.test, c.test);
    EXPECT_NE(v.text.find(c.says), std::string::npos) << v.text;
    const bool success = c.outcome == Outcome::kConverged || c.outcome == Outcome::kLeastSquaresMinimum;
    EXPECT_EQ(v.exit_status, c.exit_status >= 0 ? c.exit_status : success ? 0 : 1);
  }
}

}  // namespace
}  // namespace dalvex_run
