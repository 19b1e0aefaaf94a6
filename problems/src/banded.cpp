// Systems with banded Jacobians, of any size: Broyden's tridiagonal and
// banded functions and the discrete boundary value problem.
#include <algorithm>
#include <string>

#include "catalogue.h"

namespace problems {
namespace {

// F_i = (3 - 2 x_i) x_i - x_{i-1} - 2 x_{i+1} + 1, with x_0 = x_{n+1} = 0.
class BroydenTridiagonal final : public Problem {
 public:
  explicit BroydenTridiagonal(int32_t n) : Problem(n, n) {}
  std::string Description() const override {
    return "Broyden tridiagonal function, n = " + std::to_string(NVars());
  }
  void StartingPoint(double* x) const override { std::fill(x, x + NVars(), -1.0); }
  void Residuals(const double* x, double* f) const override {
    const int32_t n = NVars();
    for (int32_t i = 0; i < n; ++i) {
      const double left = i > 0 ? x[i - 1] : 0.0;
      const double right = i + 1 < n ? x[i + 1] : 0.0;
      f[i] = (3.0 - 2.0 * x[i]) * x[i] - left - 2.0 * right + 1.0;
    }
  }
  std::optional<double> KnownMinimum() const override { return 0.0; }

 protected:
  void Jacobian(const double* x, JacobianSink& s) const override {
    const int32_t n = NVars();
    for (int32_t i = 1; i <= n; ++i) {
      if (i > 1) s.Add(i, i - 1, -1.0);
      s.Add(i, i, 3.0 - 4.0 * x[i - 1]);
      if (i < n) s.Add(i, i + 1, -2.0);
    }
  }
};

// F_i = x_i (2 + 5 x_i^2) + 1 - sum_{j in J_i} x_j (1 + x_j),
// J_i = { j != i : max(1, i - 5) <= j <= min(n, i + 1) }.
class BroydenBanded final : public Problem {
 public:
  explicit BroydenBanded(int32_t n) : Problem(n, n) {}
  std::string Description() const override {
    return "Broyden banded function (5 below, 1 above the diagonal), n = " +
           std::to_string(NVars());
  }
  void StartingPoint(double* x) const override { std::fill(x, x + NVars(), -1.0); }
  void Residuals(const double* x, double* f) const override {
    const int32_t n = NVars();
    for (int32_t i = 1; i <= n; ++i) {
      const double xi = x[i - 1];
      double sum = 0.0;
      for (int32_t j = std::max(1, i - 5); j <= std::min(n, i + 1); ++j)
        if (j != i) sum += x[j - 1] * (1.0 + x[j - 1]);
      f[i - 1] = xi * (2.0 + 5.0 * xi * xi) + 1.0 - sum;
    }
  }
  std::optional<double> KnownMinimum() const override { return 0.0; }

 protected:
  void Jacobian(const double* x, JacobianSink& s) const override {
    const int32_t n = NVars();
    for (int32_t i = 1; i <= n; ++i) {
      for (int32_t j = std::max(1, i - 5); j <= std::min(n, i + 1); ++j) {
        const double xj = x[j - 1];
        s.Add(i, j, j == i ? 2.0 + 15.0 * xj * xj : -(1.0 + 2.0 * xj));
      }
    }
  }
};

// Finite differences for u'' = (u + t + 1)^3 / 2 on [0, 1], u(0) = u(1) = 0:
// F_i = 2 x_i - x_{i-1} - x_{i+1} + h^2 (x_i + t_i + 1)^3 / 2, h = 1/(n+1).
class DiscreteBoundaryValue final : public Problem {
 public:
  explicit DiscreteBoundaryValue(int32_t n) : Problem(n, n) {}
  std::string Description() const override {
    return "Discrete boundary value problem, n = " + std::to_string(NVars()) +
           " interior points";
  }
  void StartingPoint(double* x) const override {
    for (int32_t i = 1; i <= NVars(); ++i) {
      const double t = i * Step();
      x[i - 1] = t * (t - 1.0);
    }
  }
  void Residuals(const double* x, double* f) const override {
    const int32_t n = NVars();
    const double h = Step();
    for (int32_t i = 1; i <= n; ++i) {
      const double left = i > 1 ? x[i - 2] : 0.0;
      const double right = i < n ? x[i] : 0.0;
      const double c = x[i - 1] + i * h + 1.0;
      f[i - 1] = 2.0 * x[i - 1] - left - right + 0.5 * h * h * c * c * c;
    }
  }
  std::optional<double> KnownMinimum() const override { return 0.0; }

 protected:
  void Jacobian(const double* x, JacobianSink& s) const override {
    const int32_t n = NVars();
    const double h = Step();
    for (int32_t i = 1; i <= n; ++i) {
      const double c = x[i - 1] + i * h + 1.0;
      if (i > 1) s.Add(i, i - 1, -1.0);
      s.Add(i, i, 2.0 + 1.5 * h * h * c * c);
      if (i < n) s.Add(i, i + 1, -1.0);
    }
  }

 private:
  double Step() const { return 1.0 / (NVars() + 1); }
};

}  // namespace

std::unique_ptr<Problem> MakeBroydenTridiagonal(int32_t n) {
  return std::make_unique<BroydenTridiagonal>(n);
}
std::unique_ptr<Problem> MakeBroydenBanded(int32_t n) {
  return std::make_unique<BroydenBanded>(n);
}
std::unique_ptr<Problem> MakeDiscreteBoundaryValue(int32_t n) {
  return std::make_unique<DiscreteBoundaryValue>(n);
}

}  // namespace problems
