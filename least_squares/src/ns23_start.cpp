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
#include "ns23_pattern.h"
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
  p.lkeep(kFiniteTrial) = Logical(false);
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

// Failures of the start and of a resumption go to IFLAG (INFO follows from
// it on return; INFO(2) from the value given for the codes that name a
// position or an argument) and, when ICNTL(1) > 0, as a message after two
// empty lines.
ErrorReport Errors(const Problem& p) {
  return ErrorReport(p.iflag, p.error_value, ErrorStream{p.stream(), p.stream() > 0}, nullptr, 0);
}

// A refusal with INFO(2) = value, whose message names the faulty position
// when `shown`.
template <class Report>
bool Refuse(
    const Report& errors, int32_t status, const char* what, int64_t value, bool shown = true) {
  return errors.Fail(status, value, [&](int32_t u) { PrintRefusal(u, what, value, shown); });
}

// The controls must be finite, and the threshold of a good ratio below 1:
// the growth factor sqrt((1 - CNTL(3)) / (1 - ratio)) and the margin
// (1 - CNTL(3)) / 2 of the linearity test need 1 - CNTL(3) > 0.
bool CheckControls(const Problem& p, const ErrorReport& errors) {
  for (int i = 1; i <= NS23_LCNTL; ++i) {
    const double v = p.cntl(i);
    if (!std::isfinite(v) || (i == NS23_CNTL_GOOD_RATIO && v >= 1.0)) {
      return Refuse(errors, NS23_ERR_CNTL, "CNTL(I) is out of range, I =", i);
    }
  }
  return true;
}

// The patterns of J and A, in the order IP, IRN, AIP, AIRN: everything the
// analysis, the normal matrix and the difference Jacobian index with them.
bool CheckPattern(const Problem& p, const ErrorReport& errors) {
  const PatternFault fault = FirstPatternFault(p.patterns());
  switch (fault.status) {
    case NS23_ERR_IP:
      return Refuse(errors, NS23_ERR_IP, "IP(J) is out of order, J =", fault.position);
    case NS23_ERR_IRN:
      return Refuse(errors, NS23_ERR_IRN, "IRN(K) is out of range, K =", fault.position);
    case NS23_ERR_AIP:
      return Refuse(errors, NS23_ERR_AIP, "AIP(J) is out of order, J =", fault.position);
    case NS23_ERR_AIRN:
      return Refuse(errors, NS23_ERR_AIRN, "AIRN(K) is out of range, K =", fault.position);
    default:
      return true;
  }
}

// The analysis first needs 2M + 1 cells of IW and refuses a shorter one
// (-2) before it reads the pattern; the pattern is checked only past that
// point, so that sizes far beyond any array (M = N = INT32_MAX) are refused
// without reading IP.
bool AnalysisCanBegin(const Problem& p) { return int64_t{p.liw} - p.m >= int64_t{p.m} + 1; }

// The header record of a start, when printing is asked for.
void PrintStartHeader(const Problem& p) {
  if (p.iprint == 0 || p.stream() <= 0) return;
  HeaderValues v;
  v.m = p.m;
  v.n = p.n;
  v.sac = p.sac;
  v.stpmin = p.stpmin;
  v.maxfun = p.maxfun;
  v.hmax = p.hmax_given;
  v.liw = p.liw;
  v.lw = p.lw;
  PrintHeader(p.stream(), v);
}

// What a resumption must find unchanged, recorded once the start succeeds.
void RecordStartSizes(const Problem& p) {
  p.keep(kStartM) = p.m;
  p.keep(kStartN) = p.n;
  p.keep(kStartLiw) = p.liw;
  p.keep(kStartLw) = p.lw;
  p.keep(kStartNnz) = p.ip[p.n];
  p.keep(kStartNa) = p.aip[p.n];
}

}  // namespace

Phase Start(const Problem& p) {
  const ErrorReport errors = Errors(p);
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
  if (!CheckControls(p, errors)) return Phase::kReturn;
  p.keep(kRequest) = 0;  // the problem under way, if any, is given up
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
  PrintStartHeader(p);
  if (AnalysisCanBegin(p)) {
    if (!CheckPattern(p, errors)) return Phase::kReturn;
    // Column marks of an earlier difference Jacobian may still be in IP.
    for (int64_t j = 0; j <= p.n; ++j) p.ip[j] = std::abs(p.ip[j]);
  }
  if (NS23Analyse(p.patterns(), p.liw, p.iw, p.keep, p.rkeep) == NS23_ERR_LIW) {
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
  RecordStartSizes(p);
  return Phase::kEndIteration;
}

namespace {

// An entry with IFLAG 2..5 resumes the problem only when it answers the
// request outstanding, with the arrays the start divided: anything else
// would index W and IW by positions made for other sizes. A refusal changes
// nothing, so that the caller can still answer the request.
bool CheckResumption(const Problem& p) {
  const ErrorReport errors = Errors(p);
  const int32_t request = p.keep(kRequest);
  if (*p.iflag != request) {
    const bool outstanding = request >= NS23_EVALUATE_CURRENT && request <= NS23_EVALUATE_TRIAL;
    const int32_t flag = *p.iflag;
    return errors.Fail(NS23_ERR_PROTOCOL, outstanding ? request : 0, [&](int32_t u) {
      Record rec(u);
      rec.Slash().Slash().Text(" Error return from NS23 because IFLAG =").I(flag, 7);
      if (outstanding) {
        rec.Text(" but the request outstanding is").I(request, 7);
      } else {
        rec.Text(" and no request is outstanding");
      }
    });
  }
  struct Size {
    int argument;  // its number in the argument list
    const char* what;
    int64_t now, then;
  };
  const Size sizes[] = {
      {1, "M has changed since the start of the problem", p.m, p.keep(kStartM)},
      {2, "N has changed since the start of the problem", p.n, p.keep(kStartN)},
  };
  for (const Size& s : sizes) {
    if (s.now != s.then) return Refuse(errors, NS23_ERR_CHANGED, s.what, s.argument, false);
  }
  // With N unchanged, IP(N+1) and AIP(N+1) are cells of the caller's arrays.
  const Size more[] = {
      {8, "IP(N+1) has changed since the start of the problem", std::abs(int64_t{p.ip[p.n]}),
       p.keep(kStartNnz)},
      {11, "AIP(N+1) has changed since the start of the problem", p.aip[p.n], p.keep(kStartNa)},
      {12, "HMAX > 0 has changed since the start of the problem", p.hmax > 0.0 ? 1 : 0,
       p.keep(kDiffMode)},
      {13, "LIW has changed since the start of the problem", p.liw, p.keep(kStartLiw)},
      {15, "LW has changed since the start of the problem", p.lw, p.keep(kStartLw)},
  };
  for (const Size& s : more) {
    if (s.now != s.then) return Refuse(errors, NS23_ERR_CHANGED, s.what, s.argument, false);
  }
  return true;
}

Phase Resume(const Problem& p) {
  const int32_t flag = *p.iflag;
  if (flag >= NS23_EVALUATE_CURRENT && flag <= NS23_EVALUATE_TRIAL && !CheckResumption(p)) {
    return Phase::kReturn;
  }
  switch (flag) {
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

// Resumes the problem at the phase IFLAG names and runs phases until one of
// them returns to the caller.
void Drive(const Problem& p) {
  Phase phase = Resume(p);
  while (phase != Phase::kReturn) phase = Run(p, phase);
}

void SetInformation(const Problem& p, OneBased<int32_t> info, OneBased<double> rinfo) {
  const int32_t flag = *p.iflag;
  info(NS23_INFO_STATUS) = flag < 0 ? flag : 0;
  info(NS23_INFO_VALUE) = flag == NS23_ERR_MAXFUN      ? p.maxfun
                          : flag == NS23_ERR_LIW       ? p.liw
                          : flag == NS23_ERR_WORKSPACE ? p.lw
                          : flag < 0                   ? *p.error_value
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
  int32_t error_value = 0;
  Problem p;
  p.m = *M;
  p.n = *N;
  p.sac = *SAC;
  p.stpmin = *STPMIN;
  p.maxfun = *MAXFUN;
  p.iprint = *IPRINT;
  p.irn = IRN;
  p.ip = IP;
  p.aval = AVAL;
  p.airn = AIRN;
  p.aip = AIP;
  // Only a positive HMAX asks for differences and for their section of W; a
  // negative or NaN value is taken as 0, so that the mode and the workspace
  // division always agree.
  p.hmax = *HMAX > 0.0 ? *HMAX : 0.0;
  p.hmax_given = *HMAX;
  p.liw = *LIW;
  p.iw = IW;
  p.lw = *LW;
  p.w = W;
  p.x = X;
  p.f = F;
  p.fjac = FJAC;
  p.iflag = IFLAG;
  p.icntl = OneBased<const int32_t>(ICNTL);
  p.cntl = OneBased<const double>(CNTL);
  p.keep = OneBased<int32_t>(KEEP);
  p.rkeep = OneBased<double>(RKEEP);
  p.lkeep = OneBased<int32_t>(LKEEP);
  p.error_value = &error_value;
  Drive(p);
  SetInformation(p, OneBased<int32_t>(INFO), OneBased<double>(RINFO));
}
