// NS23AD driven by reverse communication on problems with known answers.
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ns23_driver.h"
#include "pemric/ns23.h"
#include "problems/registry.h"

extern "C" void dgels_(const char* trans, const int32_t* m, const int32_t* n, const int32_t* nrhs,
                       double* a, const int32_t* lda, double* b, const int32_t* ldb, double* work,
                       const int32_t* lwork, int32_t* info, std::size_t trans_len);

namespace {

using ns23_test::LsqProblem;
using ns23_test::Near;
using ns23_test::Options;
using ns23_test::Outcome;
using ns23_test::Solve;

double SumOfSquares(const LsqProblem& p, const std::vector<double>& x) {
  std::vector<double> f(p.m);
  p.residuals(x.data(), f.data());
  double ss = 0.0;
  for (double v : f) ss += v * v;
  return ss;
}

// ---------------------------------------------------------------------------
// Consistent square systems, with analytic and with difference Jacobians.

struct SystemCase {
  std::string name;
  int32_t size;
  double hmax;
};

std::string CaseName(const ::testing::TestParamInfo<SystemCase>& info) {
  std::string s = info.param.name + (info.param.hmax > 0.0 ? "_differences" : "_analytic");
  for (char& c : s) c = c == '-' ? '_' : c;
  return s;
}

class ConsistentSystem : public ::testing::TestWithParam<SystemCase> {};

TEST_P(ConsistentSystem, ReachesARoot) {
  const SystemCase& c = GetParam();
  problems::ProblemOptions po;
  po.size = c.size;
  const auto problem = problems::MakeProblem(c.name, po);
  ASSERT_TRUE(problem);
  const LsqProblem p = ns23_test::FromLibrary(*problem);
  Options o;
  o.sac = 1e-20;
  o.hmax = c.hmax;
  o.maxfun = 2000;
  const Outcome out = Solve(p, o);
  EXPECT_EQ(out.iflag, 0);
  EXPECT_LE(SumOfSquares(p, out.x), 1e-18);
  std::vector<double> root(p.n);
  if (c.name != "powell-singular" && problem->KnownSolution(root.data())) {
    for (int32_t j = 0; j < p.n; ++j) EXPECT_TRUE(Near(out.x[j], root[j], 1e-6)) << j;
  }
  if (c.hmax == 0.0) {
    EXPECT_EQ(out.count(3) + out.count(4), 0);
  } else {
    EXPECT_EQ(out.count(2), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Classic,
    ConsistentSystem,
    ::testing::Values(SystemCase{"rosenbrock", 0, 0.0},
                      SystemCase{"rosenbrock", 0, 1.0},
                      SystemCase{"powell-singular", 0, 0.0},
                      SystemCase{"powell-singular", 0, 1.0},
                      SystemCase{"broyden-tridiagonal", 60, 0.0},
                      SystemCase{"broyden-tridiagonal", 60, 1.0},
                      SystemCase{"discrete-boundary-value", 30, 0.0},
                      SystemCase{"discrete-boundary-value", 30, 1.0}),
    CaseName);

TEST(Differences, RebuiltJacobiansUseTheResidualsOfTheCurrentPoint) {
  // Kowalik-Osborne's Jacobian is dense, so each column is a group of its
  // own and is perturbed in exactly one evaluation of a forward pass: the
  // base point of a difference Jacobian is what the first three perturbed
  // points have in common. Rebuilt Jacobians (some follow rejected trials,
  // when F holds the trial's residuals) must match the analytic Jacobian
  // there.
  const auto problem = problems::MakeProblem("kowalik-osborne", {});
  const LsqProblem p = ns23_test::FromLibrary(*problem);
  Options o;
  o.hmax = 1.0;
  std::vector<std::vector<double>> perturbed;
  int checked = 0;
  int32_t last = 0;
  o.on_return = [&](int32_t flag, const double* x, const double* fjac) {
    if (flag == 3) {
      if (last != 3) perturbed.clear();
      perturbed.emplace_back(x, x + p.n);
    } else if (last == 3 && perturbed.size() >= 3) {
      std::vector<double> base(p.n), exact(p.irn.size());
      for (int32_t j = 0; j < p.n; ++j) {
        const double a = perturbed[0][j], b = perturbed[1][j], c = perturbed[2][j];
        base[j] = (a == b || a == c) ? a : b;
      }
      p.jacobian(base.data(), exact.data());
      for (size_t k = 0; k < exact.size(); ++k) {
        EXPECT_TRUE(Near(fjac[k], exact[k], 1e-5 * (1.0 + std::fabs(exact[k]))))
            << "entry " << k << " of difference Jacobian " << checked;
      }
      ++checked;
    }
    last = flag;
  };
  const Outcome out = Solve(p, o);
  EXPECT_EQ(out.iflag, 0);
  EXPECT_GT(checked, 3);
}

// ---------------------------------------------------------------------------
// Over-determined problems.

// r(x) = F(x) + A x with F(x) = J x - b: J random sparse, A a few constant
// entries. With `repeated`, one position of J is given twice and A has
// entries on positions of J: repeated positions are summed, so a difference
// Jacobian must give the derivative to one copy only. Without, every
// position is given once (the normal matrix is then formed by the cursor
// pass, not by searching), and the last row has no entry at all.
void CheckLinearProblem(double hmax, double tol, bool repeated) {
  const int32_t m = 30, n = 8;
  std::mt19937 gen(20261208);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  LsqProblem p;
  p.m = m;
  p.n = n;
  std::vector<double> jval;
  p.ip.push_back(1);
  std::vector<double> dense(m * n, 0.0);
  for (int32_t j = 0; j < n; ++j) {
    for (int32_t i = 0; i < m; ++i) {
      if ((i + 3 * j) % 4 != 0 && i != j) continue;
      if (!repeated && i == m - 1) continue;
      const double v = u(gen);
      p.irn.push_back(i + 1);
      jval.push_back(v);
      dense[i + j * m] += v;
    }
    if (repeated && j == 2) {  // (3, 3) again
      p.irn.push_back(3);
      jval.push_back(0.25);
      dense[2 + j * m] += 0.25;
    }
    p.ip.push_back(static_cast<int32_t>(p.irn.size()) + 1);
  }
  p.aip = {1, 2, 2, 4, 4, 4, 4, 4, 5};
  p.airn = {1, 3, 7, 30};  // (1, 1), (3, 3) and (7, 3) are positions of J
  if (!repeated) p.airn = {2, 4, 5, 29};
  p.aval = {0.5, -0.75, 2.0, 1.5};
  for (int32_t j = 0; j < n; ++j) {
    for (int32_t k = p.aip[j]; k < p.aip[j + 1]; ++k) dense[p.airn[k - 1] - 1 + j * m] += p.aval[k - 1];
  }
  std::vector<double> b(m);
  for (double& v : b) v = u(gen);
  p.residuals = [=](const double* x, double* f) {
    for (int32_t i = 0; i < m; ++i) f[i] = -b[i];
    for (int32_t j = 0; j < n; ++j) {
      for (int32_t k = p.ip[j]; k < p.ip[j + 1]; ++k) f[p.irn[k - 1] - 1] += jval[k - 1] * x[j];
    }
  };
  p.jacobian = [=](const double*, double* v) { std::copy(jval.begin(), jval.end(), v); };
  p.x0.assign(n, 0.3);

  // Reference: minimise ||B x - b|| with B = J + A by LAPACK's QR.
  std::vector<double> a = dense, rhs = b;
  const int32_t nrhs = 1, lwork = 1000;
  std::vector<double> work(lwork);
  int32_t info = 0;
  dgels_("N", &m, &n, &nrhs, a.data(), &m, rhs.data(), &m, work.data(), &lwork, &info, 1);
  ASSERT_EQ(info, 0);

  Options o;
  o.hmax = hmax;
  const Outcome out = Solve(p, o);
  EXPECT_EQ(out.iflag, 0);
  for (int32_t j = 0; j < n; ++j) EXPECT_TRUE(Near(out.x[j], rhs[j], tol)) << j;
}

TEST(LeastSquares, LinearProblemMatchesDenseQR) {
  for (bool repeated : {true, false}) {
    SCOPED_TRACE(repeated ? "repeated positions" : "distinct positions");
    {
      SCOPED_TRACE("analytic Jacobian");
      CheckLinearProblem(0.0, 1e-12, repeated);
    }
    {
      SCOPED_TRACE("difference Jacobian");
      CheckLinearProblem(1.0, 1e-7, repeated);  // differences limit the accuracy
    }
  }
}

TEST(LeastSquares, DataFitsReachTheirPublishedMinima) {
  for (const char* name : {"kowalik-osborne", "osborne1"}) {
    SCOPED_TRACE(name);
    const auto problem = problems::MakeProblem(name, {});
    ASSERT_TRUE(problem);
    const double published = *problem->KnownMinimum();
    const LsqProblem p = ns23_test::FromLibrary(*problem);
    for (double hmax : {0.0, 0.1}) {
      SCOPED_TRACE(hmax);
      Options o;
      o.hmax = hmax;
      o.maxfun = 3000;
      const Outcome out = Solve(p, o);
      EXPECT_EQ(out.iflag, 0);
      EXPECT_TRUE(Near(SumOfSquares(p, out.x), published, 1e-5 * published));
    }
  }
  EXPECT_EQ(*problems::MakeProblem("kowalik-osborne", {})->KnownMinimum(), 3.07505e-4);
}

TEST(LeastSquares, InconsistentSystemStopsAtTheLeastSumOfSquares) {
  // exp(x) - 1 and exp(x) - 3 cannot both vanish; the least sum of squares is
  // 2, at x = log 2.
  LsqProblem p;
  p.m = 2;
  p.n = 1;
  p.irn = {1, 2};
  p.ip = {1, 3};
  p.aip = {1, 1};
  p.residuals = [](const double* x, double* f) {
    f[0] = std::exp(x[0]) - 1.0;
    f[1] = std::exp(x[0]) - 3.0;
  };
  p.jacobian = [](const double* x, double* v) { v[0] = v[1] = std::exp(x[0]); };
  p.x0 = {2.0};
  for (double hmax : {0.0, 1.0}) {
    SCOPED_TRACE(hmax);
    Options o;
    o.hmax = hmax;
    const Outcome out = Solve(p, o);
    EXPECT_EQ(out.iflag, 0);
    EXPECT_TRUE(Near(out.x[0], std::log(2.0), 1e-7));
    EXPECT_TRUE(Near(SumOfSquares(p, out.x), 2.0, 1e-12));
  }
}

// ---------------------------------------------------------------------------
// Residuals that are not finite outside a domain.

// log(x_j) - log(t_j) coupled by a small linear term; Newton steps from x = 1
// overshoot below 0, where the logarithm is NaN.
LsqProblem LogProblem() {
  LsqProblem p;
  p.m = p.n = 3;
  p.irn = {1, 2, 2, 3, 3};
  p.ip = {1, 3, 5, 6};
  p.aip = {1, 1, 1, 1};
  static const double t[3] = {0.01, 0.002, 0.05};
  p.residuals = [](const double* x, double* f) {
    f[0] = std::log(x[0]) - std::log(t[0]);
    f[1] = std::log(x[1]) - std::log(t[1]) + 0.1 * (x[0] - t[0]);
    f[2] = std::log(x[2]) - std::log(t[2]) + 0.1 * (x[1] - t[1]);
  };
  p.jacobian = [](const double* x, double* v) {
    v[0] = 1.0 / x[0];
    v[1] = 0.1;
    v[2] = 1.0 / x[1];
    v[3] = 0.1;
    v[4] = 1.0 / x[2];
  };
  p.x0 = {1.0, 1.0, 1.0};
  return p;
}

TEST(Domain, TrialsWithNonFiniteResidualsAreRejectedAndTheStepShrinks) {
  const LsqProblem p = LogProblem();
  for (double hmax : {0.0, 0.01}) {
    SCOPED_TRACE(hmax);
    Options o;
    o.hmax = hmax;
    o.sac = 1e-24;
    const Outcome out = Solve(p, o);
    EXPECT_EQ(out.iflag, 0);
    EXPECT_TRUE(Near(out.x[0], 0.01, 1e-9));
    EXPECT_TRUE(Near(out.x[1], 0.002, 1e-9));
    EXPECT_TRUE(Near(out.x[2], 0.05, 1e-9));
    if (hmax == 0.0) {
      EXPECT_GT(out.count(2), 0);  // a rejected trial re-evaluates
    }
    EXPECT_LT(out.Info(NS23_INFO_EVALUATIONS), 200);
  }
}

TEST(Domain, TrialsWithANonFiniteJacobianAreRejectedToo) {
  // F(x) = x - 10 + x^2 / 100 has its root near 9.16, but the Jacobian is
  // not available (NaN) for 4 < x < 20. The full Newton step from 0 lands
  // there with a smaller sum of squares; taking it would hand NaN to the
  // factorization and NaN points to the caller.
  LsqProblem p;
  p.m = p.n = 1;
  p.irn = {1};
  p.ip = {1, 2};
  p.aip = {1, 1};
  p.residuals = [](const double* x, double* f) { f[0] = x[0] - 10.0 + 0.01 * x[0] * x[0]; };
  p.jacobian = [](const double* x, double* v) {
    v[0] = x[0] > 4.0 && x[0] < 20.0 ? std::nan("") : 1.0 + 0.02 * x[0];
  };
  p.x0 = {0.0};
  Options o;
  bool finite_points = true;
  o.on_return = [&](int32_t, const double* x, const double*) { finite_points &= std::isfinite(x[0]); };
  const Outcome out = Solve(p, o);
  EXPECT_TRUE(finite_points);
  EXPECT_EQ(out.iflag, 0);
  EXPECT_GT(out.count(2), 0);
  EXPECT_LE(out.x[0], 4.0);
  EXPECT_GT(out.x[0], 3.9);
}

TEST(Domain, NonFiniteValuesAtTheStartAreAFailureNotConvergence) {
  LsqProblem p = LogProblem();
  p.x0 = {-1.0, 1.0, 1.0};
  for (double hmax : {0.0, 0.01}) {
    SCOPED_TRACE(hmax);
    Options o;
    o.hmax = hmax;
    o.sac = 1e30;  // a NaN sum of squares must not pass for an acceptable one
    const Outcome out = Solve(p, o);
    EXPECT_EQ(out.iflag, -7);
    EXPECT_EQ(out.Info(NS23_INFO_STATUS), -7);
  }
  // Finite residuals but an infinite Jacobian entry.
  LsqProblem q = LogProblem();
  q.jacobian = [](const double*, double* v) {
    v[0] = std::numeric_limits<double>::infinity();
    v[1] = v[2] = v[3] = v[4] = 1.0;
  };
  EXPECT_EQ(Solve(q, Options{}).iflag, -7);
}

// ---------------------------------------------------------------------------
// The workspace protocol and the start of a problem.

LsqProblem Rosenbrock() {
  static const auto problem = problems::MakeProblem("rosenbrock", {});
  return ns23_test::FromLibrary(*problem);
}

TEST(Start, ShortWorkspacesAskForTheLengthsAndExactLengthsProceed) {
  const auto problem = problems::MakeProblem("broyden-tridiagonal", {20, 6.0});
  const LsqProblem p = ns23_test::FromLibrary(*problem);
  for (double hmax : {0.0, 1.0}) {
    SCOPED_TRACE(hmax);
    Options o;
    o.hmax = hmax;
    o.grow = false;
    Outcome out = Solve(p, o);
    EXPECT_EQ(out.iflag, -2);
    EXPECT_EQ(out.Info(NS23_INFO_VALUE), 0);        // INFO(2) = LIW
    EXPECT_EQ(out.Info(NS23_INFO_EVALUATIONS), 0);  // no evaluations consumed
    // Grow as asked until the start succeeds.
    int32_t liw = 0, lw = 0;
    for (int round = 0; round < 5 && (out.iflag == -2 || out.iflag == -3); ++round) {
      liw = std::max(liw, out.Info(NS23_INFO_LIW_NEEDED));
      if (out.iflag == -3) lw = std::max(lw, out.Info(NS23_INFO_LW_NEEDED));
      o.liw = liw;
      o.lw = lw;
      out = Solve(p, o);
    }
    ASSERT_GT(out.flags.front(), 0);
    EXPECT_EQ(out.Info(NS23_INFO_LIW_NEEDED), liw);
    EXPECT_EQ(out.Info(NS23_INFO_LW_NEEDED), lw);
    // One short of either length is refused.
    o.lw = lw - 1;
    EXPECT_EQ(Solve(p, o).iflag, -3);
    o.lw = lw;
    o.liw = liw - 1;
    const int32_t short_flag = Solve(p, o).iflag;
    EXPECT_TRUE(short_flag == -2 || short_flag == -3);
    // Exact lengths solve the problem.
    o.liw = liw;
    o.grow = true;
    EXPECT_EQ(Solve(p, o).iflag, 0);
  }
}

TEST(Start, BadSizesReturnMinusFourWithTheirRecord) {
  LsqProblem p = Rosenbrock();
  ns23_test::StreamCapture capture(31);
  for (auto [m, n] : {std::pair{1, 2}, std::pair{2, 0}}) {
    p.m = m;
    p.n = n;
    p.residuals = [](const double*, double*) {};
    p.jacobian = [](const double*, double*) {};
    Options o;
    o.stream = 31;
    const Outcome out = Solve(p, o);
    EXPECT_EQ(out.iflag, -4);
    EXPECT_EQ(out.Info(NS23_INFO_STATUS), -4);
    EXPECT_EQ(out.Info(NS23_INFO_VALUE), 0);
  }
  EXPECT_EQ(capture.text(),
            "\n\n Error return from NS23 because M =      1 and N =      2\n"
            "\n\n Error return from NS23 because M =      2 and N =      0\n");
}

TEST(Start, EvaluationBudget) {
  const LsqProblem p = Rosenbrock();
  {
    SCOPED_TRACE("MAXFUN = 1 counts the start and stops at once");
    Options o;
    o.maxfun = 1;
    const Outcome out = Solve(p, o);
    EXPECT_EQ(out.flags.back(), -1);
    EXPECT_EQ(out.Info(NS23_INFO_VALUE), 1);
    EXPECT_EQ(out.Info(NS23_INFO_EVALUATIONS), 2);
    EXPECT_EQ(out.evaluations, 0);
    EXPECT_EQ(out.x, p.x0);
  }
  {
    SCOPED_TRACE("MAXFUN = 0 ends with 0 before any evaluation");
    Options o;
    o.maxfun = 0;
    const Outcome out = Solve(p, o);
    EXPECT_EQ(out.iflag, 0);
    EXPECT_EQ(out.Info(NS23_INFO_EVALUATIONS), 0);
  }
  {
    SCOPED_TRACE("with differences the Jacobian is still built first");
    Options o;
    o.maxfun = 1;
    o.hmax = 1.0;
    const Outcome out = Solve(p, o);
    EXPECT_EQ(out.iflag, -1);
    EXPECT_GT(out.count(3), 0);
    EXPECT_EQ(out.Info(NS23_INFO_EVALUATIONS), 2);
  }
  {
    SCOPED_TRACE("a tight budget ends with -1 and INFO(3) = MAXFUN + 1");
    Options o;
    o.maxfun = 5;
    const Outcome out = Solve(p, o);
    EXPECT_EQ(out.iflag, -1);
    EXPECT_EQ(out.Info(NS23_INFO_EVALUATIONS), 6);
    EXPECT_LE(out.evaluations, 5);
  }
}

TEST(Start, ANegativeHmaxMeansAnalyticJacobians) {
  // The workspace has no room for difference steps unless HMAX > 0; a
  // negative HMAX must not difference into it.
  const LsqProblem p = Rosenbrock();
  const Outcome sized = Solve(p, Options{});
  Options o;
  o.hmax = -1.0;
  o.liw = sized.liw;
  o.lw = sized.lw;
  o.grow = false;
  const Outcome out = Solve(p, o);
  EXPECT_EQ(out.iflag, 0);
  EXPECT_EQ(out.count(3) + out.count(4), 0);
  EXPECT_TRUE(Near(out.x[0], 1.0, 1e-6));
}

TEST(Start, ZeroResidualStartStopsAfterOneEvaluation) {
  LsqProblem p = Rosenbrock();
  p.x0 = {1.0, 1.0};
  const Outcome out = Solve(p, Options{});
  EXPECT_EQ(out.flags.back(), 0);
  EXPECT_EQ(out.Info(NS23_INFO_EVALUATIONS), 1);
  EXPECT_EQ(out.evaluations, 0);
}

TEST(Start, ColumnMarksLeftInThePatternAreCleared) {
  LsqProblem p = Rosenbrock();
  for (int32_t& v : p.ip) v = -v;
  const Outcome out = Solve(p, Options{});
  EXPECT_EQ(out.iflag, 0);
  EXPECT_TRUE(Near(out.x[0], 1.0, 1e-6));
}

TEST(Start, ZeroJacobianFailsToFactorizeTenTimes) {
  LsqProblem p = Rosenbrock();
  p.residuals = [](const double*, double* f) { f[0] = f[1] = 1.0; };
  p.jacobian = [](const double*, double* v) { v[0] = v[1] = v[2] = 0.0; };
  ns23_test::StreamCapture capture(32);
  Options o;
  o.stream = 32;
  o.liw = o.lw = 1000;
  const Outcome out = Solve(p, o);
  EXPECT_EQ(out.iflag, -9);
  EXPECT_EQ(out.Info(NS23_INFO_STATUS), -9);
  EXPECT_EQ(capture.text(), "\n\n Unexpected return from NS23. Notify Pemric staff.\n");
}

TEST(Start, SizesBeyond32BitsSaturate) {
  // One dense row of 32 768 columns: the normal pattern has 2^29 + 2^14
  // entries, so 4 NE alone exceeds the 32-bit range.
  const int32_t n = 32768;
  LsqProblem p;
  p.m = p.n = n;
  p.ip.push_back(1);
  for (int32_t j = 1; j <= n; ++j) {
    p.irn.push_back(1);
    if (j > 1) p.irn.push_back(j);
    p.ip.push_back(static_cast<int32_t>(p.irn.size()) + 1);
  }
  p.aip.assign(n + 1, 1);
  p.residuals = [n](const double*, double* f) { std::fill(f, f + n, 1.0); };
  p.jacobian = [](const double*, double*) {};
  p.x0.assign(n, 0.0);
  Options o;
  o.grow = false;
  o.liw = 8 * n;
  const Outcome out = Solve(p, o);
  EXPECT_EQ(out.iflag, -2);
  EXPECT_EQ(out.Info(NS23_INFO_LIW_NEEDED), std::numeric_limits<int32_t>::max());
}

// ---------------------------------------------------------------------------
// Monitoring records.

TEST(Monitoring, HeaderSummaryAndVectorRecords) {
  const LsqProblem p = Rosenbrock();
  ns23_test::StreamCapture capture(33);
  Options o;
  o.stream = 33;
  o.iprint = -1;
  o.maxfun = 2;
  o.liw = 1000;
  o.lw = 1000;
  const Outcome out = Solve(p, o);
  EXPECT_EQ(out.iflag, -1);
  const std::string& t = capture.text();
  const std::string head =
      "\n Entering NS23A/AD with \n"
      "    M    N      SAC        STPMIN  MAXFUN    HMAX      LIW    LW\n"
      "    2    2  0.0000E+00  0.0000E+00     2  0.0000E+00  1000  1000\n"
      " After   1 Iterations and   1 function evaluations, LAMDA is  0.0000E+00\n"
      "  and the sum of squares of residuals is  2.4200E+01\n"
      " The norms of the current iterate X and the last change made to it are\n"
      "  1.5620E+00  0.0000E+00\n"
      " The current iterate X is\n"
      "       1 -1.20000000E+00       2  1.00000000E+00\n"
      " The current vector of residuals is\n"
      "       1 -4.40000000E+00       2  2.20000000E+00\n"
      " The norm of the vector V is";
  EXPECT_EQ(t.substr(0, head.size()), head);
  EXPECT_NE(t.find(" The current vector V is\n       1"), std::string::npos);
  EXPECT_NE(t.find("\n\n Error return from NS23 because\n"
                   " more than MAXFUN function evaluations needed\n"),
            std::string::npos);
}

TEST(Monitoring, NoPrintingWithoutIprintExceptErrors) {
  const LsqProblem p = Rosenbrock();
  ns23_test::StreamCapture capture(34);
  Options o;
  o.stream = 34;
  o.maxfun = 3;
  o.liw = o.lw = 1000;
  const Outcome out = Solve(p, o);
  EXPECT_EQ(out.iflag, -1);
  EXPECT_EQ(capture.text(),
            "\n\n Error return from NS23 because\n"
            " more than MAXFUN function evaluations needed\n");
}

}  // namespace
