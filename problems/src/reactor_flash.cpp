// A process model written for this library: a train of continuous stirred-tank
// reactors with the reversible first-order exothermic reaction A <-> B in an
// inert solvent S, followed by a flash drum that splits the product into
// vapour and liquid.
//
// Tank k (k = 1..K), unknowns cA_k, cB_k (kmol/m3) and T_k (K), inlet = outlet
// of tank k-1 (the feed for k = 1), rate r = k0 exp(-E/(R T)) (cA - cB/Keq).
// The back reaction keeps cA near its equilibrium share however long the
// train, so no concentration underflows:
//   A balance   (q (cA_in - cA) - V r) / q                             = 0
//   B balance   (q (cB_in - cB) + V r) / q                             = 0
//   energy      (q rho cp (T_in - T) + (-dH) V r - UA (T - Tc)) / (q rho cp) = 0
// so the mass balances are in kmol/m3 and the energy balance in kelvin.
//
// Flash drum at fixed temperature and pressure, constant K-values, feed =
// the last tank's outlet (solvent concentration unchanged), unknowns vapour
// and liquid flows V, L (kmol/s) and mole fractions x_i, y_i, i = A, B, S:
//   balance     c_i - (V y_i + L x_i) / q = 0
//   equilibrium ln y_i - ln x_i - ln K_i  = 0
//   sum_i x_i - 1 = 0,  sum_i y_i - 1 = 0
//
// The logarithms and the Arrhenius exponential are evaluated as written: a
// step that makes a mole fraction negative yields NaN, and a temperature that
// goes through zero yields Inf.  A solver sees those and must step back.
//
// The heat generated can never outgrow the heat removed: with the extent
// q (cA_in - cA) the generation slope in T is at most
// (-dH) q cA_feed E / (4 R T^2) = 2.0e6 / T^2 kW/K, below the removal slope
// q rho cp + UA = 60 kW/K for every T above 183 K.  So each tank has one
// steady state and the model one solution, found independently by solving
// tank after tank and then the flash by its Rachford-Rice equation.  The
// K-values keep the drum two-phase for any split of A and B: A and B are
// lighter than the solvent, which makes up 5/6 of the feed.
#include <cmath>
#include <string>

#include "catalogue.h"

namespace problems {
namespace {

// Plant data.
constexpr double kQ = 0.01;         // volumetric flow, m3/s
constexpr double kVol = 1.0;        // tank volume, m3
constexpr double kK0 = 1.7e8;       // pre-exponential factor, 1/s
constexpr double kKeq = 20.0;       // equilibrium ratio cB/cA
constexpr double kEoverR = 8000.0;  // activation temperature, K
constexpr double kRhoCp = 4000.0;   // volumetric heat capacity, kJ/(m3 K)
constexpr double kMinusDH = 5.0e4;  // heat of reaction, kJ/kmol released
constexpr double kUA = 20.0;        // cooling duty per kelvin, kW/K
constexpr double kTc = 330.0;       // coolant temperature, K
constexpr double kFeedA = 2.0;      // feed concentrations, kmol/m3
constexpr double kFeedB = 0.0;
constexpr double kSolvent = 10.0;
constexpr double kFeedT = 350.0;    // feed temperature, K
constexpr double kKvalue[3] = {5.0, 2.5, 0.8};  // drum K-values of A, B, S
constexpr const char* kComponent[3] = {"A", "B", "S"};

double RateConstant(double t) { return kK0 * std::exp(-kEoverR / t); }

class ReactorFlash final : public Problem {
 public:
  explicit ReactorFlash(int32_t tanks)
      : Problem(3 * tanks + 8, 3 * tanks + 8), tanks_(tanks) {}

  std::string Description() const override {
    return std::to_string(tanks_) +
           " stirred-tank reactors (A <-> B, Arrhenius, cooled) and a flash drum with "
           "log-form equilibrium";
  }
  std::string EquationName(int32_t i) const override;
  std::string VariableName(int32_t j) const override;
  void StartingPoint(double* x) const override;
  void Bounds(double* lower, double* upper) const override;
  void Residuals(const double* x, double* f) const override;
  bool KnownSolution(double* x) const override;
  std::optional<double> KnownMinimum() const override { return 0.0; }

 protected:
  void Jacobian(const double* x, JacobianSink& s) const override;

 private:
  // Positions from 0: tank k from 1 holds cA, cB, T at 3(k-1) + 0, 1, 2; the
  // flash unknowns follow: V, L, x_A, x_B, x_S, y_A, y_B, y_S.  Equations are
  // numbered alike: tank balances, then the flash's three balances, three
  // equilibria, sum of x, sum of y.
  int32_t Tank(int32_t k) const { return 3 * (k - 1); }
  int32_t FlashV() const { return 3 * tanks_; }
  int32_t FlashL() const { return 3 * tanks_ + 1; }
  int32_t FlashX(int32_t c) const { return 3 * tanks_ + 2 + c; }
  int32_t FlashY(int32_t c) const { return 3 * tanks_ + 5 + c; }
  // Concentration of component c entering the flash.
  double FlashFeed(const double* x, int32_t c) const {
    return c == 2 ? kSolvent : x[Tank(tanks_) + c];
  }
  void TankJacobian(const double* x, int32_t k, JacobianSink& s) const;
  void FlashJacobian(const double* x, JacobianSink& s) const;

  int32_t tanks_;
};

std::string ReactorFlash::EquationName(int32_t i) const {
  static const char* kTankEq[3] = {"A_balance", "B_balance", "energy"};
  if (i < 3 * tanks_) return "tank" + std::to_string(i / 3 + 1) + "." + kTankEq[i % 3];
  const int32_t e = i - 3 * tanks_;
  if (e < 3) return std::string("flash.") + kComponent[e] + "_balance";
  if (e < 6) return std::string("flash.") + kComponent[e - 3] + "_equilibrium";
  return e == 6 ? "flash.sum_x" : "flash.sum_y";
}

std::string ReactorFlash::VariableName(int32_t j) const {
  static const char* kTankVar[3] = {"cA", "cB", "T"};
  if (j < 3 * tanks_) return "tank" + std::to_string(j / 3 + 1) + "." + kTankVar[j % 3];
  const int32_t v = j - 3 * tanks_;
  if (v == 0) return "flash.V";
  if (v == 1) return "flash.L";
  if (v < 5) return std::string("flash.x") + kComponent[v - 2];
  return std::string("flash.y") + kComponent[v - 5];
}

// Every tank at feed conditions; the drum half vapour, with equal fractions.
void ReactorFlash::StartingPoint(double* x) const {
  for (int32_t k = 1; k <= tanks_; ++k) {
    x[Tank(k)] = kFeedA;
    x[Tank(k) + 1] = kFeedB;
    x[Tank(k) + 2] = kFeedT;
  }
  const double total = kQ * (kFeedA + kFeedB + kSolvent);
  x[FlashV()] = 0.5 * total;
  x[FlashL()] = 0.5 * total;
  for (int32_t c = 0; c < 3; ++c) x[FlashX(c)] = x[FlashY(c)] = 1.0 / 3.0;
}

void ReactorFlash::Bounds(double* lower, double* upper) const {
  for (int32_t k = 1; k <= tanks_; ++k) {
    lower[Tank(k)] = lower[Tank(k) + 1] = 0.0;
    upper[Tank(k)] = upper[Tank(k) + 1] = 20.0;
    lower[Tank(k) + 2] = 250.0;
    upper[Tank(k) + 2] = 600.0;
  }
  for (int32_t j = FlashV(); j < NVars(); ++j) {
    lower[j] = 0.0;
    upper[j] = j <= FlashL() ? 10.0 : 1.0;
  }
}

void ReactorFlash::Residuals(const double* x, double* f) const {
  for (int32_t k = 1; k <= tanks_; ++k) {
    const int32_t p = Tank(k);
    const double ca_in = k > 1 ? x[p - 3] : kFeedA;
    const double cb_in = k > 1 ? x[p - 2] : kFeedB;
    const double t_in = k > 1 ? x[p - 1] : kFeedT;
    const double ca = x[p], cb = x[p + 1], t = x[p + 2];
    const double vr = kVol * RateConstant(t) * (ca - cb / kKeq);
    f[p] = ca_in - ca - vr / kQ;
    f[p + 1] = cb_in - cb + vr / kQ;
    f[p + 2] = t_in - t + (kMinusDH * vr - kUA * (t - kTc)) / (kQ * kRhoCp);
  }
  const int32_t r = 3 * tanks_;
  const double v = x[FlashV()], l = x[FlashL()];
  double sum_x = 0.0, sum_y = 0.0;
  for (int32_t c = 0; c < 3; ++c) {
    const double xc = x[FlashX(c)], yc = x[FlashY(c)];
    f[r + c] = FlashFeed(x, c) - (v * yc + l * xc) / kQ;
    f[r + 3 + c] = std::log(yc) - std::log(xc) - std::log(kKvalue[c]);
    sum_x += xc;
    sum_y += yc;
  }
  f[r + 6] = sum_x - 1.0;
  f[r + 7] = sum_y - 1.0;
}

void ReactorFlash::Jacobian(const double* x, JacobianSink& s) const {
  for (int32_t k = 1; k <= tanks_; ++k) TankJacobian(x, k, s);
  FlashJacobian(x, s);
}

// Rows of tank k; positions (row, col) from 1.
void ReactorFlash::TankJacobian(const double* x, int32_t k, JacobianSink& s) const {
  const int32_t p = Tank(k);
  const double drive = x[p] - x[p + 1] / kKeq, t = x[p + 2];
  const double rk = RateConstant(t);
  const double drk = rk * kEoverR / (t * t);  // d k(T) / dT
  const double heat = kMinusDH / (kQ * kRhoCp);
  const int32_t ra = p + 1, rb = p + 2, re = p + 3;  // rows
  const int32_t ca_col = p + 1, cb_col = p + 2, t_col = p + 3;
  // d(V r / q) by cA, cB and T
  const double by_ca = kVol * rk / kQ, by_cb = -by_ca / kKeq, by_t = kVol * drive * drk / kQ;
  if (k > 1) s.Add(ra, ca_col - 3, 1.0);
  s.Add(ra, ca_col, -1.0 - by_ca);
  s.Add(ra, cb_col, -by_cb);
  s.Add(ra, t_col, -by_t);
  if (k > 1) s.Add(rb, cb_col - 3, 1.0);
  s.Add(rb, ca_col, by_ca);
  s.Add(rb, cb_col, -1.0 + by_cb);
  s.Add(rb, t_col, by_t);
  if (k > 1) s.Add(re, t_col - 3, 1.0);
  s.Add(re, ca_col, heat * kQ * by_ca);
  s.Add(re, cb_col, heat * kQ * by_cb);
  s.Add(re, t_col, -1.0 + heat * kQ * by_t - kUA / (kQ * kRhoCp));
}

void ReactorFlash::FlashJacobian(const double* x, JacobianSink& s) const {
  const int32_t r = 3 * tanks_ + 1;  // first flash row, from 1
  const double v = x[FlashV()], l = x[FlashL()];
  for (int32_t c = 0; c < 3; ++c) {
    if (c < 2) s.Add(r + c, Tank(tanks_) + c + 1, 1.0);
    s.Add(r + c, FlashV() + 1, -x[FlashY(c)] / kQ);
    s.Add(r + c, FlashL() + 1, -x[FlashX(c)] / kQ);
    s.Add(r + c, FlashX(c) + 1, -l / kQ);
    s.Add(r + c, FlashY(c) + 1, -v / kQ);
  }
  for (int32_t c = 0; c < 3; ++c) {
    s.Add(r + 3 + c, FlashX(c) + 1, -1.0 / x[FlashX(c)]);
    s.Add(r + 3 + c, FlashY(c) + 1, 1.0 / x[FlashY(c)]);
  }
  for (int32_t c = 0; c < 3; ++c) s.Add(r + 6, FlashX(c) + 1, 1.0);
  for (int32_t c = 0; c < 3; ++c) s.Add(r + 7, FlashY(c) + 1, 1.0);
}

// Bisection for the root of a function that is positive at lo and negative
// at hi; 200 halvings reach the resolution of a double from any bracket.
template <typename F>
double Bisect(F f, double lo, double hi) {
  for (int i = 0; i < 200; ++i) {
    const double mid = 0.5 * (lo + hi);
    if (mid == lo || mid == hi) break;
    (f(mid) > 0.0 ? lo : hi) = mid;
  }
  return 0.5 * (lo + hi);
}

// Tank by tank: with cB = cA_in + cB_in - cA (B is made only from A), the A
// balance at a given T gives cA = (q cA_in + V k s / Keq) / (q + V k (1 + 1/Keq)),
// s = cA_in + cB_in; the energy balance is then one decreasing function of T,
// solved by bisection.  The drum follows from the Rachford-Rice equation
// sum_i z_i (K_i - 1) / (1 + beta (K_i - 1)) = 0 for the vapour fraction beta.
bool ReactorFlash::KnownSolution(double* x) const {
  double ca_in = kFeedA, cb_in = kFeedB, t_in = kFeedT;
  for (int32_t k = 1; k <= tanks_; ++k) {
    const double total_in = ca_in + cb_in;
    auto ca_at = [&](double t) {
      const double vk = kVol * RateConstant(t);
      return (kQ * ca_in + vk * total_in / kKeq) / (kQ + vk * (1.0 + 1.0 / kKeq));
    };
    auto energy = [&](double t) {
      const double ca = ca_at(t);
      const double vr = kVol * RateConstant(t) * (ca - (total_in - ca) / kKeq);
      return kQ * kRhoCp * (t_in - t) + kMinusDH * vr - kUA * (t - kTc);
    };
    const double t = Bisect(energy, 200.0, 1000.0);
    const double ca = ca_at(t);
    x[Tank(k)] = ca;
    x[Tank(k) + 1] = total_in - ca;
    x[Tank(k) + 2] = t;
    ca_in = ca;
    cb_in = x[Tank(k) + 1];
    t_in = t;
  }
  const double feed[3] = {ca_in, cb_in, kSolvent};
  const double total = feed[0] + feed[1] + feed[2];
  auto rachford_rice = [&](double beta) {
    double g = 0.0;
    for (int32_t c = 0; c < 3; ++c)
      g += feed[c] / total * (kKvalue[c] - 1.0) / (1.0 + beta * (kKvalue[c] - 1.0));
    return g;
  };
  if (!(rachford_rice(0.0) > 0.0 && rachford_rice(1.0) < 0.0)) return false;  // one phase
  const double beta = Bisect(rachford_rice, 0.0, 1.0);
  x[FlashV()] = beta * kQ * total;
  x[FlashL()] = (1.0 - beta) * kQ * total;
  for (int32_t c = 0; c < 3; ++c) {
    x[FlashX(c)] = feed[c] / total / (1.0 + beta * (kKvalue[c] - 1.0));
    x[FlashY(c)] = kKvalue[c] * x[FlashX(c)];
  }
  return true;
}

}  // namespace

std::unique_ptr<Problem> MakeReactorFlash(int32_t tanks) {
  return std::make_unique<ReactorFlash>(tanks);
}

}  // namespace problems
