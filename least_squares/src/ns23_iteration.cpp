// NS23AD: sparse nonlinear least squares by a Levenberg-Marquardt
// (trust-region) method with reverse communication (Marquardt 1963; the step
// bound and Marquardt parameter rules follow Fletcher's modification). With a
// difference Jacobian, poor steps are followed by a line search and good ones
// by a sparse Broyden update of Schubert's form, so that differences are
// needed only when the linear model stops predicting the residuals.
//
// There is no loop over iterations in here: each call resumes at the phase
// its IFLAG names, runs phases until one of them needs an evaluation or the
// run ends, and returns. Everything kept between calls lives in KEEP, RKEEP
// and LKEEP (slots in ns23_layout.h) and in the sections of W and IW.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "ns23_iteration.h"
#include "ns23_print.h"
#include "pemric/blas.h"

namespace pemric::ns23 {
namespace {

double Dot(int32_t n, const double* a, const double* b) { return blas::Ddot(n, a, 1, b, 1); }

bool AllFinite(const double* v, int64_t count) {
  for (int64_t k = 0; k < count; ++k) {
    if (!std::isfinite(v[k])) return false;
  }
  return true;
}

}  // namespace

constexpr const char* kValuesNotFinite =
    " the residuals or Jacobian are not finite at the current point";

Phase FinalReturn(const Problem& p, int32_t flag) {
  // A run whose every trial point left the residuals' domain has shrunk its
  // step to nothing without learning anything: that is no convergence.
  if (flag == NS23_FINISHED && p.keep(kIters) > 1 && !IsTrue(p.lkeep(kFiniteTrial))) {
    return NotFinite(p, " the residuals are not finite at any trial point");
  }
  p.keep(kRequest) = 0;
  const int32_t unit = p.stream();
  if (p.iprint != 0 && p.keep(kPrintState) == 1 && p.keep(kEvals) != 0 && unit > 0) {
    PrintSummary(unit, p.keep(kIters), p.keep(kEvals), p.rkeep(kLamda), p.rkeep(kSs),
                 p.rkeep(kXnorm), p.rkeep(kStepLen));
    if (p.iprint < 0) {
      PrintVector(unit, " The current iterate X is", p.x, p.n);
      PrintVector(unit, " The current vector of residuals is", p.rc(), p.m);
    }
  }
  *p.iflag = flag;
  return Phase::kReturn;
}

Phase AskFor(const Problem& p, int32_t flag) {
  *p.iflag = flag;
  p.keep(kRequest) = flag;  // the one answer the next call may bring
  return Phase::kReturn;
}

// One iteration ends: count it, then either ask for the current point again
// or go on to the Jacobian.
Phase EndIteration(const Problem& p) {
  p.keep(kIters) += 1;
  if (p.keep(kIters) > p.maxfun) return FinalReturn(p, NS23_FINISHED);
  if (!IsTrue(p.lkeep(kReevaluate))) return Phase::kJacobianDecision;
  p.lkeep(kReevaluate) = Logical(false);
  if (p.keep(kIters) >= 2) return AskFor(p, NS23_EVALUATE_CURRENT);
  p.keep(kEvals) += 1;  // the evaluation passed in with the start
  return Phase::kCurrentEvaluated;
}

Phase NotFinite(const Problem& p, const char* what) {
  if (p.stream() > 0) PrintError(p.stream(), " Error return from NS23 because", what);
  return FinalReturn(p, NS23_ERR_NOT_FINITE);
}

// A step that overflows (huge Jacobian values squared in the normal matrix,
// or a point near the largest number) would hand the caller a non-finite X
// and could later end in a "converged" return at that point. The point is
// never moved there: the run ends with the not-finite failure instead.
static bool StepIsFinite(const double* x, const double* step, double scale, int32_t n) {
  for (int32_t j = 0; j < n; ++j) {
    if (!std::isfinite(x[j] + scale * step[j])) return false;
  }
  return true;
}

static Phase StepNotFinite(const Problem& p) {
  return NotFinite(p, " the step computed from the current point is not finite");
}

// F (and FJAC) at the current point: r = F + A x and its sum of squares.
Phase CurrentEvaluated(const Problem& p) {
  std::copy(p.f, p.f + p.m, p.fc());
  std::copy(p.f, p.f + p.m, p.rc());
  NS23SparseMatVec(p.m, p.n, p.aval, p.x, p.rc(), 0, p.airn, p.aip);
  p.rkeep(kSs) = Dot(p.m, p.rc(), p.rc());
  // A model evaluated outside its domain must never look converged.
  if (!std::isfinite(p.rkeep(kSs))) return NotFinite(p, kValuesNotFinite);
  if (p.hmax == 0.0 && !AllFinite(p.fjac, p.nnz())) return NotFinite(p, kValuesNotFinite);
  return Phase::kJacobianDecision;
}

Phase JacobianDecision(const Problem& p) {
  if (!IsTrue(p.lkeep(kFresh)) || IsTrue(p.lkeep(kLineSearch))) return Phase::kMonitor;
  // The difference routine takes F as its base residuals; after a rejected
  // trial F still holds the trial's values, so put the current ones back.
  std::copy(p.fc(), p.fc() + p.m, p.f);
  p.keep(kSavedScheme) = p.keep(kDiffScheme);
  p.keep(kDiffScheme) = p.keep(kDiffOrder);
  p.rkeep(kMinusHmax) = -p.hmax;
  p.keep(kDiffFlag) = 1;
  return Phase::kDifferences;
}

// The difference routine's arrays: the pattern of J, the steps H, the point,
// F and FJAC, its groups in the last 2N+1 cells of IW, and SX, DF and FC
// together (M + 2N cells from SX on) as its real workspace.
static DiffProblem DiffArguments(const Problem& p) {
  DiffProblem d;
  d.m = p.m;
  d.n = p.n;
  d.irn = p.irn;
  d.ip = p.ip;
  d.h = p.h();
  d.x = p.x;
  d.f = p.f;
  d.hmaxv = p.rkeep.from(kMinusHmax);
  d.fjac = p.fjac;
  d.iwd = p.iw + (int64_t{p.keep(kIwd)} - 1);
  d.wd = p.sx();
  return d;
}

// Its controls, information and saved state, at their places in KEEP and RKEEP.
static DiffState DiffSaved(const Problem& p) {
  DiffState state;
  state.icntld = p.keep.from(kDiffIcntl);
  state.cntld = p.rkeep.from(kDiffCntl);
  state.infod = p.keep.from(kDiffInfo);
  state.isave = p.keep.from(kDiffIsave);
  state.rsave = p.rkeep.from(kDiffRsave);
  return state;
}

Phase Differences(const Problem& p) {
  NS23DiffJacobian(DiffArguments(p), p.keep.from(kDiffFlag), DiffSaved(p));
  if (p.keep(kDiffFlag) != 0) return AskFor(p, NS23_EVALUATE_DIFFERENCE);
  std::copy(p.f, p.f + p.m, p.fc());
  p.keep(kDiffScheme) = p.keep(kSavedScheme);
  p.lkeep(kAccepted) = Logical(false);
  p.lkeep(kFresh) = Logical(p.keep(kIters) > 1);
  if (!AllFinite(p.fjac, p.nnz())) return NotFinite(p, kValuesNotFinite);
  return Phase::kMonitor;
}

Phase Monitor(const Problem& p) {
  p.rkeep(kXnorm) = std::sqrt(Dot(p.n, p.x, p.x));
  const int64_t every = std::abs(int64_t{p.iprint});
  const int32_t unit = p.stream();
  p.keep(kPrintState) = 1;
  if (p.iprint != 0 && (p.keep(kIters) - 1) % every == 0) {
    p.keep(kPrintState) = 2;
    if (unit > 0) {
      PrintSummary(unit, p.keep(kIters), p.keep(kEvals), p.rkeep(kLamda), p.rkeep(kSs),
                   p.rkeep(kXnorm), p.rkeep(kStepLen));
    }
    if (p.iprint < 0) {
      p.keep(kPrintState) = 3;
      if (unit > 0) {
        PrintVector(unit, " The current iterate X is", p.x, p.n);
        PrintVector(unit, " The current vector of residuals is", p.rc(), p.m);
      }
    }
  }
  if (p.keep(kEvals) >= p.maxfun) {
    if (unit > 0) {
      PrintError(unit, " Error return from NS23 because",
                 " more than MAXFUN function evaluations needed");
    }
    p.keep(kEvals) = p.maxfun + 1;
    return FinalReturn(p, NS23_ERR_MAXFUN);
  }
  return IsTrue(p.lkeep(kLineSearch)) ? Phase::kLineSearchTrial : Phase::kNewStep;
}

// A point a fraction t along the last step, where the linear interpolation
// of r between its two ends is smallest (0.1 <= |t| <= 0.9).
Phase LineSearchTrial(const Problem& p) {
  double* d = p.rt();
  for (int32_t i = 0; i < p.m; ++i) d[i] = -p.df()[i];
  NS23SparseMatVec(p.m, p.n, p.aval, p.sx(), d, 0, p.airn, p.aip);
  p.rkeep(kSlope) = Dot(p.m, d, p.rc());
  p.rkeep(kLsSq) = Dot(p.m, d, d);
  double t = 0.5;
  if (p.rkeep(kLsSq) > 0.0) t = p.rkeep(kSlope) / p.rkeep(kLsSq);
  if (std::fabs(t) > 0.9) t = std::copysign(0.9, t);
  if (std::fabs(t) < 0.1) t = std::copysign(0.1, t);
  p.rkeep(kT) = t;
  double* sx = p.sx();
  if (!StepIsFinite(p.x, sx, -t, p.n)) return StepNotFinite(p);
  for (int32_t j = 0; j < p.n; ++j) {
    const double old = p.x[j];
    p.x[j] = old - t * sx[j];
    sx[j] = old;
  }
  return AskFor(p, NS23_EVALUATE_LINE_SEARCH);
}

// How far the linear model can be trusted, from the misfit of the linear
// interpolation at the line-search point.
Phase LineSearchEvaluated(const Problem& p) {
  const double t = p.rkeep(kT);
  double misfit = 0.0;
  for (int32_t i = 0; i < p.m; ++i) {
    const double e = t * p.df()[i] + p.fc()[i] - p.f[i];
    misfit += e * e;
  }
  p.rkeep(kMisfit) = misfit;
  const double step = p.rkeep(kStepLen);
  const double big = p.rkeep(kBig);
  double fraction;
  double radius;
  if (!std::isfinite(misfit)) {
    fraction = 0.0;  // the line-search point left the domain: trust nothing
    radius = 0.0;
  } else if (misfit == 0.0) {
    fraction = step > 1.0 ? big / step : big;
    radius = step > 1.0 ? big : step * big;
  } else {
    const double c = std::fabs(t) * p.rkeep(kHalfMargin) * (1.0 - t);
    fraction = std::sqrt(p.rkeep(kLsSq) / misfit) * c;
    radius = step * fraction;
  }
  p.rkeep(kLinFrac) = fraction;
  p.rkeep(kLinRadius) = radius;
  p.lkeep(kFresh) =
      radius * p.cntl(NS23_CNTL_LINEARITY) >= step ? p.lkeep(kAccepted) : Logical(false);
  return Phase::kTrialEvaluated;
}

// The step from the factors into SX (B^T r into RT on the way), its
// measures recorded in RKEEP.
static void SolveForStep(const Problem& p, const StepArrays& a) {
  StepVectors v;
  v.fjac = p.fjac;
  v.aval = p.aval;
  v.r = p.rc();
  v.g = p.rt();
  v.s = p.sx();
  StepPrinting printing;
  printing.unit = p.stream();
  printing.state = p.keep(kPrintState);
  const StepMeasures measures = NS23SolveStep(a, v, p.rkeep(kLamda), printing);
  p.rkeep(kPred) = measures.pred;
  p.rkeep(kStepSq) = measures.ssq;
  p.rkeep(kSlope) = measures.slope;
  p.rkeep(kCurv) = measures.curv;
  p.rkeep(kStepLen) = std::sqrt(measures.ssq);
}

Phase NewStep(const Problem& p) {
  // The step's arrays, carved once for the factorization and the solutions.
  const StepArrays a = Carve(p.patterns(), p.linear_algebra(), p.keep, p.rkeep);
  const int32_t status = NS23Factorize(a, p.fjac, p.aval, p.rkeep(kLamda));
  // A normal matrix that overflowed (Jacobian values near the square root of
  // the largest number) has no meaningful factors or step.
  if (status == NS23_ERR_NOT_FINITE) {
    return NotFinite(p, " the normal matrix is not finite at the current point");
  }
  if (status == NS23_ERR_FACTORIZATION) {
    if (p.stream() > 0) {
      PrintError(p.stream(), " Unexpected return from NS23. Notify Pemric staff.", nullptr);
    }
    return FinalReturn(p, NS23_ERR_FACTORIZATION);
  }
  SolveForStep(p, a);
  const double step = p.rkeep(kStepLen);
  const double ss = p.rkeep(kSs);
  if (step <= p.rkeep(kEps) * p.rkeep(kXnorm)) return FinalReturn(p, NS23_FINISHED);
  const bool small_ss = ss <= p.sac;
  const bool small_step = step <= p.stpmin;
  if (p.icntl(NS23_ICNTL_STOP_RULE) == 0 ? (small_ss || small_step) : (small_ss && small_step)) {
    return FinalReturn(p, NS23_FINISHED);
  }
  double* sx = p.sx();
  if (!StepIsFinite(p.x, sx, 1.0, p.n)) return StepNotFinite(p);
  for (int32_t j = 0; j < p.n; ++j) {
    const double old = p.x[j];
    p.x[j] = old + sx[j];
    sx[j] = old;
  }
  return AskFor(p, NS23_EVALUATE_TRIAL);
}

}  // namespace pemric::ns23
