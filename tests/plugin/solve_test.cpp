// Solving through the exported entry, as a host does: repeated Solve calls
// on reference-host problems, the texts and reports the host receives, and
// the failure paths.
#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "plugin_fixture.h"

namespace dalvex_test {
namespace {

using Texts = std::vector<std::string>;
using vorn_host::ProblemDescription;
using vorn_host::ReferenceEso;

// A reference ESO that remembers each evaluation and can fail one of them.
class WatchedEso : public ReferenceEso {
 public:
  static WatchedEso* Create(ProblemDescription problem) {
    auto* eso = new WatchedEso(std::move(problem));
    eso->AddRef();
    return eso;
  }
  int32_t VORN_CALL EvaluateResiduals(int32_t set, double* f, double* values, int32_t mode) override {
    modes.push_back(mode);
    points.push_back(this->values());
    if (static_cast<int>(modes.size()) == fail_at) return fail_status;
    return ReferenceEso::EvaluateResiduals(set, f, values, mode);
  }
  std::vector<int32_t> modes;               // mode of every evaluation
  std::vector<std::vector<double>> points;  // the point of every evaluation
  int fail_at = 0;                          // evaluation (from 1) that fails; 0: none
  int32_t fail_status = 0;

 private:
  using ReferenceEso::ReferenceEso;
};

// Names E1.., x1..; bounds +-100.
ProblemDescription Named(int32_t m, int32_t n) {
  ProblemDescription p;
  p.num_equations = m;
  p.num_variables = n;
  for (int32_t i = 1; i <= m; ++i) p.equation_names.push_back("E" + std::to_string(i));
  for (int32_t j = 1; j <= n; ++j) p.variable_names.push_back("x" + std::to_string(j));
  p.lower.assign(n, -100.0);
  p.upper.assign(n, 100.0);
  return p;
}

// Over-determined but consistent: x1 - 1, x2 - 2, x1 x2 - 2; root (1, 2).
ProblemDescription Consistent3x2() {
  ProblemDescription p = Named(3, 2);
  p.start = {3.0, 0.5};
  p.rows = {1, 3, 2, 3};
  p.columns = {1, 1, 2, 2};
  p.residuals = [](const double* x, double* f) {
    f[0] = x[0] - 1.0;
    f[1] = x[1] - 2.0;
    f[2] = x[0] * x[1] - 2.0;
  };
  p.jacobian = [](const double* x, double* v) {
    v[0] = 1.0;
    v[1] = x[1];
    v[2] = 1.0;
    v[3] = x[0];
  };
  return p;
}

// f = c + x on a diagonal pattern (rows beyond n have no entries; variables
// beyond the last row enter it), started at 0, so the first residuals are
// exactly c. A zero slope gives a Jacobian
// that is identically zero.
ProblemDescription Shifted(std::vector<double> c, int32_t n, double slope = 1.0) {
  ProblemDescription p = Named(static_cast<int32_t>(c.size()), n);
  p.start.assign(n, 0.0);
  for (int32_t j = 1; j <= n; ++j) {
    p.rows.push_back(std::min(j, p.num_equations));
    p.columns.push_back(j);
  }
  p.residuals = [c, n, slope](const double* x, double* f) {
    for (std::size_t i = 0; i < c.size(); ++i)
      f[i] = c[i] + (static_cast<int32_t>(i) < n ? slope * x[i] : 0.0);
    for (std::size_t j = c.size(); j < static_cast<std::size_t>(n); ++j) f[c.size() - 1] += slope * x[j];
  };
  p.jacobian = [n, slope](const double*, double* v) { std::fill(v, v + n, slope); };
  return p;
}

// Rosenbrock's valley: 10 (x2 - x1^2), 1 - x1 from (-1.2, 1); root (1, 1).
ProblemDescription Rosenbrock() {
  ProblemDescription p = Named(2, 2);
  p.start = {-1.2, 1.0};
  p.rows = {1, 2, 1};
  p.columns = {1, 1, 2};
  p.residuals = [](const double* x, double* f) {
    f[0] = 10.0 * (x[1] - x[0] * x[0]);
    f[1] = 1.0 - x[0];
  };
  p.jacobian = [](const double* x, double* v) {
    v[0] = -20.0 * x[0];
    v[1] = -1.0;
    v[2] = 10.0;
  };
  return p;
}

// x^3 + x - 2 (root 1, reached in several steps from 3) beside a constant
// 0.5: the least largest residual is exactly 0.5.
ProblemDescription CubicBesideHalf() {
  ProblemDescription p = Named(2, 1);
  p.start = {3.0};
  p.rows = {1};
  p.columns = {1};
  p.residuals = [](const double* x, double* f) {
    f[0] = x[0] * x[0] * x[0] + x[0] - 2.0;
    f[1] = 0.5;
  };
  p.jacobian = [](const double* x, double* v) { v[0] = 3.0 * x[0] * x[0] + 1.0; };
  return p;
}

// A first row coupling every variable makes the normal matrix dense while
// the Jacobian stays sparse: the first-guess workspaces are too small.
// f1 = sum x - n, fi = xi^2 - 1; root x = 1.
ProblemDescription DenseFirstRow(int32_t n) {
  ProblemDescription p = Named(n, n);
  p.start.assign(n, 2.0);
  for (int32_t j = 1; j <= n; ++j) {
    p.rows.push_back(1);
    p.columns.push_back(j);
    if (j > 1) {
      p.rows.push_back(j);
      p.columns.push_back(j);
    }
  }
  p.residuals = [n](const double* x, double* f) {
    f[0] = -n;
    for (int32_t j = 0; j < n; ++j) f[0] += x[j];
    for (int32_t j = 1; j < n; ++j) f[j] = x[j] * x[j] - 1.0;
  };
  p.jacobian = [n](const double* x, double* v) {
    v[0] = 1.0;
    for (int32_t j = 1, k = 1; j < n; ++j, k += 2) {
      v[k] = 1.0;
      v[k + 1] = 2.0 * x[j];
    }
  };
  return p;
}

double LargestResidual(const ProblemDescription& p, const std::vector<double>& x) {
  std::vector<double> f(p.num_equations);
  p.residuals(x.data(), f.data());
  double largest = 0.0;
  for (double v : f) largest = std::isnan(v) ? v : std::max(largest, std::fabs(v));
  return largest;
}

class SolveTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    ASSERT_EQ(SetInteger("PrintLevel", 0), kVornOk);  // reports only where a test asks for them
  }
  void TearDown() override {
    if (solver_ != nullptr) {
      EXPECT_EQ(solver_->Release(), 0);
    }
    if (eso_ != nullptr) {
      EXPECT_EQ(eso_->Release(), 0);
    }
    PluginTest::TearDown();
  }
  void Create(ProblemDescription p) {
    problem_ = p;
    eso_ = WatchedEso::Create(std::move(p));
    solver_ = CreateSolver(eso_->problem());
    sink_.Clear();
  }
  int32_t Info(const char* name) {
    auto* extension = Query<VornNumericSolverExtension>(solver_, kIID_VornNumericSolverExtension);
    int32_t value = -999;
    extension->GetInfo(name, &value);
    extension->Release();
    return value;
  }
  // Solve(first), then Solve(1) while the answer is "call again".
  int32_t Drive(int32_t first = 0, int max_calls = 1000) {
    int32_t result = solver_->Solve(first, &iterations_);
    for (calls_ = 1; result == kVornCallAgain && calls_ < max_calls; ++calls_) {
      statuses_.push_back(Info("Status"));
      in_jacobian_.push_back(Info("InJacobian"));
      result = solver_->Solve(1, &iterations_);
    }
    return result;
  }
  bool Said(const std::string& text) const {
    const Texts all = sink_.Prints();
    return std::find(all.begin(), all.end(), text) != all.end();
  }
  // The messages from the first one equal to `text` on.
  Texts From(const std::string& text) const {
    const Texts all = sink_.Prints();
    return Texts(std::find(all.begin(), all.end(), text), all.end());
  }

  ProblemDescription problem_;
  WatchedEso* eso_ = nullptr;
  VornNumericNLASystem* solver_ = nullptr;
  int32_t iterations_ = -1;
  int calls_ = 0;
  std::vector<int32_t> statuses_, in_jacobian_;
};

const std::string kConverged = "NS23: Maximum absolute residual reached desired value\n";
const std::string kFinished = "NS23: Reached acceptable value of sum-of-squares, or small change\n";
const std::string kStars = "*************************************************************\n";

// ---------------------------------------------------------------------------

struct ConvergenceCase {
  const char* name;
  ProblemDescription (*problem)();
  double hmax;
};

class Convergence : public SolveTest, public ::testing::WithParamInterface<ConvergenceCase> {};

TEST_P(Convergence, ReachesTheRootWithOneEvaluationPerCall) {
  ASSERT_EQ(SetReal("Hmax", GetParam().hmax), kVornOk);
  ASSERT_EQ(SetReal("Tol", 1e-8), kVornOk);
  ASSERT_EQ(SetReal("Sac", 0.0), kVornOk);
  ASSERT_EQ(SetReal("Acc", 0.0), kVornOk);
  Create(GetParam().problem());
  ASSERT_EQ(Drive(), kVornOk) << sink_.Transcript();
  EXPECT_EQ(sink_.Prints().back(), kConverged);
  EXPECT_LT(LargestResidual(problem_, eso_->values()), 1e-8);
  EXPECT_EQ(static_cast<int>(eso_->modes.size()), calls_) << "one evaluation per Solve call";
  EXPECT_EQ(iterations_, calls_) << "every call but none ended in an evaluation request";
  const int32_t mode = GetParam().hmax > 0.0 ? 2 : 14;
  for (int32_t m : eso_->modes) EXPECT_EQ(m, mode);
  for (std::size_t k = 0; k < statuses_.size(); ++k) {
    EXPECT_GT(statuses_[k], 0);
    EXPECT_EQ(in_jacobian_[k], statuses_[k] == 3 ? 1 : 0);
  }
  const bool differenced = std::count(statuses_.begin(), statuses_.end(), 3) > 0;
  EXPECT_EQ(differenced, GetParam().hmax > 0.0);
  EXPECT_TRUE(sink_.EachPrintFlushed());
}

INSTANTIATE_TEST_SUITE_P(
    Problems,
    Convergence,
    ::testing::Values(
        ConvergenceCase{"BroydenAnalytic", [] { return vorn_host::BroydenTridiagonal(12); }, 0.0},
        ConvergenceCase{"BroydenDifferences", [] { return vorn_host::BroydenTridiagonal(12); }, 1e-3},
        ConvergenceCase{"OverdeterminedAnalytic", Consistent3x2, 0.0},
        ConvergenceCase{"OverdeterminedDifferences", Consistent3x2, 1e-2},
        ConvergenceCase{"DenseRowGrowsWorkspace", [] { return DenseFirstRow(30); }, 0.0}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------

TEST_F(SolveTest, ReportsComeInBitOrderWithTheirExactLayout) {
  ASSERT_EQ(SetInteger("PrintLevel", 15), kVornOk);
  Create(Shifted({3.0, -4.0, 0.0}, 2));
  EXPECT_EQ(solver_->Solve(0, &iterations_), kVornCallAgain);
  const Texts first = sink_.Prints();
  const Texts expected = {
      "(Obj) Iter 0 total sum squares                   25 rms           2.886751346 lowest resid"
      "                    0 highest resid                    4\n",
      "Variable values:\n",
      "(Var) x1 =                    0\n",
      "(Var) x2 =                    0\n",
      "Residual values:\n",
      "(Res) E1 =                    3\n",
      "(Res) E2 =                   -4\n",
      "(Res) E3 =                    0\n",
      "Jacobian:\n",
      "(Jac)     1     1            1\n",
      "(Jac)     2     2            1\n"};
  EXPECT_EQ(first, expected);

  // Lowest and highest come from one scan of the absolute values.
  ASSERT_EQ(SetInteger("PrintLevel", 1), kVornOk);
  solver_->Release();
  eso_->Release();
  Create(Shifted({5.0, 1.0, -7.0}, 2));
  solver_->Solve(0, &iterations_);
  EXPECT_EQ(sink_.Prints().at(0),
            "(Obj) Iter 0 total sum squares                   75 rms                     5 lowest resid"
            "                    1 highest resid                    7\n");
}

TEST_F(SolveTest, ObjectiveLineEveryPrintIntervalEvaluations) {
  ASSERT_EQ(SetInteger("PrintLevel", 1), kVornOk);
  ASSERT_EQ(SetInteger("PrintInterval", 5), kVornOk);
  ASSERT_EQ(SetReal("Hmax", 1e-3), kVornOk);  // differencing takes more evaluations
  ASSERT_EQ(SetReal("Tol", 1e-10), kVornOk);
  Create(Rosenbrock());
  ASSERT_EQ(Drive(), kVornOk);
  ASSERT_GE(iterations_, 10);
  Texts expected;
  for (int32_t count = 0; count < calls_; count += 5) {
    expected.push_back("(Obj) Iter " + std::to_string(count) + " ");
  }
  Texts seen;
  for (const std::string& text : sink_.Prints()) {
    if (text.rfind("(Obj)", 0) == 0) seen.push_back(text.substr(0, text.find(" total")) + " ");
  }
  EXPECT_EQ(seen, expected);
}

TEST_F(SolveTest, VerboseCallsReportTheMoveTheCallbackAndTheReturn) {
  ASSERT_EQ(SetInteger("SeriouslyVerbose", 1), kVornOk);
  Create(Consistent3x2());
  ASSERT_EQ(solver_->Solve(0, &iterations_), kVornCallAgain);
  Texts first = From("Delta[0] =            0\n");
  ASSERT_EQ(first.size(), 4u) << sink_.Transcript();
  EXPECT_EQ(first[1], "Delta[1] =            0\n");
  EXPECT_EQ(first[2], ">>>CALLBACK  Residuals + Derivatives\n");
  EXPECT_EQ(first[3].rfind("Returned from NS23 with flag = 5 Marquardt Parameter = ", 0), 0u) << first[3];

  // The next call reports the step NS23AD took from the start.
  sink_.Clear();
  ASSERT_EQ(solver_->Solve(1, &iterations_), kVornCallAgain);
  const std::vector<double>& x = eso_->points.back();
  char line[64];
  std::snprintf(line, sizeof line, "Delta[0] = %12.5g\n", x[0] - 3.0);
  EXPECT_TRUE(Said(line)) << sink_.Transcript();
  std::snprintf(line, sizeof line, "Delta[1] = %12.5g\n", x[1] - 0.5);
  EXPECT_TRUE(Said(line)) << sink_.Transcript();
}

// ---------------------------------------------------------------------------

TEST_F(SolveTest, TooFewEquationsFailWithTheViolationAndTheDump) {
  Create(Shifted({1.0}, 2));
  iterations_ = -5;
  EXPECT_EQ(solver_->Solve(0, &iterations_), kVornFailure);
  EXPECT_EQ(iterations_, 0);
  EXPECT_EQ(Info("Status"), -4);
  const Texts expected = {"NEqs = 1 NVars = 2 violates NEqs>=NVars>=1\n",
                          kStars,
                          "*             NS23 Diagnostic Dump                          *\n",
                          kStars,
                          "Integer Control Array\n",
                          "Icntl[1] =     0\n",
                          "Icntl[2] =     0\n",
                          "Icntl[3] =     0\n",
                          "Icntl[4] =     0\n",
                          "Icntl[5] =     0\n",
                          "Real Control Array\n",
                          "Cntl[1] =         0.25\n",
                          "Cntl[2] =         0.25\n",
                          "Cntl[3] =         0.75\n",
                          "Cntl[4] =            0\n",
                          "Cntl[5] =            0\n",
                          "Integer Info Array\n",
                          "Info[1] =    -4\n",
                          "Info[2] =     0\n"};
  const Texts all = sink_.Prints();
  ASSERT_EQ(all.size(), expected.size() + 3 + 1 + 5 + 1);
  EXPECT_EQ(Texts(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(expected.size())), expected);
  EXPECT_EQ(all[expected.size() + 3], "Real Info Array\n");
  EXPECT_EQ(all[expected.size() + 4].rfind("RInfo[1] = ", 0), 0u);
  EXPECT_EQ(all.back(), kStars);

  // The object stays set up; a new solve fails the same way.
  EXPECT_EQ(solver_->Solve(0, &iterations_), kVornFailure);
}

TEST_F(SolveTest, ZeroJacobianEndsWithTheSparseSolverDump) {
  Create(Shifted({1.0, 2.0}, 2, 0.0));
  EXPECT_EQ(Drive(), kVornFailure);
  Texts tail = From("NS23:  FATAL ERROR:  could not solve linear equations\n");
  ASSERT_EQ(tail.size(), 2u + 3 + 1 + 5 + 1 + 5 + 1 + 5 + 1 + 15 + 1) << sink_.Transcript();
  EXPECT_EQ(tail[1],
            "MA57 returned the following diagnostic information; submit this info with your bug report\n");
  EXPECT_EQ(tail[3], "*             MA57 Diagnostic Dump                          *\n");
  EXPECT_EQ(tail[5], "Integer Control Array\n");
  EXPECT_EQ(tail[10], "Icntl[5] =     0\n") << "the sparse solver prints nothing";
  EXPECT_EQ(tail[11], "Real Control Array\n");
  EXPECT_EQ(tail[17], "Integer Info Array\n");
  EXPECT_EQ(tail[18].rfind("Info[ 1] =    -", 0), 0u) << tail[18] << " (an error of the factorization)";
  EXPECT_EQ(tail[23], "Real Info Array\n");
  EXPECT_EQ(tail[24].rfind("RInfo[ 1] = ", 0), 0u);
  EXPECT_EQ(tail[38].rfind("RInfo[15] = ", 0), 0u);
  EXPECT_EQ(tail.back(), kStars);
  EXPECT_EQ(Info("Status"), -9);
}

TEST_F(SolveTest, WorkspaceGrowthIsSilentUnlessVerbose) {
  Create(DenseFirstRow(30));
  EXPECT_EQ(solver_->Solve(0, &iterations_), kVornCallAgain);
  EXPECT_EQ(eso_->modes.size(), 1u);
  EXPECT_TRUE(sink_.Prints().empty()) << sink_.Transcript();
  solver_->Release();
  eso_->Release();

  ASSERT_EQ(SetInteger("SeriouslyVerbose", 1), kVornOk);
  Create(DenseFirstRow(30));
  EXPECT_EQ(solver_->Solve(0, &iterations_), kVornCallAgain);
  EXPECT_EQ(eso_->modes.size(), 1u);
  const Texts all = sink_.Prints();
  int resizes = 0;
  for (std::size_t k = 0; k < all.size(); ++k) {
    if (all[k].rfind("NS23: Integer workspace resized to ", 0) == 0 ||
        all[k].rfind("NS23: Real workspace resized to ", 0) == 0) {
      ++resizes;
      ASSERT_LT(k + 1, all.size());
      EXPECT_EQ(all[k + 1], kStars) << "each resize is followed by the dump";
      EXPECT_TRUE(all[k - 1].rfind("Returned from NS23 with flag = -", 0) == 0 || all[k - 1] == kStars);
    }
  }
  EXPECT_GE(resizes, 1) << sink_.Transcript();
}

TEST_F(SolveTest, EsoEvaluationErrorPassesThroughAndTheCallIsRepeated) {
  Create(Consistent3x2());
  eso_->fail_at = 3;
  eso_->fail_status = 4242;
  EXPECT_EQ(solver_->Solve(0, &iterations_), kVornCallAgain);
  EXPECT_EQ(solver_->Solve(1, &iterations_), kVornCallAgain);
  const int32_t before = iterations_;
  const int32_t status = Info("Status");
  iterations_ = -77;
  EXPECT_EQ(solver_->Solve(1, &iterations_), 4242);
  EXPECT_EQ(iterations_, -77) << "iterations not written";
  EXPECT_EQ(Info("Status"), status);
  EXPECT_EQ(solver_->Solve(1, &iterations_), kVornCallAgain);
  EXPECT_EQ(iterations_, before + 1);
  ASSERT_EQ(eso_->points.size(), 4u);
  EXPECT_EQ(eso_->points[3], eso_->points[2]) << "the failed point is evaluated again";
  EXPECT_EQ(Drive(1), kVornOk);
}

TEST_F(SolveTest, ResidualTestIsStrictAndZeroToleranceLeavesOnlyTheRoutinesTests) {
  struct Case {
    const char* label;
    double tol;
    std::string last;
  };
  const Case cases[] = {{"Tol = 0.5 is not reached", 0.5, kFinished},
                        {"just above", 0.5 + 1e-9, kConverged},
                        {"Tol = 0", 0.0, kFinished}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ASSERT_EQ(SetReal("Tol", c.tol), kVornOk);
    Create(c.tol == 0.0 ? Consistent3x2() : CubicBesideHalf());
    EXPECT_EQ(Drive(), kVornOk);
    EXPECT_EQ(sink_.Prints().back(), c.last);
    EXPECT_FALSE(c.last == kFinished && Said(kConverged));
    solver_->Release();
    eso_->Release();
    solver_ = nullptr;
    eso_ = nullptr;
  }
}

TEST_F(SolveTest, NonNumberResidualsNeverConverge) {
  ASSERT_EQ(SetReal("Tol", 100.0), kVornOk);  // any finite residual would pass
  ProblemDescription p = Shifted({-1000.0, -1000.0}, 2);
  const auto finite = p.residuals;
  p.residuals = [finite](const double* x, double* f) {
    finite(x, f);
    if (x[0] != 0.0) f[0] = f[1] = std::numeric_limits<double>::quiet_NaN();
  };
  Create(p);
  // Rejected trials leave their residuals in place on the next request.
  Drive(0, 200);
  EXPECT_GT(calls_, 2);
  EXPECT_FALSE(Said(kConverged)) << sink_.Transcript();
}

TEST_F(SolveTest, ContinueBeforeAnyStartBehavesAsAStart) {
  Create(Consistent3x2());
  ASSERT_EQ(Drive(0), kVornOk);
  const std::vector<std::vector<double>> started = eso_->points;
  solver_->Release();
  eso_->Release();

  Create(Consistent3x2());
  ASSERT_EQ(Drive(7), kVornOk);
  EXPECT_EQ(eso_->points, started);
}

TEST_F(SolveTest, ControlsChangedBetweenCallsTakeEffectAtTheNextCall) {
  ASSERT_EQ(SetReal("Tol", 1e-12), kVornOk);
  ASSERT_EQ(SetReal("Sac", 0.0), kVornOk);
  Create(vorn_host::BroydenTridiagonal(8));
  ASSERT_EQ(solver_->Solve(0, &iterations_), kVornCallAgain);
  ASSERT_EQ(SetReal("Tol", 100.0), kVornOk);
  EXPECT_EQ(solver_->Solve(1, &iterations_), kVornOk);
  EXPECT_EQ(sink_.Prints().back(), kConverged);

  // A new solve continues the count; a larger Sac ends it at the next call.
  const int32_t count = iterations_;
  ASSERT_EQ(SetReal("Tol", 1e-12), kVornOk);
  ASSERT_EQ(SetReal("Acc", 0.0), kVornOk);
  ASSERT_EQ(solver_->Solve(0, &iterations_), kVornCallAgain);
  EXPECT_EQ(iterations_, count + 1);
  ASSERT_EQ(SetReal("Sac", 1.0), kVornOk);
  EXPECT_EQ(solver_->Solve(1, &iterations_), kVornOk);
  EXPECT_EQ(sink_.Prints().back(), kFinished);

  // A smaller evaluation budget ends a solve that was far from done.
  solver_->Release();
  eso_->Release();
  ASSERT_EQ(SetReal("Sac", 0.0), kVornOk);
  Create(Rosenbrock());
  ASSERT_EQ(solver_->Solve(0, &iterations_), kVornCallAgain);
  ASSERT_EQ(solver_->Solve(1, &iterations_), kVornCallAgain);
  ASSERT_EQ(SetInteger("MaxIters", 1), kVornOk);
  EXPECT_EQ(solver_->Solve(1, &iterations_), kVornFailure);
  EXPECT_EQ(sink_.Prints().back(), "NS23:  Maximum Function Calls exceeded\n");
}

// The routine prints to the reserved unit's file while the solver holds it;
// a second solver given the released unit starts the file afresh.
TEST_F(SolveTest, PrintingGoesToTheReservedUnitsFileStartedAfreshForEachSolver) {
  ASSERT_EQ(SetInteger("Iprint", 1), kVornOk);
  const std::string header = " Entering NS23A/AD with ";
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    problem_ = Consistent3x2();
    eso_ = WatchedEso::Create(problem_);
    solver_ = CreateSolver(eso_->problem());
    ASSERT_EQ(Drive(), kVornOk);
    int unit = 0;
    for (const std::string& text : sink_.Prints()) {
      std::sscanf(text.c_str(), "Output will be produced on file:  fort%d", &unit);
    }
    ASSERT_GT(unit, 0) << sink_.Transcript();
    std::ifstream file("fort" + std::to_string(unit));
    std::stringstream text;
    text << file.rdbuf();
    const std::string content = text.str();
    const auto first = content.find(header);
    ASSERT_NE(first, std::string::npos) << content;
    EXPECT_EQ(content.find(header, first + 1), std::string::npos) << "one solve per file:\n" << content;
    solver_->Release();
    solver_ = nullptr;
    eso_->Release();
    eso_ = nullptr;
  }
}

}  // namespace
}  // namespace dalvex_test
