// Over-determined least-squares fits of published data whose least sums of
// squares are known (Moré, Garbow and Hillstrom, ACM TOMS 7, 1981).  Residual
// i is y_i - model(t_i; x).  They have no zero-residual solution: a solver
// that insists on a small residual will not stop on its residual test.
#include <cmath>
#include <string>

#include "catalogue.h"

namespace problems {
namespace {

// Enzyme reaction rate: model = x1 (u^2 + u x2) / (u^2 + u x3 + x4).
class KowalikOsborne final : public Problem {
 public:
  KowalikOsborne() : Problem(kM, 4) {}
  std::string Description() const override {
    return "Kowalik-Osborne enzyme rate fit, 11 observations, 4 parameters";
  }
  std::string EquationName(int32_t i) const override { return "obs" + std::to_string(i + 1); }
  void StartingPoint(double* x) const override {
    x[0] = 0.25;
    x[1] = 0.39;
    x[2] = 0.415;
    x[3] = 0.39;
  }
  void Residuals(const double* x, double* f) const override {
    for (int32_t i = 0; i < kM; ++i) {
      const double u = kU[i];
      f[i] = kY[i] - x[0] * (u * u + u * x[1]) / (u * u + u * x[2] + x[3]);
    }
  }
  std::optional<double> KnownMinimum() const override { return 3.07505e-4; }

 protected:
  void Jacobian(const double* x, JacobianSink& s) const override {
    for (int32_t i = 0; i < kM; ++i) {
      const double u = kU[i];
      const double num = u * u + u * x[1];
      const double den = u * u + u * x[2] + x[3];
      const double q = x[0] * num / (den * den);
      s.Add(i + 1, 1, -num / den);
      s.Add(i + 1, 2, -x[0] * u / den);
      s.Add(i + 1, 3, q * u);
      s.Add(i + 1, 4, q);
    }
  }

 private:
  static constexpr int32_t kM = 11;
  static constexpr double kY[kM] = {0.1957, 0.1947, 0.1735, 0.1600, 0.0844, 0.0627,
                                    0.0456, 0.0342, 0.0323, 0.0235, 0.0246};
  static constexpr double kU[kM] = {4.0,   2.0,   1.0, 0.5,    0.25,  0.167,
                                    0.125, 0.100, 0.0833, 0.0714, 0.0625};
};

// Sum of two exponential decays: model = x1 + x2 exp(-t x4) + x3 exp(-t x5),
// t_i = 10 (i - 1).
class Osborne1 final : public Problem {
 public:
  Osborne1() : Problem(kM, 5) {}
  std::string Description() const override {
    return "Osborne's two-exponential decay fit, 33 observations, 5 parameters";
  }
  std::string EquationName(int32_t i) const override { return "obs" + std::to_string(i + 1); }
  void StartingPoint(double* x) const override {
    x[0] = 0.5;
    x[1] = 1.5;
    x[2] = -1.0;
    x[3] = 0.01;
    x[4] = 0.02;
  }
  void Residuals(const double* x, double* f) const override {
    for (int32_t i = 0; i < kM; ++i) {
      const double t = 10.0 * i;
      f[i] = kY[i] - (x[0] + x[1] * std::exp(-t * x[3]) + x[2] * std::exp(-t * x[4]));
    }
  }
  std::optional<double> KnownMinimum() const override { return 5.46489e-5; }

 protected:
  void Jacobian(const double* x, JacobianSink& s) const override {
    for (int32_t i = 0; i < kM; ++i) {
      const double t = 10.0 * i;
      const double e4 = std::exp(-t * x[3]);
      const double e5 = std::exp(-t * x[4]);
      s.Add(i + 1, 1, -1.0);
      s.Add(i + 1, 2, -e4);
      s.Add(i + 1, 3, -e5);
      s.Add(i + 1, 4, t * x[1] * e4);
      s.Add(i + 1, 5, t * x[2] * e5);
    }
  }

 private:
  static constexpr int32_t kM = 33;
  static constexpr double kY[kM] = {
      0.844, 0.908, 0.932, 0.936, 0.925, 0.908, 0.881, 0.850, 0.818, 0.784, 0.751,
      0.718, 0.685, 0.658, 0.628, 0.603, 0.580, 0.558, 0.538, 0.522, 0.506, 0.490,
      0.478, 0.467, 0.457, 0.448, 0.438, 0.431, 0.424, 0.420, 0.414, 0.411, 0.406};
};

}  // namespace

std::unique_ptr<Problem> MakeKowalikOsborne() { return std::make_unique<KowalikOsborne>(); }
std::unique_ptr<Problem> MakeOsborne1() { return std::make_unique<Osborne1>(); }

}  // namespace problems
