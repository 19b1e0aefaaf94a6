// Solve a nonlinear system of your own with a sparse Jacobian: the 1D Bratu
// problem u'' + lambda exp(u) = 0 on (0, 1), u(0) = u(1) = 0, by central
// differences on n interior points:
//   F_i(u) = u_{i-1} - 2 u_i + u_{i+1} + h^2 lambda exp(u_i),   i = 0..n-1
// (u_{-1} = u_n = 0). The Jacobian is tridiagonal. The problem is solved
// with the Jacobian given, then once more with the difference Jacobian.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <dalvex/dalvex.hpp>
#include <vector>

int main() {
  const int32_t n = 1000;
  const double lambda = 3.0, h = 1.0 / (n + 1);

  auto residuals = [&](dalvex::Span<const double> u, dalvex::Span<double> f) {
    for (int32_t i = 0; i < n; ++i) {
      const double left = i > 0 ? u[i - 1] : 0.0, right = i + 1 < n ? u[i + 1] : 0.0;
      f[i] = left - 2.0 * u[i] + right + h * h * lambda * std::exp(u[i]);
    }
  };
  // The pattern, counted from 0: the entries (i, i-1), (i, i), (i, i+1).
  std::vector<int32_t> rows, columns;
  for (int32_t i = 0; i < n; ++i) {
    for (int32_t j = i - 1; j <= i + 1; ++j) {
      if (j < 0 || j >= n) continue;
      rows.push_back(i);
      columns.push_back(j);
    }
  }
  auto jacobian = [&](dalvex::Span<const double> u, dalvex::Span<double> values) {
    for (size_t k = 0; k < rows.size(); ++k) {
      const int32_t i = rows[k], j = columns[k];
      values[k] = i != j ? 1.0 : -2.0 + h * h * lambda * std::exp(u[i]);
    }
  };

  dalvex::LeastSquaresOptions options;
  options.residual_tolerance = 1e-12;  // converged when every |F_i| is at most this
  int failures = 0;
  for (bool differences : {false, true}) {
    const dalvex::LeastSquaresProblem problem =
        differences
            ? dalvex::LeastSquaresProblem::WithDifferenceJacobian(n, n, rows, columns, residuals)
            : dalvex::LeastSquaresProblem::WithJacobian(n, n, rows, columns, residuals, jacobian);
    dalvex::LeastSquaresSolver solver(problem, options);
    solver.SetIterationCallback([](const dalvex::IterationReport& r) {
      std::printf("  iteration %d: sum of squares %.3e\n", r.iteration, r.sum_of_squares);
      return dalvex::IterationAction::kContinue;
    });
    std::vector<double> u(n, 0.0);  // the starting point
    const dalvex::LeastSquaresSummary summary = solver.Solve(u);
    std::printf("%s\n", summary.BriefReport().c_str());
    std::printf("u(1/2) = %.10f\n", u[n / 2]);
    failures += summary.converged ? 0 : 1;
  }
  return failures;
}
