// dalvex::LDLT against independent references: LAPACK's dense solve and
// eigenvalues on random indefinite matrices, and matrices whose spectra and
// determinants are known in closed form; every ordering.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <string>
#include <vector>

#include "dalvex/dalvex.hpp"
#include "dalvex_test/near.h"
#include "dalvex_test/random_sparse.h"

extern "C" {
void dsyev_(const char* jobz,
            const char* uplo,
            const int32_t* n,
            double* a,
            const int32_t* lda,
            double* w,
            double* work,
            const int32_t* lwork,
            int32_t* info,
            size_t,
            size_t);
void dgesv_(const int32_t* n,
            const int32_t* nrhs,
            double* a,
            const int32_t* lda,
            int32_t* ipiv,
            double* b,
            const int32_t* ldb,
            int32_t* info);
}

namespace {

using dalvex::Ordering;
using dalvex::Triangle;
using dalvex_test::Near;
constexpr double kEps = std::numeric_limits<double>::epsilon();
const double kPi = std::acos(-1.0);

// A matrix in coordinate form from 0, lower triangle, as the tests build it.
struct Coordinates {
  int32_t n = 0;
  std::vector<int32_t> rows, columns;
  std::vector<double> values;
  void Add(int32_t i, int32_t j, double v) {
    rows.push_back(std::max(i, j));
    columns.push_back(std::min(i, j));
    values.push_back(v);
  }
  dalvex::SymmetricMatrix Matrix() const {
    return dalvex::SymmetricMatrix::FromCoordinates(n, rows, columns, values, Triangle::kLower);
  }
  std::vector<double> Dense() const {
    std::vector<double> d(static_cast<size_t>(n) * n, 0.0);
    for (size_t k = 0; k < values.size(); ++k) {
      d[rows[k] + static_cast<size_t>(columns[k]) * n] += values[k];
      if (rows[k] != columns[k]) d[columns[k] + static_cast<size_t>(rows[k]) * n] += values[k];
    }
    return d;
  }
};

Coordinates FromSuite(const dalvex_test::SparseCoordinates& m) {
  Coordinates c;
  c.n = m.n;
  for (size_t k = 0; k < m.a.size(); ++k) c.Add(m.irn[k] - 1, m.jcn[k] - 1, m.a[k]);
  return c;
}

std::vector<double> Eigenvalues(std::vector<double> dense, int32_t n) {
  std::vector<double> w(static_cast<size_t>(n));
  int32_t lwork = -1, info = 0;
  double query = 0.0;
  dsyev_("N", "L", &n, dense.data(), &n, w.data(), &query, &lwork, &info, 1, 1);
  lwork = static_cast<int32_t>(query);
  std::vector<double> work(static_cast<size_t>(lwork));
  dsyev_("N", "L", &n, dense.data(), &n, w.data(), work.data(), &lwork, &info, 1, 1);
  EXPECT_EQ(info, 0);
  return w;
}

std::vector<double> DenseSolve(std::vector<double> dense, int32_t n, std::vector<double> b) {
  std::vector<int32_t> pivots(static_cast<size_t>(n));
  const int32_t one = 1;
  int32_t info = 0;
  dgesv_(&n, &one, dense.data(), &n, pivots.data(), b.data(), &n, &info);
  EXPECT_EQ(info, 0);
  return b;
}

// ||x - y||_inf / ||y||_inf.
double RelativeDifference(const std::vector<double>& x, const std::vector<double>& y) {
  double d = 0.0, s = 0.0;
  for (size_t i = 0; i < x.size(); ++i) {
    d = std::max(d, std::fabs(x[i] - y[i]));
    s = std::max(s, std::fabs(y[i]));
  }
  return d / s;
}

dalvex::LDLTOptions WithOrdering(Ordering ordering, int32_t n) {
  dalvex::LDLTOptions o;
  o.ordering = ordering;
  if (ordering == Ordering::kGiven) {  // the variables backwards
    o.elimination_order.resize(static_cast<size_t>(n));
    std::iota(o.elimination_order.rbegin(), o.elimination_order.rend(), 0);
  }
  return o;
}

std::vector<Ordering> Orderings() {
  std::vector<Ordering> all = {Ordering::kAmd, Ordering::kNatural, Ordering::kGiven,
                               Ordering::kAuto};
  if (dalvex::MetisAvailable()) all.push_back(Ordering::kMetis);
  return all;
}

// ---------------------------------------------------------------------------
// Random matrices: solution, inertia and determinant against LAPACK.

class RandomMatrices : public ::testing::TestWithParam<Ordering> {};

TEST_P(RandomMatrices, SolutionInertiaAndDeterminantMatchLapack) {
  const dalvex_test::SymmetricKind kinds[] = {dalvex_test::SymmetricKind::kDefinite,
                                              dalvex_test::SymmetricKind::kIndefinite,
                                              dalvex_test::SymmetricKind::kZeroDiagonal};
  for (const auto kind : kinds) {
    for (unsigned seed = 1; seed <= 3; ++seed) {
      SCOPED_TRACE("kind " + std::to_string(static_cast<int>(kind)) + ", seed " +
                   std::to_string(seed));
      const Coordinates c = FromSuite(dalvex_test::RandomSymmetric(60, 4, kind, seed));
      dalvex::LDLT ldlt(WithOrdering(GetParam(), c.n));
      ASSERT_EQ(ldlt.Factorize(c.Matrix()), dalvex::FactorStatus::kSuccess);

      std::vector<double> b(static_cast<size_t>(c.n));
      for (int32_t i = 0; i < c.n; ++i) b[i] = std::sin(1.0 + i);
      const std::vector<double> x = ldlt.Solve(b);
      const std::vector<double> reference = DenseSolve(c.Dense(), c.n, b);
      EXPECT_LE(RelativeDifference(x, reference), 1e-9);

      const std::vector<double> w = Eigenvalues(c.Dense(), c.n);
      const dalvex::Inertia in = ldlt.inertia();
      EXPECT_EQ(in.negative, std::count_if(w.begin(), w.end(), [](double v) { return v < 0; }));
      EXPECT_EQ(in.positive, std::count_if(w.begin(), w.end(), [](double v) { return v > 0; }));
      EXPECT_EQ(in.zero, 0);
      double log_abs = 0.0, sign = 1.0;
      for (double v : w) {
        log_abs += std::log(std::fabs(v));
        sign *= v < 0 ? -1.0 : 1.0;
      }
      const dalvex::LogDeterminant d = ldlt.log_determinant();
      EXPECT_EQ(d.sign, sign);
      EXPECT_TRUE(Near(d.log_abs, log_abs, 1e-10 * std::max(1.0, std::fabs(log_abs))));
      EXPECT_EQ(ldlt.statistics().ordering,
                GetParam() == Ordering::kAuto ? ldlt.statistics().ordering : GetParam());
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Orderings,
                         RandomMatrices,
                         ::testing::ValuesIn(Orderings()),
                         [](const ::testing::TestParamInfo<Ordering>& info) {
                           return std::string(dalvex::to_string(info.param));
                         });

// ---------------------------------------------------------------------------
// Known spectra.

// The k x k grid Laplacian (5-point), shifted by -sigma: its eigenvalues are
// 4 - 2cos(i pi/(k+1)) - 2cos(j pi/(k+1)) - sigma.
Coordinates ShiftedLaplacian(int32_t k, double sigma) {
  Coordinates c;
  c.n = k * k;
  for (int32_t i = 0; i < k; ++i) {
    for (int32_t j = 0; j < k; ++j) {
      const int32_t v = i * k + j;
      c.Add(v, v, 4.0 - sigma);
      if (i + 1 < k) c.Add(v + k, v, -1.0);
      if (j + 1 < k) c.Add(v + 1, v, -1.0);
    }
  }
  return c;
}

TEST(KnownSpectra, ShiftedGridLaplacianHasTheInertiaOfItsEigenvalues) {
  const int32_t k = 20;
  for (double sigma : {0.0, 1.3, 4.1, 7.7}) {
    SCOPED_TRACE(sigma);
    int32_t below = 0;
    double log_abs = 0.0, sign = 1.0;
    for (int32_t i = 1; i <= k; ++i) {
      for (int32_t j = 1; j <= k; ++j) {
        const double lambda =
            4.0 - 2.0 * std::cos(i * kPi / (k + 1)) - 2.0 * std::cos(j * kPi / (k + 1)) - sigma;
        below += lambda < 0.0;
        log_abs += std::log(std::fabs(lambda));
        sign *= lambda < 0.0 ? -1.0 : 1.0;
      }
    }
    for (Ordering ordering : Orderings()) {
      SCOPED_TRACE(dalvex::to_string(ordering));
      dalvex::LDLT ldlt(WithOrdering(ordering, k * k));
      ldlt.Factorize(ShiftedLaplacian(k, sigma).Matrix());
      EXPECT_EQ(ldlt.inertia().negative, below);
      EXPECT_EQ(ldlt.inertia().positive, k * k - below);
      EXPECT_EQ(ldlt.log_determinant().sign, sign);
      EXPECT_TRUE(Near(ldlt.log_determinant().log_abs, log_abs, 1e-9 * std::fabs(log_abs) + 1e-9));
    }
  }
}

// [I B^T; B 0] with B (m x n) of full row rank has n positive and m
// negative eigenvalues.
TEST(KnownSpectra, SaddlePointHasOnePositiveEigenvaluePerVariableAndOneNegativePerConstraint) {
  const int32_t n = 40, m = 15;
  Coordinates c;
  c.n = n + m;
  for (int32_t i = 0; i < n; ++i) c.Add(i, i, 1.0);
  for (int32_t r = 0; r < m; ++r) {  // row r of B touches variables r, r + 1, r + m
    c.Add(n + r, r, 1.0);
    c.Add(n + r, r + 1, -0.5);
    c.Add(n + r, r + m, 0.25);
  }
  dalvex::LDLT ldlt;
  ASSERT_EQ(ldlt.Factorize(c.Matrix()), dalvex::FactorStatus::kSuccess);
  EXPECT_EQ(ldlt.inertia().positive, n);
  EXPECT_EQ(ldlt.inertia().negative, m);
}

// A zero row and column: rank n - 1, one zero eigenvalue, det 0.
TEST(KnownSpectra, ZeroRowMakesTheMatrixSingularWithRankOneLess) {
  Coordinates c = ShiftedLaplacian(6, 0.0);
  for (size_t q = 0; q < c.values.size(); ++q) {
    if (c.columns[q] == 0) c.values[q] = 0.0;  // every entry of variable 0 (row >= column)
  }
  dalvex::LDLT ldlt;
  EXPECT_EQ(ldlt.Factorize(c.Matrix()), dalvex::FactorStatus::kSingular);
  EXPECT_EQ(ldlt.rank(), c.n - 1);
  EXPECT_EQ(ldlt.inertia().zero, 1);
  EXPECT_EQ(ldlt.inertia().positive, c.n - 1);
  EXPECT_EQ(ldlt.log_determinant().sign, 0.0);
  EXPECT_EQ(ldlt.log_determinant().log_abs, -std::numeric_limits<double>::infinity());
}

// ---------------------------------------------------------------------------
// Phases, right-hand sides, refinement.

TEST(Phases, NewValuesOnTheSamePatternReuseTheAnalysis) {
  const Coordinates c =
      FromSuite(dalvex_test::RandomSymmetric(50, 3, dalvex_test::SymmetricKind::kIndefinite, 7));
  const dalvex::SymmetricMatrix a = c.Matrix();
  dalvex::LDLT ldlt(WithOrdering(Ordering::kAuto, c.n));
  ldlt.Analyse(a);
  const double analyse_seconds = ldlt.statistics().analyse_seconds;
  ldlt.Factorize(a);
  for (double scale : {2.0, -0.5}) {
    Coordinates scaled = c;
    for (double& v : scaled.values) v *= scale;
    ASSERT_EQ(ldlt.Factorize(a.WithValues(scaled.values)), dalvex::FactorStatus::kSuccess);
    EXPECT_EQ(ldlt.statistics().analyse_seconds, analyse_seconds);  // not analysed again
    // A built afresh with the same pattern is taken too.
    ldlt.Factorize(scaled.Matrix());
    std::vector<double> b(static_cast<size_t>(c.n), 1.0);
    EXPECT_LE(RelativeDifference(ldlt.Solve(b), DenseSolve(scaled.Dense(), c.n, b)), 1e-9);
  }
}

TEST(Phases, SeveralRightHandSidesWithALeadingDimensionAndRefinement) {
  const Coordinates c =
      FromSuite(dalvex_test::RandomSymmetric(80, 5, dalvex_test::SymmetricKind::kZeroDiagonal, 3));
  dalvex::LDLT ldlt;
  ldlt.Factorize(c.Matrix());
  const int64_t columns = 3, ld = c.n + 5;
  std::vector<double> b(static_cast<size_t>(columns * ld), -99.0);
  for (int64_t j = 0; j < columns; ++j) {
    for (int32_t i = 0; i < c.n; ++i) b[j * ld + i] = std::cos(0.3 * i + j);
  }
  std::vector<double> x = b;
  dalvex::SolveOptions refine;
  refine.refinement_steps = 3;
  const dalvex::SolveReport report = ldlt.SolveInPlace(x, columns, ld, refine);
  EXPECT_LE(report.scaled_residual, 4 * kEps);
  for (int64_t j = 0; j < columns; ++j) {
    SCOPED_TRACE(j);
    const std::vector<double> bj(b.begin() + j * ld, b.begin() + j * ld + c.n);
    const std::vector<double> xj(x.begin() + j * ld, x.begin() + j * ld + c.n);
    EXPECT_LE(RelativeDifference(xj, DenseSolve(c.Dense(), c.n, bj)), 1e-9);
    EXPECT_EQ(x[j * ld + c.n], -99.0);  // the padding is left alone
  }
  EXPECT_TRUE(std::isnan(ldlt.SolveInPlace(x, columns, ld).scaled_residual));
}

// kAuto analyses both orders and keeps the one that forecasts fewer
// operations: nested dissection on a large grid, minimum degree on a band.
TEST(Orderings, AutoKeepsTheSmallerForecast) {
  if (!dalvex::MetisAvailable()) GTEST_SKIP() << "no METIS in this build";
  Coordinates band;
  band.n = 3000;
  for (int32_t i = 0; i < band.n; ++i) {
    band.Add(i, i, 4.0);
    for (int32_t d = 1; d <= 2 && i + d < band.n; ++d) band.Add(i + d, i, -1.0);
  }
  for (const Coordinates& c : {band, ShiftedLaplacian(60, 0.0)}) {
    dalvex::LDLT ldlt(WithOrdering(Ordering::kAuto, c.n));
    ldlt.Analyse(c.Matrix());
    const dalvex::LDLTStatistics& s = ldlt.statistics();
    const bool metis_smaller = s.metis_forecast_flops < s.amd_forecast_flops;
    EXPECT_EQ(s.ordering, metis_smaller ? Ordering::kMetis : Ordering::kAmd);
    EXPECT_EQ(s.forecast_flops, std::min(s.metis_forecast_flops, s.amd_forecast_flops));
  }
}

}  // namespace
