// The classic small test systems, with their standard starting points.
#include <cmath>
#include <string>
#include <vector>

#include "catalogue.h"

namespace problems {
namespace {

constexpr double kPi = 3.14159265358979323846;

// F1 = 10 (x2 - x1^2), F2 = 1 - x1; zero at (1, 1).
class Rosenbrock final : public Problem {
 public:
  Rosenbrock() : Problem(2, 2) {}
  std::string Description() const override {
    return "Rosenbrock's banana valley, 2 equations, start (-1.2, 1)";
  }
  void StartingPoint(double* x) const override {
    x[0] = -1.2;
    x[1] = 1.0;
  }
  void Residuals(const double* x, double* f) const override {
    f[0] = 10.0 * (x[1] - x[0] * x[0]);
    f[1] = 1.0 - x[0];
  }
  bool KnownSolution(double* x) const override {
    x[0] = x[1] = 1.0;
    return true;
  }
  std::optional<double> KnownMinimum() const override { return 0.0; }

 protected:
  void Jacobian(const double* x, JacobianSink& s) const override {
    s.Add(1, 1, -20.0 * x[0]);
    s.Add(1, 2, 10.0);
    s.Add(2, 1, -1.0);
  }
};

// Singular Jacobian at the solution x = 0, which Newton-like methods reach
// only linearly.
class PowellSingular final : public Problem {
 public:
  PowellSingular() : Problem(4, 4) {}
  std::string Description() const override {
    return "Powell's singular function, 4 equations, singular Jacobian at the root";
  }
  void StartingPoint(double* x) const override {
    x[0] = 3.0;
    x[1] = -1.0;
    x[2] = 0.0;
    x[3] = 1.0;
  }
  void Residuals(const double* x, double* f) const override {
    f[0] = x[0] + 10.0 * x[1];
    f[1] = std::sqrt(5.0) * (x[2] - x[3]);
    f[2] = (x[1] - 2.0 * x[2]) * (x[1] - 2.0 * x[2]);
    f[3] = std::sqrt(10.0) * (x[0] - x[3]) * (x[0] - x[3]);
  }
  bool KnownSolution(double* x) const override {
    for (int j = 0; j < 4; ++j) x[j] = 0.0;
    return true;
  }
  std::optional<double> KnownMinimum() const override { return 0.0; }

 protected:
  void Jacobian(const double* x, JacobianSink& s) const override {
    const double d23 = 2.0 * (x[1] - 2.0 * x[2]);
    const double d14 = 2.0 * std::sqrt(10.0) * (x[0] - x[3]);
    s.Add(1, 1, 1.0);
    s.Add(1, 2, 10.0);
    s.Add(2, 3, std::sqrt(5.0));
    s.Add(2, 4, -std::sqrt(5.0));
    s.Add(3, 2, d23);
    s.Add(3, 3, -2.0 * d23);
    s.Add(4, 1, d14);
    s.Add(4, 4, -d14);
  }
};

// A helix: F1 = 10 (x3 - 10 theta(x1, x2)), F2 = 10 (|(x1, x2)| - 1), F3 = x3,
// with theta the polar angle in turns, taken in (-1/4, 3/4); zero at (1, 0, 0).
class HelicalValley final : public Problem {
 public:
  HelicalValley() : Problem(3, 3) {}
  std::string Description() const override {
    return "Fletcher and Powell's helical valley, 3 equations, start (-1, 0, 0)";
  }
  void StartingPoint(double* x) const override {
    x[0] = -1.0;
    x[1] = 0.0;
    x[2] = 0.0;
  }
  void Residuals(const double* x, double* f) const override {
    f[0] = 10.0 * (x[2] - 10.0 * Theta(x[0], x[1]));
    f[1] = 10.0 * (std::hypot(x[0], x[1]) - 1.0);
    f[2] = x[2];
  }
  bool KnownSolution(double* x) const override {
    x[0] = 1.0;
    x[1] = 0.0;
    x[2] = 0.0;
    return true;
  }
  std::optional<double> KnownMinimum() const override { return 0.0; }

 protected:
  void Jacobian(const double* x, JacobianSink& s) const override {
    const double r2 = x[0] * x[0] + x[1] * x[1];
    const double r = std::sqrt(r2);
    // d theta / dx1 = -x2 / (2 pi r^2), d theta / dx2 = x1 / (2 pi r^2)
    s.Add(1, 1, 100.0 * x[1] / (2.0 * kPi * r2));
    s.Add(1, 2, -100.0 * x[0] / (2.0 * kPi * r2));
    s.Add(1, 3, 10.0);
    s.Add(2, 1, 10.0 * x[0] / r);
    s.Add(2, 2, 10.0 * x[1] / r);
    s.Add(3, 3, 1.0);
  }

 private:
  static double Theta(double x1, double x2) {
    if (x1 > 0.0) return std::atan(x2 / x1) / (2.0 * kPi);
    if (x1 < 0.0) return std::atan(x2 / x1) / (2.0 * kPi) + 0.5;
    return x2 >= 0.0 ? 0.25 : -0.25;
  }
};

// Chebyquad: F_i = mean_j T*_i(x_j) - integral of T*_i over [0, 1], with T*_i
// the Chebyshev polynomial shifted to [0, 1].  The integral is 0 for odd i and
// -1 / (i^2 - 1) for even i.  Consistent for n = 1..7 and 9; the Jacobian is
// dense.
class Chebyquad final : public Problem {
 public:
  explicit Chebyquad(int32_t n) : Problem(n, n) {}
  std::string Description() const override {
    return "Chebyquad, n = " + std::to_string(NVars()) +
           " (Gauss-Chebyshev abscissae; consistent for n <= 7 and n = 9)";
  }
  void StartingPoint(double* x) const override {
    const int32_t n = NVars();
    for (int32_t j = 0; j < n; ++j) x[j] = static_cast<double>(j + 1) / (n + 1);
  }
  void Residuals(const double* x, double* f) const override {
    const int32_t n = NVars();
    std::vector<double> t(n + 1), dt(n + 1);
    for (int32_t i = 0; i < n; ++i) f[i] = 0.0;
    for (int32_t j = 0; j < n; ++j) {
      Shifted(x[j], t, dt);
      for (int32_t i = 1; i <= n; ++i) f[i - 1] += t[i] / n;
    }
    for (int32_t i = 1; i <= n; ++i)
      if (i % 2 == 0) f[i - 1] += 1.0 / (static_cast<double>(i) * i - 1.0);
  }
  bool KnownSolution(double* x) const override {
    // The abscissae of the equal-weight quadrature rules, for the two
    // smallest sizes where they have a closed form.
    if (NVars() == 2) {
      x[0] = 0.5 - 0.5 / std::sqrt(3.0);
      x[1] = 0.5 + 0.5 / std::sqrt(3.0);
      return true;
    }
    if (NVars() == 3) {
      x[0] = 0.5 - std::sqrt(2.0) / 4.0;
      x[1] = 0.5;
      x[2] = 0.5 + std::sqrt(2.0) / 4.0;
      return true;
    }
    return false;
  }
  std::optional<double> KnownMinimum() const override {
    // Published least sums of squares of the inconsistent small sizes.
    const int32_t n = NVars();
    if (n <= 7 || n == 9) return 0.0;
    if (n == 8) return 3.51687e-3;
    if (n == 10) return 6.50395e-3;
    return std::nullopt;
  }

 protected:
  void Jacobian(const double* x, JacobianSink& s) const override {
    const int32_t n = NVars();
    std::vector<double> t(n + 1), dt(n + 1);
    for (int32_t j = 0; j < n; ++j) {
      Shifted(x[j], t, dt);
      for (int32_t i = 1; i <= n; ++i) s.Add(i, j + 1, dt[i] / n);
    }
  }

 private:
  // t[k] = T_k(2x - 1) and dt[k] = its derivative in x, k = 0..n, from the
  // three-term recurrence T_{k+1} = 2y T_k - T_{k-1}.
  static void Shifted(double x, std::vector<double>& t, std::vector<double>& dt) {
    const double y = 2.0 * x - 1.0;
    t[0] = 1.0;
    dt[0] = 0.0;
    if (t.size() < 2) return;
    t[1] = y;
    dt[1] = 2.0;
    for (std::size_t k = 1; k + 1 < t.size(); ++k) {
      t[k + 1] = 2.0 * y * t[k] - t[k - 1];
      dt[k + 1] = 4.0 * t[k] + 2.0 * y * dt[k] - dt[k - 1];
    }
  }
};

}  // namespace

std::unique_ptr<Problem> MakeRosenbrock() { return std::make_unique<Rosenbrock>(); }
std::unique_ptr<Problem> MakePowellSingular() { return std::make_unique<PowellSingular>(); }
std::unique_ptr<Problem> MakeHelicalValley() { return std::make_unique<HelicalValley>(); }
std::unique_ptr<Problem> MakeChebyquad(int32_t n) { return std::make_unique<Chebyquad>(n); }

}  // namespace problems
