// The start of a problem and the reverse-communication entry of NS23AD.
//
// Workspace, with s = N when differencing (HMAX > 0), else 0:
//   W(1 .. LWA)          LA, the linear algebra of the step, LWA = LW - 4M - N - s
//   then RT (M), SX (N), DF (M), FC (M), RC (M), H (s)
//   IW(1 .. LIWA)        ILA, patterns and MA57 arrays, LIWA = LIW - 2N - 1
//   IW(LIWA+1 .. LIW)    IWD, the groups of the difference Jacobian (2N+1)
// Lengths needed:
//   LIW >= max(M + NZR + 11N + 4NE + 44, M + NZR + 9N + 3NE + 45 + LIFC)
//   LW  >= 4M + N + s + NE + max(N + NZR, LFC)
// computed in 64 bits and clamped to the largest 32-bit length.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "ns23_iteration.h"
#include "ns23_print.h"
#include "pemric/error_report.h"
#include "pemric/ns23.h"
#include "pemric/record.h"

namespace pemric::ns23 {
namespace {

void ResetState(const Problem& p, double big, double eps) {
  p.rkeep(kLamda) = 0.0;
  p.rkeep(kBig) = big;
  p.rkeep(kEps) = eps;
  p.rkeep(kDelta) = big * 0.25;
  p.rkeep(kLinRadius) = big;
  p.rkeep(kStepLen) = 0.0;
  p.rkeep(kHalfMargin) = (1.0 - p.cntl(NS23_CNTL_GOOD_RATIO)) / 2.0;
  p.keep(kDiffOrder) = 1;
  p.keep(kEvals) = 0;
  p.keep(kIters) = 0;
  p.lkeep(kReevaluate) = Logical(true);
  p.lkeep(kLineSearch) = Logical(false);
  p.lkeep(kFresh) = Logical(p.hmax != 0.0);
  p.lkeep(kAccepted) = Logical(false);
  p.lkeep(kWithinTwice) = Logical(false);
}

// Division of W and IW; false when LW or LIW is short (the lengths needed are
// then in KEEP(2) and KEEP(3)).
bool Divide(const Problem& p) {
  const int64_t m = p.m, n = p.n;
  const int64_t s = p.hmax > 0.0 ? n : 0;
  const int64_t liw_needed = IntegerLengthNeeded(p.keep(kLiwNeeded), n);
  const int64_t lw_needed = RealLengthNeeded(p.keep(kLwNeeded), m, n, s > 0);
  p.keep(kLiwNeeded) = Saturate(liw_needed);
  p.keep(kLwNeeded) = Saturate(lw_needed);
  if (p.liw < liw_needed || p.lw < lw_needed) return false;
  const int64_t lwa = int64_t{p.lw} - 4 * m - n - s;
  p.keep(kLwa) = Saturate(lwa);
  p.keep(kRt) = Saturate(lwa + 1);
  p.keep(kSx) = Saturate(lwa + m + 1);
  p.keep(kDf) = Saturate(lwa + m + n + 1);
  p.keep(kFc) = Saturate(lwa + 2 * m + n + 1);
  p.keep(kRc) = Saturate(lwa + 3 * m + n + 1);
  p.keep(kH) = Saturate(lwa + 4 * m + n + 1);
  p.keep(kLiwa) = Saturate(int64_t{p.liw} - 2 * n - 1);
  p.keep(kIwd) = Saturate(int64_t{p.liw} - 2 * n);
  p.keep(kDiffMode) = s > 0 ? 1 : 0;
  return true;
}

// Failures of the start go to IFLAG (INFO follows from it on return) and,
// when ICNTL(1) > 0, as a message after two empty lines.
ErrorReport StartErrors(const Problem& p) {
  return ErrorReport(p.iflag, nullptr, ErrorStream{p.stream(), p.stream() > 0}, nullptr, 0);
}

}  // namespace

Phase Start(const Problem& p) {
  const ErrorReport errors = StartErrors(p);
  if (p.n < 1 || p.m < p.n) {
    errors.Fail(NS23_ERR_SIZES, 0, [&](int32_t u) {
      Record(u)
          .Slash()
          .Slash()
          .Text(" Error return from NS23 because M =")
          .I(p.m, 7)
          .Text(" and N =")
          .I(p.n, 7);
    });
    return Phase::kReturn;
  }
  const int32_t i_big = MACHINE_HUGE, i_eps = MACHINE_EPSILON;
  const double big = MachineConstant(&i_big);
  const double eps = MachineConstant(&i_eps);
  NS23DiffSetDefaults(p.keep.from(kDiffIcntl), p.rkeep.from(kDiffCntl), p.keep.from(kDiffIsave),
                      p.rkeep.from(kDiffRsave));
  if (p.cntl(NS23_CNTL_RESIDUAL_ERROR) > 0.0) {
    p.rkeep(kDiffResidualError) = p.cntl(NS23_CNTL_RESIDUAL_ERROR);
  }
  const double initial_step = p.cntl(NS23_CNTL_INITIAL_STEP);
  p.rkeep(kRelStep) = initial_step > 0.0 ? initial_step / p.hmax : std::sqrt(eps);
  ResetState(p, big, eps);
  // Column marks of an earlier difference Jacobian may still be in IP.
  for (int32_t j = 0; j <= p.n; ++j) p.ip[j] = std::abs(p.ip[j]);
  if (p.iprint != 0 && p.stream() > 0) {
    PrintHeader(p.stream(), p.m, p.n, p.sac, p.stpmin, p.maxfun, p.hmax_given, p.liw, p.lw);
  }
  int32_t status = 0;
  NS23Analyse(p.m, p.n, p.irn, p.ip, p.airn, p.aip, p.liw, p.iw, &status, p.keep.from(1),
              p.rkeep.from(1));
  if (status == NS23_ERR_LIW) {
    errors.Fail(NS23_ERR_LIW, p.liw, [](int32_t u) {
      PrintError(u, " Error return from NS23 because LIW is too small", nullptr);
    });
    return Phase::kReturn;
  }
  if (!Divide(p)) {
    errors.Fail(NS23_ERR_WORKSPACE, p.lw, [](int32_t u) {
      PrintError(u, " Error return from NS23 because LIW and/or LW is too small", nullptr);
    });
    return Phase::kReturn;
  }
  if (p.hmax > 0.0) {
    p.iw[p.keep(kIwd) - 1] = 0;
    double* h = p.h();
    for (int32_t j = 0; j < p.n; ++j) h[j] = p.hmax * p.rkeep(kRelStep);
  }
  return Phase::kEndIteration;
}

namespace {

Phase Resume(const Problem& p) {
  switch (*p.iflag) {
    case NS23_EVALUATE_CURRENT:
      p.keep(kEvals) += 1;
      return Phase::kCurrentEvaluated;
    case NS23_EVALUATE_DIFFERENCE:
      p.keep(kEvals) += 1;
      return Phase::kDifferences;
    case NS23_EVALUATE_LINE_SEARCH:
      p.keep(kEvals) += 1;
      std::swap_ranges(p.x, p.x + p.n, p.sx());
      return Phase::kLineSearchEvaluated;
    case NS23_EVALUATE_TRIAL:
      p.keep(kEvals) += 1;
      std::swap_ranges(p.x, p.x + p.n, p.sx());
      return Phase::kTrialEvaluated;
    default:
      return Start(p);
  }
}

Phase Run(const Problem& p, Phase phase) {
  switch (phase) {
    case Phase::kEndIteration: return EndIteration(p);
    case Phase::kCurrentEvaluated: return CurrentEvaluated(p);
    case Phase::kJacobianDecision: return JacobianDecision(p);
    case Phase::kDifferences: return Differences(p);
    case Phase::kMonitor: return Monitor(p);
    case Phase::kLineSearchTrial: return LineSearchTrial(p);
    case Phase::kLineSearchEvaluated: return LineSearchEvaluated(p);
    case Phase::kNewStep: return NewStep(p);
    case Phase::kTrialEvaluated: return TrialEvaluated(p);
    case Phase::kReturn: break;
  }
  return Phase::kReturn;
}

void SetInformation(const Problem& p, OneBased<int32_t> info, OneBased<double> rinfo) {
  const int32_t flag = *p.iflag;
  info(NS23_INFO_STATUS) = flag < 0 ? flag : 0;
  info(NS23_INFO_VALUE) = flag == NS23_ERR_MAXFUN      ? p.maxfun
                          : flag == NS23_ERR_LIW       ? p.liw
                          : flag == NS23_ERR_WORKSPACE ? p.lw
                                                       : 0;
  info(NS23_INFO_EVALUATIONS) = p.keep(kEvals);
  info(NS23_INFO_LIW_NEEDED) = p.keep(kLiwNeeded);
  info(NS23_INFO_LW_NEEDED) = p.keep(kLwNeeded);
  rinfo(NS23_RINFO_MARQUARDT) = p.rkeep(kLamda);
}

}  // namespace
}  // namespace pemric::ns23

extern "C" PEMRIC_API void NS23AD(const int32_t* M,
                                  const int32_t* N,
                                  const double* SAC,
                                  const double* STPMIN,
                                  const int32_t* MAXFUN,
                                  const int32_t* IPRINT,
                                  const int32_t* IRN,
                                  int32_t* IP,
                                  const double* AVAL,
                                  const int32_t* AIRN,
                                  const int32_t* AIP,
                                  const double* HMAX,
                                  const int32_t* LIW,
                                  int32_t* IW,
                                  const int32_t* LW,
                                  double* W,
                                  double* X,
                                  double* F,
                                  double* FJAC,
                                  int32_t* IFLAG,
                                  const int32_t* ICNTL,
                                  const double* CNTL,
                                  int32_t* INFO,
                                  double* RINFO,
                                  int32_t* KEEP,
                                  double* RKEEP,
                                  int32_t* LKEEP) {
  using namespace pemric::ns23;
  // Only a positive HMAX asks for differences and for their section of W; a
  // negative or NaN value is taken as 0, so that the mode and the workspace
  // division always agree.
  const double hmax = *HMAX > 0.0 ? *HMAX : 0.0;
  const Problem p{*M,   *N,   *SAC, *STPMIN, *MAXFUN, *IPRINT, IRN,   IP,   AVAL, AIRN,
                  AIP,  hmax, *HMAX, *LIW,  IW,      *LW,     W,       X,     F,    FJAC,
                  IFLAG, OneBased<const int32_t>(ICNTL), OneBased<const double>(CNTL),
                  OneBased<int32_t>(KEEP), OneBased<double>(RKEEP), OneBased<int32_t>(LKEEP)};
  Phase phase = Resume(p);
  while (phase != Phase::kReturn) phase = Run(p, phase);
  SetInformation(p, OneBased<int32_t>(INFO), OneBased<double>(RINFO));
}
