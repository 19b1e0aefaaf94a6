// Factorize and solve a sparse symmetric indefinite matrix with its inertia:
// the saddle-point matrix K = [H B^T; B 0] of an equality-constrained
// quadratic problem, H the 1D Laplacian of order n and B (m x n) a set of
// local constraints. K has n positive and m negative eigenvalues; the
// solution of K x = K 1 is all ones.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <dalvex/dalvex.hpp>
#include <vector>

int main() {
  const int32_t n = 2000, m = 500;
  // The lower triangle in coordinate form, counted from 0.
  std::vector<int32_t> rows, columns;
  std::vector<double> values;
  auto add = [&](int32_t i, int32_t j, double v) {
    rows.push_back(i);
    columns.push_back(j);
    values.push_back(v);
  };
  for (int32_t i = 0; i < n; ++i) {
    add(i, i, 2.0);
    if (i + 1 < n) add(i + 1, i, -1.0);
  }
  for (int32_t r = 0; r < m; ++r) {  // constraint r couples variables 4r .. 4r+2
    add(n + r, 4 * r, 1.0);
    add(n + r, 4 * r + 1, -2.0);
    add(n + r, 4 * r + 2, 1.0);
  }
  const dalvex::SymmetricMatrix k = dalvex::SymmetricMatrix::FromCoordinates(
      n + m, rows, columns, values, dalvex::Triangle::kLower);

  dalvex::LDLTOptions options;
  options.ordering = dalvex::Ordering::kAuto;  // AMD or METIS, whichever forecasts less work
  dalvex::LDLT ldlt(options);
  if (ldlt.Factorize(k) != dalvex::FactorStatus::kSuccess) return 1;

  std::vector<double> b(n + m);
  k.Multiply(std::vector<double>(n + m, 1.0), b);
  dalvex::SolveOptions solve;
  solve.refinement_steps = 2;
  dalvex::SolveReport report;
  const std::vector<double> x = ldlt.Solve(b, solve, &report);

  double error = 0.0;
  for (double v : x) error = std::fmax(error, std::fabs(v - 1.0));
  const dalvex::Inertia inertia = ldlt.inertia();
  const dalvex::LDLTStatistics& s = ldlt.statistics();
  std::printf("inertia: %d positive, %d negative, %d zero\n", inertia.positive, inertia.negative,
              inertia.zero);
  std::printf("ordering %s, %lld factor entries, %d 2x2 pivots, %d delayed\n",
              dalvex::to_string(s.ordering), static_cast<long long>(s.factor_entries),
              s.two_by_two_pivots, s.delayed_pivots);
  std::printf("log|det K| = %.6f (sign %+.0f); scaled residual %.1e; largest error %.1e\n",
              ldlt.log_determinant().log_abs, ldlt.log_determinant().sign, report.scaled_residual,
              error);
  return inertia.positive == n && inertia.negative == m && error < 1e-10 ? 0 : 1;
}
