// What NS23AD learns from an evaluated trial point: the new step bound, the
// new Marquardt parameter, acceptance, and the quasi-Newton revision of a
// difference Jacobian.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "ns23_iteration.h"
#include "pemric/blas.h"

namespace pemric::ns23 {
namespace {

// Step bound after a line-search point: the minimiser u of the parabola
// through (0, SS), (t, SS trial) and (1, SS previous), within [0.1, 0.5]
// and the trusted fraction.
void BoundAfterLineSearch(const Problem& p, bool finite) {
  double u = 0.1;
  if (finite) {
    const double t = p.rkeep(kT);
    const double phi0 = p.rkeep(kSs);
    const double phit = p.rkeep(kSsTrial);
    const double phi1 = p.rkeep(kSsPrev);
    const double den = (t - 1.0) * phi0 + phit - t * phi1;
    u = p.rkeep(kBig);
    if (den != 0.0) u = 0.5 * ((t * t - 1.0) * phi0 + phit - t * t * phi1) / den;
    u = std::min(u, p.rkeep(kLinFrac));
    u = std::min(u, 0.5);
    u = std::max(u, 0.1);
  }
  p.lkeep(kLineSearch) = Logical(false);
  p.rkeep(kDelta) = u * p.rkeep(kStepLen);
}

// Step bound from the ratio of actual to predicted reduction. Returns false
// when a fresh central-difference Jacobian still gives a poor step, which
// ends the run.
bool BoundFromRatio(const Problem& p, bool finite) {
  const double step = p.rkeep(kStepLen);
  double& delta = p.rkeep(kDelta);
  if (!finite) {
    // The trial left the model's domain: back off toward the current point.
    // Nothing is learnt about the Jacobian, so a fresh one is not rebuilt.
    delta = 0.25 * step;
    p.lkeep(kFresh) = Logical(false);
    return true;
  }
  double ratio = (p.rkeep(kSs) - p.rkeep(kSsTrial)) / p.rkeep(kPred);
  if (ratio >= 1.0) ratio = 2.0 - ratio - p.rkeep(kEps);
  p.rkeep(kRatio) = ratio;
  const double good = p.cntl(NS23_CNTL_GOOD_RATIO);
  if (IsTrue(p.lkeep(kFresh)) && ratio <= good) {
    if (p.keep(kDiffOrder) == 2) return false;
    p.keep(kDiffOrder) = 2;
  }
  if (ratio > good) {
    delta = std::min(2.0 * delta, std::sqrt((1.0 - good) / (1.0 - ratio)) * step);
    p.lkeep(kFresh) = Logical(false);
  } else if (ratio >= p.cntl(NS23_CNTL_POOR_RATIO)) {
    delta = step;
  } else if (2.0 * delta >= step) {
    if (p.hmax == 0.0) {
      double z = (p.rkeep(kSs) - p.rkeep(kSsTrial)) / p.rkeep(kSlope) + 2.0;
      z = std::min(std::max(z, 2.0), 10.0);
      delta = step / z;
    } else {
      delta = step * 0.5;
      if (p.rkeep(kLinRadius) * p.cntl(NS23_CNTL_LINEARITY) >= step)
        p.lkeep(kLineSearch) = Logical(true);
    }
  }
  return true;
}

// X is the current point and SX the trial. Accepting moves X to the trial and
// leaves the step in SX and F(old) - F(new) in DF; rejecting leaves X alone
// and, when differencing, minus the step in SX and F(trial) - F(current) in DF.
void Accept(const Problem& p, bool finite) {
  double* sx = p.sx();
  double* df = p.df();
  double* fc = p.fc();
  const bool accepted = finite && p.rkeep(kSsTrial) <= p.rkeep(kSs);
  if (!accepted) {
    if (p.hmax == 0.0) {
      p.lkeep(kReevaluate) = Logical(true);
      return;
    }
    for (int32_t j = 0; j < p.n; ++j) sx[j] = p.x[j] - sx[j];
    for (int32_t i = 0; i < p.m; ++i) df[i] -= fc[i];
    p.rkeep(kSsPrev) = p.rkeep(kSsTrial);
    return;
  }
  for (int32_t j = 0; j < p.n; ++j) {
    const double trial = sx[j];
    sx[j] = trial - p.x[j];
    p.x[j] = trial;
  }
  p.lkeep(kAccepted) = Logical(true);
  for (int32_t i = 0; i < p.m; ++i) {
    const double fnew = df[i];
    df[i] = fc[i] - fnew;
    fc[i] = fnew;
  }
  std::copy(p.rt(), p.rt() + p.m, p.rc());
  p.rkeep(kSsPrev) = p.rkeep(kSs);
  p.rkeep(kSs) = p.rkeep(kSsTrial);
}

// Sparse Broyden update (Schubert): each row of J changes, on its own
// pattern, by the least change that maps SX onto the observed change of F.
void BroydenUpdate(const Problem& p) {
  double* df = p.df();
  double* rowsum = p.rt();
  const double* sx = p.sx();
  NS23SparseMatVec(p.m, p.n, p.fjac, sx, df, 0, p.irn, p.ip);
  for (int32_t i = 0; i < p.m; ++i) rowsum[i] = 0.0;
  for (int32_t j = 1; j <= p.n; ++j) {
    const double s2 = sx[j - 1] * sx[j - 1];
    for (int32_t k = std::abs(p.ip[j - 1]); k < std::abs(p.ip[j]); ++k) rowsum[p.irn[k - 1] - 1] += s2;
  }
  for (int32_t j = 1; j <= p.n; ++j) {
    for (int32_t k = std::abs(p.ip[j - 1]); k < std::abs(p.ip[j]); ++k) {
      const int32_t i = p.irn[k - 1];
      if (rowsum[i - 1] > 0.0) p.fjac[k - 1] -= df[i - 1] * sx[j - 1] / rowsum[i - 1];
    }
  }
}

bool AllFinite(const Problem& p) {
  const int64_t nnz = p.nnz();
  for (int64_t k = 0; k < nnz; ++k) {
    if (!std::isfinite(p.fjac[k])) return false;
  }
  return true;
}

}  // namespace

Phase TrialEvaluated(const Problem& p) {
  double* rt = p.rt();
  std::copy(p.f, p.f + p.m, rt);
  std::copy(p.f, p.f + p.m, p.df());
  NS23SparseMatVec(p.m, p.n, p.aval, p.sx(), rt, 0, p.airn, p.aip);
  p.rkeep(kSsTrial) = blas::Ddot(p.m, rt, 1, rt, 1);
  // A trial whose residuals (or, when the caller supplies it, Jacobian) are
  // not all finite is never accepted: it only shrinks the step bound.
  const bool finite = std::isfinite(p.rkeep(kSsTrial)) && (p.hmax != 0.0 || AllFinite(p));
  if (finite) p.lkeep(kFiniteTrial) = Logical(true);
  if (IsTrue(p.lkeep(kLineSearch))) {
    BoundAfterLineSearch(p, finite);
  } else if (!BoundFromRatio(p, finite)) {
    return FinalReturn(p, NS23_FINISHED);
  }
  if (!IsTrue(p.lkeep(kLineSearch))) {
    const double lamda = p.rkeep(kLamda) + (1.0 - p.rkeep(kStepLen) / p.rkeep(kDelta)) *
                                               p.rkeep(kStepSq) / p.rkeep(kCurv);
    p.rkeep(kLamda) = std::max(0.0, lamda);
  }
  const bool within_twice = finite && 2.0 * p.rkeep(kSs) >= p.rkeep(kSsTrial);
  p.lkeep(kWithinTwice) = Logical(within_twice);
  Accept(p, finite);
  if (!IsTrue(p.lkeep(kFresh)) && !IsTrue(p.lkeep(kLineSearch)) && p.hmax != 0.0 &&
      within_twice) {
    BroydenUpdate(p);
  }
  return Phase::kEndIteration;
}

}  // namespace pemric::ns23
