// The problem library checked against independent references: analytic
// Jacobians against central differences, residuals at known solutions, and
// least sums of squares reached by a small dense Levenberg-Marquardt written
// here on LAPACK against the published values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "dalvex_test/near.h"
#include "problems/registry.h"

extern "C" void dgesv_(const int* n, const int* nrhs, double* a, const int* lda, int* ipiv,
                       double* b, const int* ldb, int* info);

namespace problems {

// Readable parameter values in failure messages.
void PrintTo(const RegistryEntry& e, std::ostream* os) { *os << e.name; }

namespace {

using Vec = std::vector<double>;

using dalvex_test::Near;

double SumSquares(const Vec& f) {
  double s = 0.0;
  for (double v : f) s += v * v;
  return s;
}

// Small instances of every problem, so that dense references stay cheap.
ProblemOptions SmallOptions(const RegistryEntry& e) {
  ProblemOptions o;
  if (e.name == "bratu-2d") o.size = 5;
  return o;
}

std::unique_ptr<Problem> MakeSmall(const RegistryEntry& e) {
  std::string error;
  auto p = MakeProblem(e.name, SmallOptions(e), &error);
  EXPECT_NE(p, nullptr) << error;
  return p;
}

// Dense Jacobian J(i, j) at x (column-major, NEqs x NVars) from the sparse one.
Vec DenseJacobian(const Problem& p, const Vec& x) {
  const int32_t m = p.NEqs();
  Vec values(p.NNz()), jac(static_cast<size_t>(m) * p.NVars(), 0.0);
  p.JacobianValues(x.data(), values.data());
  for (int32_t k = 0; k < p.NNz(); ++k)
    jac[(p.JacobianCols()[k] - 1) * static_cast<size_t>(m) + p.JacobianRows()[k] - 1] = values[k];
  return jac;
}

// A point near the start: each component moved by up to 5% of its size
// (of 0.05 where it is zero), so models stay inside their domain.
Vec PointNearStart(const Problem& p, std::mt19937& rng) {
  Vec x(p.NVars());
  p.StartingPoint(x.data());
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (double& v : x) v += 0.05 * (v != 0.0 ? std::fabs(v) : 1.0) * u(rng);
  return x;
}

// Dense Levenberg-Marquardt: solve (J'J + mu diag(J'J)) d = -J'f, accept a
// step only when the sum of squares falls (a NaN sum never does).
double MinimiseDense(const Problem& p, Vec& x, int max_iters) {
  const int n = p.NVars(), m = p.NEqs();
  Vec f(m), ft(m), xt(n);
  p.Residuals(x.data(), f.data());
  double s = SumSquares(f), mu = 1e-3;
  for (int it = 0; it < max_iters && s > 0.0; ++it) {
    const Vec jac = DenseJacobian(p, x);
    Vec a(static_cast<size_t>(n) * n, 0.0), g(n, 0.0);
    for (int i = 0; i < n; ++i) {
      for (int k = 0; k < m; ++k) g[i] -= jac[i * m + k] * f[k];
      for (int j = 0; j < n; ++j)
        for (int k = 0; k < m; ++k) a[j * n + i] += jac[i * m + k] * jac[j * m + k];
    }
    bool moved = false;
    for (int tries = 0; tries < 30 && !moved; ++tries, mu *= 10.0) {
      Vec b = a, d = g;
      for (int i = 0; i < n; ++i) b[i * n + i] += mu * std::max(a[i * n + i], 1e-12);
      std::vector<int> ipiv(n);
      int one = 1, info = 0;
      dgesv_(&n, &one, b.data(), &n, ipiv.data(), d.data(), &n, &info);
      if (info != 0) continue;
      for (int i = 0; i < n; ++i) xt[i] = x[i] + d[i];
      p.Residuals(xt.data(), ft.data());
      const double st = SumSquares(ft);
      if (st < s) {
        moved = true;
        x = xt;
        f = ft;
        s = st;
        mu = std::max(mu / 100.0, 1e-12);  // undone by the loop's *= 10
      }
    }
    if (!moved) break;
  }
  return s;
}

class EveryProblem : public ::testing::TestWithParam<RegistryEntry> {};

TEST_P(EveryProblem, PatternIsColumnOrderedWithoutRepeatsAndInRange) {
  const auto p = MakeSmall(GetParam());
  ASSERT_TRUE(p);
  const auto& rows = p->JacobianRows();
  const auto& cols = p->JacobianCols();
  ASSERT_EQ(rows.size(), static_cast<size_t>(p->NNz()));
  ASSERT_EQ(cols.size(), rows.size());
  for (int32_t k = 0; k < p->NNz(); ++k) {
    ASSERT_TRUE(rows[k] >= 1 && rows[k] <= p->NEqs()) << "entry " << k;
    ASSERT_TRUE(cols[k] >= 1 && cols[k] <= p->NVars()) << "entry " << k;
    if (k > 0) {
      const bool ordered = cols[k - 1] < cols[k] || (cols[k - 1] == cols[k] && rows[k - 1] < rows[k]);
      ASSERT_TRUE(ordered) << "entry " << k << " breaks column order or repeats";
    }
  }
  // Every equation and every variable takes part.
  EXPECT_EQ(std::set<int32_t>(rows.begin(), rows.end()).size(), static_cast<size_t>(p->NEqs()));
  EXPECT_EQ(std::set<int32_t>(cols.begin(), cols.end()).size(), static_cast<size_t>(p->NVars()));
}

// Central differences of the residuals over the whole dense Jacobian: values
// in the pattern must agree, and every position outside it must be zero.
TEST_P(EveryProblem, JacobianAgreesWithCentralDifferences) {
  const auto p = MakeSmall(GetParam());
  ASSERT_TRUE(p);
  const int32_t m = p->NEqs(), n = p->NVars();
  std::mt19937 rng(20261208);
  for (int trial = 0; trial < 3; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    Vec x = PointNearStart(*p, rng);
    const Vec jac = DenseJacobian(*p, x);
    Vec fp(m), fm(m);
    for (int32_t j = 0; j < n; ++j) {
      const double h = 1e-6 * std::max(1.0, std::fabs(x[j]));
      const double xj = x[j];
      x[j] = xj + h;
      p->Residuals(x.data(), fp.data());
      x[j] = xj - h;
      p->Residuals(x.data(), fm.data());
      x[j] = xj;
      for (int32_t i = 0; i < m; ++i) {
        const double fd = (fp[i] - fm[i]) / (2.0 * h);
        const double an = jac[static_cast<size_t>(j) * m + i];
        ASSERT_TRUE(Near(an, fd, 1e-5 * std::max({1.0, std::fabs(an), std::fabs(fp[i]) / h * 1e-6})))
            << p->EquationName(i) << " / " << p->VariableName(j);
      }
    }
  }
}

TEST_P(EveryProblem, DescribesItselfAndStartsWithinBounds) {
  const auto p = MakeSmall(GetParam());
  ASSERT_TRUE(p);
  EXPECT_FALSE(p->Description().empty());
  EXPECT_EQ(p->Description().find('\n'), std::string::npos);
  std::set<std::string> eqs, vars;
  for (int32_t i = 0; i < p->NEqs(); ++i) eqs.insert(p->EquationName(i));
  for (int32_t j = 0; j < p->NVars(); ++j) vars.insert(p->VariableName(j));
  EXPECT_EQ(eqs.size(), static_cast<size_t>(p->NEqs())) << "equation names repeat";
  EXPECT_EQ(vars.size(), static_cast<size_t>(p->NVars())) << "variable names repeat";
  Vec x(p->NVars()), lo(p->NVars()), hi(p->NVars()), f(p->NEqs());
  p->StartingPoint(x.data());
  p->Bounds(lo.data(), hi.data());
  for (int32_t j = 0; j < p->NVars(); ++j)
    EXPECT_TRUE(lo[j] <= x[j] && x[j] <= hi[j]) << p->VariableName(j);
  p->Residuals(x.data(), f.data());
  for (double v : f) EXPECT_TRUE(std::isfinite(v));
}

TEST_P(EveryProblem, KnownSolutionHasZeroResiduals) {
  const auto p = MakeSmall(GetParam());
  ASSERT_TRUE(p);
  Vec x(p->NVars()), f(p->NEqs());
  if (!p->KnownSolution(x.data())) GTEST_SKIP() << "no closed-form solution";
  p->Residuals(x.data(), f.data());
  for (int32_t i = 0; i < p->NEqs(); ++i) EXPECT_TRUE(Near(f[i], 0.0, 1e-10)) << p->EquationName(i);
}

// The least sum of squares that the problem claims is the one a solver finds
// from the standard start: zero for the consistent systems, the published
// value for the fits.
TEST_P(EveryProblem, DenseSolverReachesTheKnownMinimum) {
  const auto p = MakeSmall(GetParam());
  ASSERT_TRUE(p);
  const auto minimum = p->KnownMinimum();
  if (!minimum) GTEST_SKIP() << "no known minimum";
  Vec x(p->NVars());
  p->StartingPoint(x.data());
  const double s = MinimiseDense(*p, x, 2000);
  EXPECT_TRUE(Near(s, *minimum, 1e-16 + 1e-5 * *minimum));
}

std::string EntryName(const ::testing::TestParamInfo<RegistryEntry>& info) {
  std::string s = info.param.name;
  std::replace(s.begin(), s.end(), '-', '_');
  return s;
}

INSTANTIATE_TEST_SUITE_P(Registry, EveryProblem, ::testing::ValuesIn(Registry()), EntryName);

TEST(ProblemRegistry, BuildsBySizeAndRefusesBadRequests) {
  std::string error;
  ProblemOptions o;
  o.size = 10;
  auto bratu = MakeProblem("bratu-2d", o, &error);
  ASSERT_TRUE(bratu);
  EXPECT_EQ(bratu->NVars(), 100);
  EXPECT_EQ(bratu->NNz(), 5 * 100 - 4 * 10);  // one neighbour lost per boundary point
  auto banded = MakeProblem("broyden-banded", o);
  ASSERT_TRUE(banded);
  EXPECT_EQ(banded->NNz(), 7 * 10 - (5 + 4 + 3 + 2 + 1) - 1);
  auto train = MakeProblem("reactor-flash", o);
  ASSERT_TRUE(train);
  EXPECT_EQ(train->NEqs(), 38);

  EXPECT_FALSE(MakeProblem("no-such-problem", {}, &error));
  EXPECT_NE(error.find("unknown problem"), std::string::npos);
  EXPECT_FALSE(MakeProblem("rosenbrock", o, &error));
  EXPECT_NE(error.find("fixed size"), std::string::npos);
  o.size = 51;
  EXPECT_FALSE(MakeProblem("chebyquad", o, &error));
  EXPECT_EQ(error, "size of 'chebyquad' must lie in [1, 50]");
  o.size = 0;
  auto cheb = MakeProblem("chebyquad", o);
  ASSERT_TRUE(cheb);
  EXPECT_EQ(cheb->NVars(), 7);
}

// The published least sums of squares of the sizes beyond the default,
// including the inconsistent ones.
TEST(Chebyquad, LargerSizesReachTheirPublishedMinima) {
  for (int32_t n : {8, 9, 10}) {
    SCOPED_TRACE("n = " + std::to_string(n));
    ProblemOptions o;
    o.size = n;
    auto p = MakeProblem("chebyquad", o);
    ASSERT_TRUE(p);
    const auto minimum = p->KnownMinimum();
    ASSERT_TRUE(minimum.has_value());
    Vec x(n);
    p->StartingPoint(x.data());
    EXPECT_TRUE(Near(MinimiseDense(*p, x, 2000), *minimum, 1e-16 + 1e-5 * *minimum));
  }
}

TEST(ProblemRegistry, FitsAreOverDetermined) {
  for (const char* name : {"kowalik-osborne", "osborne1"}) {
    auto p = MakeProblem(name, {});
    ASSERT_TRUE(p);
    EXPECT_GT(p->NEqs(), p->NVars()) << name;
  }
}

// Outside the model's domain the residuals are NaN or Inf, never clipped.
TEST(ReactorFlash, ResidualsLeaveTheDomainUnclipped) {
  ProblemOptions o;
  o.size = 2;
  auto p = MakeProblem("reactor-flash", o);
  ASSERT_TRUE(p);
  Vec x(p->NVars()), f(p->NEqs());
  ASSERT_TRUE(p->KnownSolution(x.data()));
  const int32_t xa = 3 * 2 + 2;  // flash.xA
  ASSERT_EQ(p->VariableName(xa), "flash.xA");
  x[xa] = -0.01;
  p->Residuals(x.data(), f.data());
  EXPECT_TRUE(std::isnan(f[3 * 2 + 3])) << p->EquationName(3 * 2 + 3);
  EXPECT_TRUE(std::isfinite(f[3 * 2 + 4]));

  ASSERT_TRUE(p->KnownSolution(x.data()));
  x[2] = -1.0;  // tank1.T below absolute zero: exp(+8000) overflows
  p->Residuals(x.data(), f.data());
  EXPECT_TRUE(std::isinf(f[0]));
}

// The independent construction stays two-phase and consistent for long trains.
TEST(ReactorFlash, LongTrainHasAConsistentSolution) {
  for (int32_t tanks : {1, 40}) {
    ProblemOptions o;
    o.size = tanks;
    auto p = MakeProblem("reactor-flash", o);
    ASSERT_TRUE(p);
    Vec x(p->NVars()), f(p->NEqs());
    ASSERT_TRUE(p->KnownSolution(x.data())) << tanks;
    p->Residuals(x.data(), f.data());
    for (int32_t i = 0; i < p->NEqs(); ++i) EXPECT_TRUE(Near(f[i], 0.0, 1e-10)) << p->EquationName(i);
  }
}

// With one interior point F = 16u - lambda e^u, which has a root exactly when
// lambda <= 16/e: a zero minimum is claimed on that side only.
TEST(Bratu2D, ClaimsAZeroMinimumOnlyWhereASolutionExists) {
  for (double lambda : {5.8, 6.0}) {
    ProblemOptions o;
    o.size = 1;
    o.lambda = lambda;
    auto p = MakeProblem("bratu-2d", o);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->KnownMinimum().has_value(), lambda <= 16.0 / std::exp(1.0)) << lambda;
  }
}

}  // namespace
}  // namespace problems
