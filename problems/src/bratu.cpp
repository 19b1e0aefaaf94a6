// The 2D Bratu problem (solid fuel ignition): -laplace(u) = lambda exp(u) on
// the unit square, u = 0 on its boundary, by the 5-point difference stencil on
// an n x n grid of interior points, h = 1/(n+1).  Solutions exist for lambda
// below the turning point, about 6.808; the start u = 0 is standard.
#include <cmath>
#include <sstream>
#include <string>

#include "catalogue.h"

namespace problems {
namespace {

class Bratu2D final : public Problem {
 public:
  Bratu2D(int32_t n, double lambda) : Problem(n * n, n * n), n_(n), lambda_(lambda) {}

  std::string Description() const override {
    std::ostringstream s;
    s << "2D Bratu problem, " << n_ << " x " << n_ << " grid, lambda = " << lambda_;
    return s.str();
  }
  // Grid point (i, j), i along x and j along y, both from 1, is unknown
  // k = (j - 1) n + i.
  std::string EquationName(int32_t k) const override { return "node" + Point(k); }
  std::string VariableName(int32_t k) const override { return "u" + Point(k); }

  void StartingPoint(double* x) const override {
    for (int32_t k = 0; k < NVars(); ++k) x[k] = 0.0;
  }
  // F = (4 u_P - u_W - u_E - u_S - u_N) / h^2 - lambda exp(u_P), so that the
  // residual at the start is lambda rather than lambda h^2.
  void Residuals(const double* x, double* f) const override {
    const double rh2 = InvH2();
    for (int32_t j = 1; j <= n_; ++j) {
      for (int32_t i = 1; i <= n_; ++i) {
        const double u = At(x, i, j);
        const double lap = 4.0 * u - At(x, i - 1, j) - At(x, i + 1, j) - At(x, i, j - 1) -
                           At(x, i, j + 1);
        f[Index(i, j) - 1] = lap * rh2 - lambda_ * std::exp(u);
      }
    }
  }
  // A solution exists up to the turning point of the discrete problem, which
  // grows with n toward the continuous one (about 6.808): 16/e for n = 1.
  std::optional<double> KnownMinimum() const override {
    if (lambda_ >= 0.0 && lambda_ <= SolvableUpTo(n_)) return 0.0;
    return std::nullopt;
  }

 protected:
  // Row by row, each row's entries in column order (S, W, P, E, N).
  void Jacobian(const double* x, JacobianSink& s) const override {
    const double rh2 = InvH2();
    for (int32_t j = 1; j <= n_; ++j) {
      for (int32_t i = 1; i <= n_; ++i) {
        const int32_t p = Index(i, j);
        if (j > 1) s.Add(p, Index(i, j - 1), -rh2);
        if (i > 1) s.Add(p, Index(i - 1, j), -rh2);
        s.Add(p, p, 4.0 * rh2 - lambda_ * std::exp(x[p - 1]));
        if (i < n_) s.Add(p, Index(i + 1, j), -rh2);
        if (j < n_) s.Add(p, Index(i, j + 1), -rh2);
      }
    }
  }

 private:
  int32_t Index(int32_t i, int32_t j) const { return (j - 1) * n_ + i; }
  // u at grid point (i, j), zero on the boundary.
  double At(const double* x, int32_t i, int32_t j) const {
    if (i < 1 || i > n_ || j < 1 || j > n_) return 0.0;
    return x[Index(i, j) - 1];
  }
  // Lower bounds of the discrete turning point, found by continuation of the
  // solution branch in its mean value and rounded down.
  static double SolvableUpTo(int32_t n) {
    if (n == 1) return 5.88;
    if (n == 2) return 6.62;
    if (n == 3) return 6.69;
    if (n < 6) return 6.73;
    if (n < 8) return 6.77;
    if (n < 10) return 6.78;
    if (n < 16) return 6.79;
    return 6.8;
  }
  double InvH2() const { return static_cast<double>(n_ + 1) * (n_ + 1); }
  std::string Point(int32_t k) const {
    return "(" + std::to_string(k % n_ + 1) + "," + std::to_string(k / n_ + 1) + ")";
  }

  int32_t n_;
  double lambda_;
};

}  // namespace

std::unique_ptr<Problem> MakeBratu2D(int32_t n, double lambda) {
  return std::make_unique<Bratu2D>(n, lambda);
}

}  // namespace problems
