// Sparse Jacobian by grouped differences (reverse communication).
//
// Columns that share no row form a group and are perturbed together, so one
// residual evaluation yields a difference quotient for every column of the
// group (Curtis, Powell and Reid). In the central mode each variable's step
// is refined between passes so that the truncation error estimate (half the
// difference of the forward and backward quotients) stays within a wanted
// ratio of the rounding error estimate.
//
// Layout of the caller's arrays while the routine runs:
//   iwd(1..G+1)      start of each group in the column list, then one past
//                    the end of the list (G groups, G <= N)
//   iwd(N+2..)       the column list, group after group
//   wd(1..M)         base residuals (row marks while the groups are formed)
//   wd(M+1..M+N)     base point (column marks while the groups are formed)
//   wd(M+N+1..M+2N)  largest error ratio of each column in this pass
//   isave            pass number, group under evaluation, number of groups
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "ns23_layout.h"
#include "pemric/ns23_routines.h"

namespace pemric {
namespace {

constexpr int32_t kMaxPasses = 60;
constexpr int32_t kFreePasses = 5;  // passes in which a shrinking step may still ask again
// The relative change of a step below which it is left alone: 0.001 as a
// single-precision constant, widened.
constexpr double kStepTolerance = 0.0010000000474974513;

// The step h moved so that x + h is exactly representable next to |x|.
double Representable(double h, double abs_x) { return (h + abs_x) - abs_x; }

// The routine's arguments viewed from 1; NS23DiffJacobian fills it by name.
struct DiffArrays {
  int32_t m = 0, n = 0;
  OneBased<const int32_t> irn;
  OneBased<int32_t> ip;
  OneBased<double> h, x, f;
  const double* hmaxv = nullptr;
  OneBased<double> fjac;
  OneBased<int32_t> iwd;
  OneBased<double> wd;
  OneBased<const int32_t> icntld;
  OneBased<const double> cntld;
  OneBased<int32_t> isave;

  int32_t First(int32_t j) const { return std::abs(ip(j)); }
  int32_t Last(int32_t j) const { return std::abs(ip(j + 1)) - 1; }
  double HMax(int32_t j) const { return hmaxv[0] > 0.0 ? hmaxv[j - 1] : -hmaxv[0]; }
  double Base(int32_t i) const { return wd(i); }
  double BaseX(int32_t j) const { return wd(m + j); }
  double& Ratio(int32_t j) const { return wd(int64_t{m} + n + j); }
  bool Central() const { return icntld(kIcntldScheme) != 1; }
  // Columns of group g occupy iwd(iwd(g) .. iwd(g+1) - 1).
  int32_t GroupBegin(int32_t g) const { return iwd(g); }
  int32_t GroupEnd(int32_t g) const { return iwd(g + 1); }
};

// Greedy grouping: each pass over the columns takes, in order, every column
// not yet grouped whose rows are all unmarked, and marks its rows.
// Example: columns {1,2}, {2,3}, {4}, {3,4} (rows) give groups (1,3), (2), (4).
void FormGroups(const DiffArrays& a) {
  for (int32_t j = 1; j <= a.n; ++j) a.wd(a.m + j) = 0.0;
  int32_t pos = a.n + 2;
  int32_t groups = 0;
  for (;;) {
    for (int32_t i = 1; i <= a.m; ++i) a.wd(i) = 0.0;
    const int32_t begin = pos;
    for (int32_t j = 1; j <= a.n; ++j) {
      if (a.First(j) > a.Last(j) || a.wd(a.m + j) != 0.0) continue;
      bool clash = false;
      for (int32_t k = a.First(j); k <= a.Last(j) && !clash; ++k) clash = a.wd(a.irn(k)) != 0.0;
      if (clash) continue;
      for (int32_t k = a.First(j); k <= a.Last(j); ++k) a.wd(a.irn(k)) = 1.0;
      a.wd(a.m + j) = 1.0;
      a.iwd(pos++) = j;
    }
    if (pos == begin) break;
    a.iwd(++groups) = begin;
  }
  a.iwd(groups + 1) = pos;
}

// The number of groups: the first g whose start is the end of the list.
int32_t CountGroups(const DiffArrays& a) {
  int32_t listed = 0;
  for (int32_t j = 1; j <= a.n; ++j) listed += a.First(j) <= a.Last(j) ? 1 : 0;
  const int32_t end = a.n + 2 + listed;
  int32_t g = 1;
  while (g <= a.n && a.iwd(g) != end) ++g;
  return g - 1;
}

void StartPass(const DiffArrays& a) {
  a.isave(kIsavePass) += 1;
  for (int32_t j = 1; j <= a.n; ++j) a.Ratio(j) = 1.0;
}

void ClampInitialSteps(const DiffArrays& a) {
  for (int32_t j = 1; j <= a.n; ++j) {
    const double xj = a.x(j);
    if (a.Central()) {
      const double hmax = a.HMax(j);
      const double ax = std::fabs(xj);
      double hj = std::min(a.h(j), hmax);
      hj = std::max(hj, a.cntld(kCntldStepFloor) * hmax);
      hj = std::max(hj, a.cntld(kCntldVariableError) * ax);
      a.h(j) = Representable(hj, ax);
    }
    a.wd(a.m + j) = xj;
  }
}

// A position given more than once in a column must not get the derivative
// once per copy, since the copies are summed: the first copy takes it and
// the others get 0. The caller's residuals of a group's rows are not needed
// once read (each row belongs to one column of the group, and F is supplied
// afresh for every evaluation and restored at the end), so a row already
// read is marked in F itself, with a NaN of a payload that no arithmetic
// produces (a residual that is NaN in its own right still yields a NaN
// quotient, which the caller rejects).
constexpr uint64_t kRowReadBits = 0x7FF4D1FF0000A5A5ULL;
double RowReadMark() {
  double v;
  std::memcpy(&v, &kRowReadBits, sizeof v);
  return v;
}
bool AlreadyRead(double f) {
  uint64_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return bits == kRowReadBits;
}

void AbsorbForward(const DiffArrays& a, int32_t g) {
  for (int32_t c = a.GroupBegin(g); c < a.GroupEnd(g); ++c) {
    const int32_t j = a.iwd(c);
    a.x(j) = a.BaseX(j);
    const double hj = a.h(j);
    for (int32_t k = a.First(j); k <= a.Last(j); ++k) {
      const int32_t i = a.irn(k);
      a.fjac(k) = AlreadyRead(a.f(i)) ? 0.0 : (a.f(i) - a.Base(i)) / hj;
      a.f(i) = RowReadMark();
    }
  }
}

void AbsorbBackward(const DiffArrays& a, int32_t g) {
  const double rel_f = a.cntld(kCntldResidualError);
  const double rel_x = a.cntld(kCntldVariableError);
  for (int32_t c = a.GroupBegin(g); c < a.GroupEnd(g); ++c) {
    const int32_t j = a.iwd(c);
    a.x(j) = a.BaseX(j);
    const double hj = a.h(j);
    const double ax = std::fabs(a.x(j));
    for (int32_t k = a.First(j); k <= a.Last(j); ++k) {
      const int32_t i = a.irn(k);
      if (AlreadyRead(a.f(i))) {
        a.fjac(k) = 0.0;
        continue;
      }
      const double q = (a.Base(i) - a.f(i)) / hj;
      const double v = std::max(std::fabs(q), std::fabs(a.fjac(k)));
      double e = std::fabs(a.f(i)) * rel_f +
                 (std::fabs(a.fjac(k) * hj + a.Base(i)) + v * (ax + hj)) * rel_x / hj;
      a.fjac(k) = (q + a.fjac(k)) * 0.5;
      if (e == 0.0) e = 1.0;
      a.Ratio(j) = std::max(a.Ratio(j), std::fabs((q - a.fjac(k)) / e));
      a.f(i) = RowReadMark();
    }
  }
}

// New steps from the error ratios; true when some variable asks for another
// pass. A negative step marks a variable that does not ask again.
bool UpdateSteps(const DiffArrays& a) {
  bool again = false;
  const int32_t pass = a.isave(kIsavePass);
  for (int32_t j = 1; j <= a.n; ++j) {
    if (a.h(j) < 0.0 || a.First(j) > a.Last(j)) continue;
    const double rho = a.Ratio(j);
    const double old = a.h(j);
    const double hmax = a.HMax(j);
    const double ax = std::fabs(a.BaseX(j));
    const double scaled = std::sqrt(a.cntld(kCntldTargetRatio) / rho) * old;
    double hj;
    if (rho < a.cntld(kCntldLowRatio)) {
      hj = Representable(std::min(scaled, hmax), ax);
    } else {
      const double least =
          std::max(a.cntld(kCntldStepFloor) * hmax, a.cntld(kCntldVariableError) * ax);
      hj = Representable(std::max(least, scaled), ax);
      if (hj < old) a.ip(j) = -std::abs(a.ip(j));
      if (rho <= a.cntld(kCntldHighRatio)) {
        a.h(j) = -hj;
        continue;
      }
    }
    a.h(j) = hj;
    const bool marked = a.ip(j) < 0;
    if (std::fabs(old / hj - 1.0) > kStepTolerance && (pass <= kFreePasses || !marked)) {
      again = true;
    } else {
      a.h(j) = -hj;
    }
  }
  return again;
}

void Finish(const DiffArrays& a, int32_t* dflag, OneBased<int32_t> infod) {
  for (int32_t j = 1; j <= a.n + 1; ++j) a.ip(j) = std::abs(a.ip(j));
  for (int32_t j = 1; j <= a.n; ++j) a.h(j) = std::fabs(a.h(j));
  *dflag = 0;
  infod(kInfodStatus) = 0;
  for (int32_t i = 1; i <= a.m; ++i) a.f(i) = a.Base(i);
  for (int32_t j = 1; j <= a.n; ++j) a.x(j) = a.BaseX(j);
}

// Perturbs group g forward and asks for an evaluation; false past the last group.
bool RequestForward(const DiffArrays& a, int32_t g, int32_t groups, int32_t* dflag) {
  if (g > groups) return false;
  for (int32_t c = a.GroupBegin(g); c < a.GroupEnd(g); ++c) {
    const int32_t j = a.iwd(c);
    a.h(j) = std::fabs(a.h(j));
    a.x(j) = a.x(j) + a.h(j);
  }
  a.isave(kIsaveGroup) = g;
  *dflag = 2;
  return true;
}

// Perturbs the next group from g on that has a positive step backward.
bool RequestBackward(const DiffArrays& a, int32_t g, int32_t groups, int32_t* dflag) {
  for (; g <= groups; ++g) {
    bool positive = false;
    for (int32_t c = a.GroupBegin(g); c < a.GroupEnd(g); ++c) positive |= a.h(a.iwd(c)) > 0.0;
    if (!positive) continue;
    for (int32_t c = a.GroupBegin(g); c < a.GroupEnd(g); ++c) {
      const int32_t j = a.iwd(c);
      a.x(j) = a.x(j) - a.h(j);
    }
    a.isave(kIsaveGroup) = g;
    *dflag = 3;
    return true;
  }
  return false;
}

// One call of the routine on its unpacked arguments: absorbs the evaluation
// that dflag reports (or starts), then asks for the next one or finishes.
void Run(const DiffArrays& a, int32_t* dflag, OneBased<int32_t> infod) {
  const int32_t m = a.m;
  int32_t next_forward = 1;
  int32_t next_backward = 0;  // 0: forward evaluations still under way
  if (*dflag == 2) {
    AbsorbForward(a, a.isave(kIsaveGroup));
    next_forward = a.isave(kIsaveGroup) + 1;
  } else if (*dflag == 3) {
    AbsorbBackward(a, a.isave(kIsaveGroup));
    next_backward = a.isave(kIsaveGroup) + 1;
  } else {
    for (int k = 1; k <= kInfodLength; ++k) infod(k) = 0;
    if (a.iwd(1) == 0) FormGroups(a);
    a.isave(kIsaveGroups) = CountGroups(a);
    infod(kInfodGroups) = a.isave(kIsaveGroups);
    for (int32_t i = 1; i <= m; ++i) a.wd(i) = a.f(i);
    ClampInitialSteps(a);
    a.isave(kIsavePass) = 0;
    StartPass(a);
  }
  const int32_t groups = a.isave(kIsaveGroups);
  for (;;) {
    if (next_backward == 0) {
      if (RequestForward(a, next_forward, groups, dflag)) return;
      if (!a.Central()) break;
      next_backward = 1;
    }
    if (RequestBackward(a, next_backward, groups, dflag)) return;
    if (!UpdateSteps(a) || a.isave(kIsavePass) >= kMaxPasses) break;
    StartPass(a);
    next_forward = 1;
    next_backward = 0;
  }
  Finish(a, dflag, infod);
}

}  // namespace

void NS23DiffJacobian(const DiffProblem& d, int32_t* dflag, const DiffState& state) {
  DiffArrays a;
  a.m = d.m;
  a.n = d.n;
  a.irn = OneBased<const int32_t>(d.irn);
  a.ip = OneBased<int32_t>(d.ip);
  a.h = OneBased<double>(d.h);
  a.x = OneBased<double>(d.x);
  a.f = OneBased<double>(d.f);
  a.hmaxv = d.hmaxv;
  a.fjac = OneBased<double>(d.fjac);
  a.iwd = OneBased<int32_t>(d.iwd);
  a.wd = OneBased<double>(d.wd);
  a.icntld = OneBased<const int32_t>(state.icntld);
  a.cntld = OneBased<const double>(state.cntld);
  a.isave = OneBased<int32_t>(state.isave);
  Run(a, dflag, OneBased<int32_t>(state.infod));  // RSAVE is not used
}

}  // namespace pemric
