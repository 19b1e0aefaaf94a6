// The grouped difference Jacobian, driven by reverse communication and
// compared with analytic Jacobians.
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "ns23_driver.h"
#include "pemric/ns23_routines.h"
#include "pemric/one_based.h"

namespace {

using ns23_test::Near;

struct Pattern {
  int32_t m, n;
  std::vector<int32_t> irn, ip;
};

// Column form of a pattern given as a list of rows per column.
Pattern Columns(int32_t m, const std::vector<std::vector<int32_t>>& rows_of) {
  Pattern p{m, static_cast<int32_t>(rows_of.size()), {}, {1}};
  for (const auto& rows : rows_of) {
    p.irn.insert(p.irn.end(), rows.begin(), rows.end());
    p.ip.push_back(static_cast<int32_t>(p.irn.size()) + 1);
  }
  return p;
}

using Residuals = std::function<void(const double* x, double* f)>;

struct DiffRun {
  std::vector<double> fjac, h, x, f;
  std::vector<int32_t> ip;
  int forward = 0, backward = 0, groups = 0;
  bool ip_negative_seen = false;
};

DiffRun Difference(const Pattern& p, const std::vector<double>& x0, const Residuals& residuals,
                   int32_t scheme, double hmax, std::vector<int32_t> ip) {
  DiffRun r;
  int32_t icntld[pemric::kIcntldLength];
  double cntld[pemric::kCntldLength];
  int32_t isave[pemric::kIsaveLength];
  double rsave[pemric::kRsaveLength];
  pemric::NS23DiffSetDefaults(icntld, cntld, isave, rsave);
  pemric::At(icntld)(pemric::kIcntldScheme) = scheme;
  const double rel = std::sqrt(2.220446049250313e-16);
  r.h.assign(p.n, hmax * rel);
  r.x = x0;
  r.f.assign(p.m, 0.0);
  residuals(r.x.data(), r.f.data());
  r.fjac.assign(p.irn.size(), 0.0);
  r.ip = std::move(ip);
  std::vector<int32_t> iwd(2 * p.n + 1, 0);
  std::vector<double> wd(p.m + 2 * p.n);
  int32_t infod[pemric::kInfodLength];
  int32_t dflag = 1;
  const double minus_hmax = -hmax;
  pemric::DiffProblem d;
  d.m = p.m;
  d.n = p.n;
  d.irn = p.irn.data();
  d.ip = r.ip.data();
  d.h = r.h.data();
  d.x = r.x.data();
  d.f = r.f.data();
  d.hmaxv = &minus_hmax;
  d.fjac = r.fjac.data();
  d.iwd = iwd.data();
  d.wd = wd.data();
  pemric::DiffState state;
  state.icntld = icntld;
  state.cntld = cntld;
  state.infod = infod;
  state.isave = isave;
  state.rsave = rsave;
  for (int calls = 0; calls < 100000; ++calls) {
    pemric::NS23DiffJacobian(d, &dflag, state);
    if (dflag == 0) break;
    for (int32_t v : r.ip) r.ip_negative_seen |= v < 0;
    (dflag == 2 ? r.forward : r.backward) += 1;
    residuals(r.x.data(), r.f.data());
  }
  r.groups = pemric::At(infod)(pemric::kInfodGroups);
  return r;
}

// Broyden tridiagonal residuals with a cubic term: a banded pattern.
Pattern Tridiagonal(int32_t n) {
  std::vector<std::vector<int32_t>> rows(n);
  for (int32_t j = 1; j <= n; ++j) {
    for (int32_t i = std::max(1, j - 1); i <= std::min(n, j + 1); ++i) rows[j - 1].push_back(i);
  }
  return Columns(n, rows);
}
void TridiagonalF(int32_t n, const double* x, double* f) {
  for (int32_t i = 0; i < n; ++i) {
    const double left = i > 0 ? x[i - 1] : 0.0, right = i + 1 < n ? x[i + 1] : 0.0;
    f[i] = (3.0 - 2.0 * x[i]) * x[i] + 0.1 * x[i] * x[i] * x[i] - left - 2.0 * right + 1.0;
  }
}
std::vector<double> TridiagonalJ(const Pattern& p, const double* x) {
  std::vector<double> v;
  for (int32_t j = 1; j <= p.n; ++j) {
    for (int32_t k = p.ip[j - 1]; k < p.ip[j]; ++k) {
      const int32_t i = p.irn[k - 1];
      const double xi = x[j - 1];
      v.push_back(i == j ? 3.0 - 4.0 * xi + 0.3 * xi * xi : (i == j + 1 ? -1.0 : -2.0));
    }
  }
  return v;
}

// Blocks of three variables coupled within each block: a block pattern.
Pattern Blocks(int32_t blocks) {
  std::vector<std::vector<int32_t>> rows(3 * blocks);
  for (int32_t b = 0; b < blocks; ++b) {
    for (int32_t c = 0; c < 3; ++c) rows[3 * b + c] = {3 * b + 1, 3 * b + 2, 3 * b + 3};
  }
  return Columns(3 * blocks, rows);
}
// f_i = exp(0.3 x1) * (r+1) + x2 * sin(x3) * (r+2), r the row within the block.
void BlocksF(int32_t n, const double* x, double* f) {
  for (int32_t i = 0; i < n; ++i) {
    const int32_t b = i / 3, r = i % 3;
    const double* y = x + 3 * b;
    f[i] = std::exp(0.3 * y[0]) * (r + 1) + y[1] * std::sin(y[2]) * (r + 2);
  }
}
std::vector<double> BlocksJ(const Pattern& p, const double* x) {
  std::vector<double> v;
  for (int32_t j = 1; j <= p.n; ++j) {
    const int32_t b = (j - 1) / 3, c = (j - 1) % 3;
    const double* y = x + 3 * b;
    for (int32_t k = p.ip[j - 1]; k < p.ip[j]; ++k) {
      const int32_t r = (p.irn[k - 1] - 1) % 3;
      const double d[3] = {0.3 * std::exp(0.3 * y[0]) * (r + 1), std::sin(y[2]) * (r + 2),
                           y[1] * std::cos(y[2]) * (r + 2)};
      v.push_back(d[c]);
    }
  }
  return v;
}

struct Case {
  const char* name;
  Pattern pattern;
  Residuals f;
  std::function<std::vector<double>(const Pattern&, const double*)> jacobian;
  int32_t groups;
};

std::vector<Case> Cases() {
  const int32_t n = 40;
  return {
      {"banded", Tridiagonal(n), [n](const double* x, double* f) { TridiagonalF(n, x, f); },
       TridiagonalJ, 3},
      {"blocks", Blocks(n / 4), [n](const double* x, double* f) { BlocksF(3 * (n / 4), x, f); },
       BlocksJ, 3},
  };
}

std::vector<double> Point(int32_t n) {
  std::vector<double> x(n);
  for (int32_t j = 0; j < n; ++j) x[j] = 0.5 + 0.7 * std::sin(1.3 * j);
  return x;
}

TEST(DiffJacobian, ForwardDifferencesCostOneEvaluationPerGroup) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    const auto x0 = Point(c.pattern.n);
    const DiffRun r = Difference(c.pattern, x0, c.f, 1, 1.0, c.pattern.ip);
    EXPECT_EQ(r.groups, c.groups);
    EXPECT_EQ(r.forward, c.groups);
    EXPECT_EQ(r.backward, 0);
    const auto exact = c.jacobian(c.pattern, x0.data());
    for (size_t k = 0; k < exact.size(); ++k) {
      EXPECT_TRUE(Near(r.fjac[k], exact[k], 1e-6 * (1.0 + std::fabs(exact[k])))) << "entry " << k;
    }
    // The base point and its residuals are handed back exactly.
    std::vector<double> f0(c.pattern.m);
    c.f(x0.data(), f0.data());
    EXPECT_EQ(r.x, x0);
    EXPECT_EQ(r.f, f0);
  }
}

TEST(DiffJacobian, CentralDifferencesRefineStepsWithTwoEvaluationsPerGroupPerPass) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    const auto x0 = Point(c.pattern.n);
    const DiffRun r = Difference(c.pattern, x0, c.f, 2, 1.0, c.pattern.ip);
    ASSERT_GT(r.forward, 0);
    EXPECT_EQ(r.forward % c.groups, 0);
    EXPECT_EQ(r.backward, r.forward);
    EXPECT_LE(r.forward / c.groups, 60);
    const auto exact = c.jacobian(c.pattern, x0.data());
    for (size_t k = 0; k < exact.size(); ++k) {
      EXPECT_TRUE(Near(r.fjac[k], exact[k], 1e-8 * (1.0 + std::fabs(exact[k])))) << "entry " << k;
    }
    EXPECT_EQ(r.ip, c.pattern.ip);
    for (double h : r.h) EXPECT_GT(h, 0.0);
    EXPECT_EQ(r.x, x0);
  }
}

TEST(DiffJacobian, GroupsFollowTheGreedyRule) {
  const auto f = [](const double*, double*) {};
  {
    SCOPED_TRACE("a diagonal pattern is one group");
    const Pattern p = Columns(5, {{1}, {2}, {3}, {4}, {5}});
    EXPECT_EQ(Difference(p, Point(5), f, 1, 1.0, p.ip).forward, 1);
  }
  {
    SCOPED_TRACE("a column meeting every other one is a group of its own");
    const Pattern p = Columns(4, {{1, 2, 3, 4}, {2}, {3}, {4}});
    const DiffRun r = Difference(p, Point(4), f, 1, 1.0, p.ip);
    EXPECT_EQ(r.groups, 2);
    EXPECT_EQ(r.forward, 2);
  }
  {
    SCOPED_TRACE("columns without entries join no group and get no evaluation");
    const Pattern p = Columns(3, {{}, {}, {}});
    const DiffRun r = Difference(p, Point(3), f, 2, 1.0, p.ip);
    EXPECT_EQ(r.groups, 0);
    EXPECT_EQ(r.forward + r.backward, 0);
  }
}

TEST(DiffJacobian, LinearResidualsGrowEveryStepToTheLargest) {
  // Truncation estimates vanish, so each pass multiplies the steps by 10
  // until they reach HMAX.
  const Pattern p = Tridiagonal(6);
  const auto f = [](const double* x, double* r) {
    for (int i = 0; i < 6; ++i) {
      r[i] = 2.0 * x[i] - (i > 0 ? x[i - 1] : 0.0) - (i < 5 ? x[i + 1] : 0.0) + 1.0;
    }
  };
  const double hmax = 0.5;
  const DiffRun r = Difference(p, Point(6), f, 2, hmax, p.ip);
  for (int32_t j = 0; j < 6; ++j) EXPECT_TRUE(Near(r.h[j], hmax, 1e-15)) << j;
  EXPECT_GE(r.forward / 3, 8);  // from about 1.5e-8 * HMAX up to HMAX
}

TEST(DiffJacobian, ColumnMarksAreReadThroughAbsoluteValuesAndCleared) {
  const Case c = Cases()[0];
  const auto x0 = Point(c.pattern.n);
  std::vector<int32_t> marked = c.pattern.ip;
  for (size_t j = 0; j < marked.size(); j += 2) marked[j] = -marked[j];
  const DiffRun r = Difference(c.pattern, x0, c.f, 2, 1.0, marked);
  EXPECT_EQ(r.ip, c.pattern.ip);
  const auto exact = c.jacobian(c.pattern, x0.data());
  for (size_t k = 0; k < exact.size(); ++k) {
    EXPECT_TRUE(Near(r.fjac[k], exact[k], 1e-8 * (1.0 + std::fabs(exact[k])))) << k;
  }
}

TEST(DiffJacobian, RepeatedPositionsGetTheDerivativeOnceAndNaNStaysNaN) {
  // Column 1 lists row 2 twice; f2 = 3 x1 + x2, f1 = x1^2, f3 = sqrt(x2).
  const Pattern p = Columns(3, {{1, 2, 2}, {2, 3}});
  const auto f = [](const double* x, double* r) {
    r[0] = x[0] * x[0];
    r[1] = 3.0 * x[0] + x[1];
    r[2] = std::sqrt(x[1]);
  };
  for (int32_t scheme : {1, 2}) {
    SCOPED_TRACE(scheme);
    const DiffRun r = Difference(p, {0.5, 4.0}, f, scheme, 1.0, p.ip);
    EXPECT_TRUE(Near(r.fjac[0], 1.0, 1e-6));
    EXPECT_TRUE(Near(r.fjac[1], 3.0, 1e-6));
    EXPECT_EQ(r.fjac[2], 0.0);
    EXPECT_TRUE(Near(r.fjac[3], 1.0, 1e-6));
    EXPECT_TRUE(Near(r.fjac[4], 0.25, 1e-6));
  }
  // At x2 = 0 the backward point has sqrt of a negative number.
  const DiffRun r = Difference(p, {0.5, 0.0}, f, 2, 1.0, p.ip);
  EXPECT_TRUE(std::isnan(r.fjac[4]));
}

TEST(SparseMatVec, ProductsWithRepeatedPositionsSum) {
  // V = [1 0; 2 3] with the (2,1) entry given as 0.5 + 1.5.
  const std::vector<int32_t> row = {1, 2, 2, 2}, ptr = {1, 4, 5};
  const std::vector<double> val = {1.0, 0.5, 1.5, 3.0};
  const double x[2] = {1.0, -1.0};
  double y[2] = {10.0, 10.0};
  pemric::NS23SparseMatVec(2, 2, val.data(), x, y, 0, row.data(), ptr.data());
  EXPECT_EQ(y[0], 11.0);
  EXPECT_EQ(y[1], 9.0);
  double z[2] = {0.0, 0.0};
  pemric::NS23SparseMatVec(2, 2, val.data(), x, z, -1, row.data(), ptr.data());  // lowest bit
  EXPECT_EQ(z[0], -1.0);
  EXPECT_EQ(z[1], -3.0);
}

}  // namespace
