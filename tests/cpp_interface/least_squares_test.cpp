// dalvex::LeastSquaresSolver on problems with published minima, its
// callbacks (stopping, exceptions), its results at the final point, solvers
// on several threads, and every misuse raising dalvex::Error.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "dalvex/dalvex.hpp"
#include "misuse_cases.h"
#include "problems/registry.h"

namespace {

using dalvex::ErrorCode;
using dalvex::LeastSquaresProblem;
using dalvex::LeastSquaresSolver;
using dalvex::Span;
using dalvex::Termination;

// A problem of the suite's library through the C++ interface, its pattern
// given in a shuffled order (unless asked otherwise) so that the values'
// reordering is exercised.
struct Library {
  std::shared_ptr<problems::Problem> problem;
  std::vector<int32_t> rows, columns, from;  // entry k is the library's entry from[k]

  Library(const std::string& name, int32_t size, bool shuffled = true) {
    problem = problems::MakeProblem(name, {size, 6.0});
    from.resize(problem->JacobianRows().size());
    for (size_t k = 0; k < from.size(); ++k) from[k] = static_cast<int32_t>(k);
    if (shuffled) std::shuffle(from.begin(), from.end(), std::mt19937(7));
    for (int32_t k : from) {
      rows.push_back(problem->JacobianRows()[k] - 1);
      columns.push_back(problem->JacobianCols()[k] - 1);
    }
  }
  dalvex::ResidualFunction Residuals() const {
    auto p = problem;
    return [p](Span<const double> x, Span<double> f) { p->Residuals(x.data(), f.data()); };
  }
  dalvex::JacobianFunction Jacobian() const {
    auto p = problem;
    auto order = from;
    return [p, order](Span<const double> x, Span<double> values) {
      std::vector<double> natural(order.size());
      p->JacobianValues(x.data(), natural.data());
      for (size_t k = 0; k < order.size(); ++k) values[k] = natural[order[k]];
    };
  }
  // The same values, viewed in an array of the function's own.
  dalvex::JacobianViewFunction JacobianView() const {
    auto values = std::make_shared<std::vector<double>>(from.size());
    return [values, jacobian = Jacobian()](Span<const double> x) {
      jacobian(x, Span<double>(*values));
      return Span<const double>(*values);
    };
  }
  LeastSquaresProblem Make(bool differences) const {
    const int32_t m = problem->NEqs(), n = problem->NVars();
    return differences
               ? LeastSquaresProblem::WithDifferenceJacobian(m, n, rows, columns, Residuals())
               : LeastSquaresProblem::WithJacobian(m, n, rows, columns, Residuals(), Jacobian());
  }
  std::vector<double> Start() const {
    std::vector<double> x(static_cast<size_t>(problem->NVars()));
    problem->StartingPoint(x.data());
    return x;
  }
  double SumOfSquares(const std::vector<double>& x) const {
    std::vector<double> f(static_cast<size_t>(problem->NEqs()));
    problem->Residuals(x.data(), f.data());
    double s = 0.0;
    for (double v : f) s += v * v;
    return s;
  }
};

// ---------------------------------------------------------------------------
// Published minima (Moré, Garbow and Hillstrom's test set, and zero for
// consistent systems), with the Jacobian given and by differences.

struct MinimumCase {
  std::string name;
  int32_t size;
  bool differences;
};

class PublishedMinima : public ::testing::TestWithParam<MinimumCase> {};

TEST_P(PublishedMinima, ReachedWithinTheirPublishedDigits) {
  const MinimumCase& c = GetParam();
  const Library lib(c.name, c.size);
  const double minimum = *lib.problem->KnownMinimum();
  LeastSquaresSolver solver(lib.Make(c.differences));
  std::vector<double> x = lib.Start();
  const dalvex::LeastSquaresSummary s = solver.Solve(x);
  SCOPED_TRACE(s.BriefReport());
  EXPECT_EQ(s.final_sum_of_squares, lib.SumOfSquares(x));
  if (minimum == 0.0) {
    EXPECT_EQ(s.termination, Termination::kResidualTolerance);
    EXPECT_TRUE(s.converged);
    EXPECT_LE(s.max_abs_residual, 1e-10);
  } else {
    EXPECT_EQ(s.termination, Termination::kSmallStep);
    EXPECT_FALSE(s.converged);
    EXPECT_LE(std::fabs(s.final_sum_of_squares - minimum), 1e-5 * minimum);  // six digits
  }
  EXPECT_EQ(s.jacobian_evaluations == 0, c.differences);
}

INSTANTIATE_TEST_SUITE_P(Library,
                         PublishedMinima,
                         ::testing::Values(MinimumCase{"rosenbrock", 0, false},
                                           MinimumCase{"rosenbrock", 0, true},
                                           MinimumCase{"helical-valley", 0, false},
                                           MinimumCase{"broyden-banded", 200, false},
                                           MinimumCase{"broyden-banded", 200, true},
                                           MinimumCase{"kowalik-osborne", 0, false},
                                           MinimumCase{"kowalik-osborne", 0, true},
                                           MinimumCase{"osborne1", 0, false},
                                           MinimumCase{"osborne1", 0, true},
                                           MinimumCase{"chebyquad", 8, false},
                                           MinimumCase{"bratu-2d", 20, false},
                                           MinimumCase{"bratu-2d", 20, true}),
                         [](const ::testing::TestParamInfo<MinimumCase>& info) {
                           std::string s = info.param.name +
                                           (info.param.differences ? "_differences" : "_analytic");
                           std::replace(s.begin(), s.end(), '-', '_');
                           return s;
                         });

// ---------------------------------------------------------------------------
// Callbacks and results.

// The callback ends the solve at the best point; the log sink gets a line
// per iteration and the report, and nothing reaches the standard streams.
TEST(Callbacks, IterationCallbackStopsAtTheBestPoint) {
  const Library lib("osborne1", 0);
  std::vector<std::string> lines;
  dalvex::LeastSquaresOptions options;
  options.log = [&](std::string_view line) { lines.emplace_back(line); };
  LeastSquaresSolver solver(lib.Make(false), options);
  std::vector<double> last_x;
  double last_ss = 0.0;
  // The step tried comes with its own evaluations, in the pattern's order.
  const auto residuals = lib.Residuals();
  const auto jacobian = lib.Jacobian();
  std::vector<double> f(static_cast<size_t>(lib.problem->NEqs())), values(lib.rows.size());
  solver.SetIterationCallback([&](const dalvex::IterationReport& r) {
    last_x.assign(r.x.begin(), r.x.end());
    last_ss = r.sum_of_squares;
    residuals(r.trial_x, Span<double>(f));
    jacobian(r.trial_x, Span<double>(values));
    EXPECT_TRUE(std::equal(f.begin(), f.end(), r.trial_residuals.begin(), r.trial_residuals.end()));
    EXPECT_TRUE(std::equal(values.begin(), values.end(), r.trial_jacobian.begin(),
                           r.trial_jacobian.end()));
    EXPECT_EQ(lib.SumOfSquares(std::vector<double>(r.trial_x.begin(), r.trial_x.end())),
              r.trial_sum_of_squares);
    return r.iteration == 3 ? dalvex::IterationAction::kStop : dalvex::IterationAction::kContinue;
  });
  std::vector<double> x = lib.Start();
  const double start_ss = lib.SumOfSquares(x);
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  const dalvex::LeastSquaresSummary s = solver.Solve(x);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[2].rfind("iteration 3: sum of squares", 0), 0u) << lines[2];
  EXPECT_EQ(lines[3], s.BriefReport());
  EXPECT_EQ(
      s.BriefReport().rfind("Dalvex least squares: stopped by the callback, not converged", 0), 0u);
  EXPECT_EQ(s.termination, Termination::kUserStop);
  EXPECT_EQ(s.iterations, 3);
  EXPECT_EQ(x, last_x);
  EXPECT_EQ(s.final_sum_of_squares, last_ss);
  EXPECT_LT(last_ss, start_ss);
}

struct Interrupted : std::runtime_error {
  using std::runtime_error::runtime_error;
};

TEST(Callbacks, ACallbacksExceptionReachesTheCallerAndTheSolverStaysUsable) {
  const Library lib("broyden-banded", 50);
  int evaluations = 0;
  bool interrupt = true;
  auto residuals = lib.Residuals();
  auto problem = LeastSquaresProblem::WithJacobian(
      50, 50, lib.rows, lib.columns,
      [&](Span<const double> x, Span<double> f) {
        if (interrupt && ++evaluations == 4) throw Interrupted("interrupted at evaluation 4");
        residuals(x, f);
      },
      lib.Jacobian());
  LeastSquaresSolver solver(problem);
  std::vector<double> x = lib.Start();
  const double start_ss = lib.SumOfSquares(x);
  try {
    solver.Solve(x);
    ADD_FAILURE() << "no exception";
  } catch (const Interrupted& e) {
    EXPECT_STREQ(e.what(), "interrupted at evaluation 4");
  }
  EXPECT_LT(lib.SumOfSquares(x), start_ss);  // the best point of the three evaluated
  interrupt = false;
  EXPECT_TRUE(solver.Solve(x).converged);
}

TEST(Results, ResidualsAndJacobianAreThoseAtTheFinalPoint) {
  const Library lib("kowalik-osborne", 0);
  for (bool differences : {false, true}) {
    SCOPED_TRACE(differences);
    LeastSquaresSolver solver(lib.Make(differences));
    EXPECT_TRUE(solver.residuals().empty());
    std::vector<double> x = lib.Start();
    solver.Solve(x);
    std::vector<double> f(11), jac(lib.rows.size());
    lib.Residuals()(x, f);
    lib.Jacobian()(x, jac);
    EXPECT_EQ(std::vector<double>(solver.residuals().begin(), solver.residuals().end()), f);
    for (size_t k = 0; k < jac.size(); ++k) {
      // Exact when given; the routine's estimate (updated along the steps)
      // with differences.
      const double tolerance = differences ? 1e-2 * (1.0 + std::fabs(jac[k])) : 0.0;
      EXPECT_LE(std::fabs(solver.jacobian_values()[k] - jac[k]), tolerance) << k;
    }
  }
}

// A Jacobian viewed where the caller keeps it gives, bit for bit, the
// result, and the steps' reports, of the function that writes it: with the
// pattern in the routine's order and shuffled.
TEST(Results, AViewedJacobianGivesTheWrittenOnesResult) {
  for (const bool shuffled : {false, true}) {
    SCOPED_TRACE(shuffled);
    const Library lib("broyden-banded", 60, shuffled);
    auto solve = [&](const LeastSquaresProblem& problem) {
      LeastSquaresSolver solver(problem);
      std::vector<double> reported;
      solver.SetIterationCallback([&](const dalvex::IterationReport& r) {
        reported.insert(reported.end(), r.trial_jacobian.begin(), r.trial_jacobian.end());
        return dalvex::IterationAction::kContinue;
      });
      std::vector<double> x = lib.Start();
      const dalvex::LeastSquaresSummary s = solver.Solve(x);
      EXPECT_GT(s.iterations, 1);
      const auto f = solver.residuals(), j = solver.jacobian_values();
      const std::vector<double> counts = {static_cast<double>(s.residual_evaluations),
                                          static_cast<double>(s.jacobian_evaluations),
                                          s.final_sum_of_squares};
      return std::vector<std::vector<double>>{
          x, reported, {f.begin(), f.end()}, {j.begin(), j.end()}, counts};
    };
    const int32_t n = lib.problem->NVars();
    EXPECT_EQ(solve(LeastSquaresProblem::WithJacobianView(n, n, lib.rows, lib.columns,
                                                          lib.Residuals(), lib.JacobianView())),
              solve(lib.Make(false)));
  }
}

// Solvers share nothing: four on four threads give what they give one
// after another, bit for bit.
TEST(Threads, SolversOnSeparateThreadsGiveTheSequentialResults) {
  const std::vector<std::string> names = {"bratu-2d", "broyden-banded", "osborne1", "rosenbrock"};
  const std::vector<int32_t> sizes = {24, 100, 0, 0};
  auto run = [&](size_t i) {
    const Library lib(names[i], sizes[i]);
    LeastSquaresSolver solver(lib.Make(i % 2 == 1));
    std::vector<double> x = lib.Start();
    solver.Solve(x);
    return x;
  };
  std::vector<std::vector<double>> sequential, parallel(names.size());
  for (size_t i = 0; i < names.size(); ++i) sequential.push_back(run(i));
  std::vector<std::thread> threads;
  for (size_t i = 0; i < names.size(); ++i) threads.emplace_back([&, i] { parallel[i] = run(i); });
  for (auto& t : threads) t.join();
  EXPECT_EQ(parallel, sequential);
}

// The routine's workspace is not cleared before a solve: whatever a block
// of the heap held (a freed block filled with NaN bytes, or the workspace's
// own cells from the last solve) must not reach the answer.
TEST(Workspace, LeftoverContentsDoNotChangeTheAnswer) {
  const Library lib("bratu-2d", 24);
  for (bool differences : {false, true}) {
    SCOPED_TRACE(differences);
    auto solve = [&](LeastSquaresSolver& solver) {
      std::vector<double> x = lib.Start();
      solver.Solve(x);
      return x;
    };
    LeastSquaresSolver fresh(lib.Make(differences));
    const std::vector<double> first = solve(fresh);
    EXPECT_EQ(solve(fresh), first);
    {
      // Freed together, below the heap's trim threshold: the blocks merge
      // and the solver's next allocations are carved from them.
      std::vector<std::vector<unsigned char>> garbage;
      for (size_t bytes = 1 << 8; bytes <= size_t{1} << 15; bytes *= 2) {
        garbage.emplace_back(bytes, 0xFF);
      }
    }
    LeastSquaresSolver dirty(lib.Make(differences));
    EXPECT_EQ(solve(dirty), first);
  }
}

// ---------------------------------------------------------------------------
// Misuse.

TEST(Misuse, LeastSquaresRaisesErrorWithItsCode) {
  const std::vector<int32_t> r = {0, 1}, c = {0, 1};
  auto f = [](Span<const double>, Span<double> out) { std::fill(out.begin(), out.end(), 1.0); };
  auto j = [](Span<const double>, Span<double> out) { std::fill(out.begin(), out.end(), 1.0); };
  auto problem = [&] { return LeastSquaresProblem::WithJacobian(2, 2, r, c, f, j); };
  auto with = [&](std::function<void(dalvex::LeastSquaresOptions&)> set) {
    dalvex::LeastSquaresOptions o;
    set(o);
    LeastSquaresSolver solver(problem(), o);
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<dalvex_test::MisuseCase> cases = {
      {"fewer residuals than variables",
       [&] { LeastSquaresProblem::WithJacobian(1, 2, r, c, f, j); }, ErrorCode::kInvalidArgument,
       "1 residuals in 2 variables"},
      {"a column out of range",
       [&] {
         LeastSquaresProblem::WithJacobian(2, 2, r, std::vector<int32_t>{0, 2}, f, j);
       },
       ErrorCode::kIndexOutOfRange, "entry 1 at (row 1, column 2)"},
      {"a repeated position",
       [&] {
         LeastSquaresProblem::WithDifferenceJacobian(2, 2, std::vector<int64_t>{1, 0, 1},
                                                     std::vector<int64_t>{0, 1, 0}, f);
       },
       ErrorCode::kInvalidArgument, "entry 2 repeats (row 1, column 0) of entry 0"},
      {"an empty Jacobian function", [&] { LeastSquaresProblem::WithJacobian(2, 2, r, c, f, {}); },
       ErrorCode::kInvalidArgument, "Jacobian function is empty"},
      {"a Jacobian viewed at another length",
       [&] {
         std::vector<double> x = {0.5, 0.5};
         LeastSquaresSolver(LeastSquaresProblem::WithJacobianView(2, 2, r, c, f,
                                                                  [](Span<const double> at) {
                                                                    return at.subspan(0, 1);
                                                                  }))
             .Solve(x);
       },
       ErrorCode::kInvalidArgument, "viewed 1 values for a pattern of 2 entries"},
      {"no evaluations allowed", [&] { with([](auto& o) { o.max_evaluations = 0; }); },
       ErrorCode::kInvalidArgument, "max_evaluations is 0"},
      {"a NaN residual tolerance", [&] { with([&](auto& o) { o.residual_tolerance = nan; }); },
       ErrorCode::kInvalidArgument, "residual_tolerance is nan"},
      {"a difference step of 0", [&] { with([](auto& o) { o.max_difference_step = 0.0; }); },
       ErrorCode::kInvalidArgument, "max_difference_step is 0"},
      {"ratios out of order", [&] { with([](auto& o) { o.good_reduction_ratio = 0.1; }); },
       ErrorCode::kInvalidArgument, "good_reduction_ratio is 0.1"},
      {"x of another length",
       [&] {
         std::vector<double> x(3);
         LeastSquaresSolver(problem()).Solve(x);
       },
       ErrorCode::kInvalidArgument, "3 values for 2 variables"},
      {"x not finite",
       [&] {
         std::vector<double> x = {0.0, nan};
         LeastSquaresSolver(problem()).Solve(x);
       },
       ErrorCode::kNotFinite, "x[1]"},
  };
  dalvex_test::ExpectErrors(cases);
}

}  // namespace
