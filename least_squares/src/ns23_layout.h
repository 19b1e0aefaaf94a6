// Where NS23AD keeps its state between calls: the slots of KEEP, RKEEP and
// LKEEP (positions counted from 1, read through OneBased views).
#pragma once

#include <cstdint>
#include <limits>

#include "pemric/ma57.h"
#include "pemric/ns23.h"
#include "pemric/ns23_routines.h"
#include "pemric/one_based.h"

// NS23AD relies on plain IEEE double arithmetic: the representable steps
// (h + |x|) - |x| and the single-precision constants lose their meaning under
// extended precision or value-changing optimisations.
#if defined(__FAST_MATH__)
#error "the least-squares routines must not be built with -ffast-math"
#endif
#if defined(__FLT_EVAL_METHOD__) && __FLT_EVAL_METHOD__ != 0
#error "the least-squares routines need double evaluation in double (SSE2, not x87)"
#endif

namespace pemric::ns23 {

using pemric::OneBased;

// KEEP (integers).
enum Keep : int {
  kEvals = 1,         // residual evaluations received
  kLiwNeeded = 2,     // INFO(4): length of IW needed
  kLwNeeded = 3,      // INFO(5): length of W needed
  kLwa = 4,           // length of the linear-algebra section LA of W
  kRt = 5,            // start in W of RT (M)
  kSx = 6,            // start in W of SX (N)
  kDf = 7,            // start in W of DF (M)
  kFc = 8,            // start in W of FC (M)
  kRc = 9,            // start in W of RC (M)
  kH = 10,            // start in W of H (N; only when differencing)
  kLiwa = 11,         // length of the linear-algebra section ILA of IW
  kIwd = 12,          // start in IW of the difference routine's IWD (2N+1)
  kRowPtr = 13,       // start in IW of the row pointers of B (M+1)
  kRowCol = 14,       // start in IW of the row-wise column indices (NZR)
  kNormPtr = 15,      // start in IW of the normal-pattern column pointers (N+1)
  kNormRow = 16,      // start in IW of the normal-pattern row indices (NE)
  kMaKeep = 17,       // start in IW of the MA57 KEEP
  kMaLkeep = 18,      // its length, 5N + 2NE + 42
  kMaWork = 19,       // start in IW of the MA57 integer work (N)
  kIfact = 20,        // start in IW of IFACT
  kDiffMode = 21,     // 1 when the Jacobian is differenced (HMAX > 0)
  kNzr = 22,          // distinct positions of J and A together
  kNe = 23,           // entries of the lower triangle of B^T B
  kDiffFlag = 25,     // reverse-communication flag of the difference routine
  kPrintState = 26,   // 1 nothing printed, 2 summary, 3 summary and vectors
  kIters = 27,        // iterations (trials) so far
  kDiffOrder = 35,    // 1 forward, 2 central differences
  kSavedScheme = 36,  // the caller's KEEP(62) while the difference routine runs
  kDiffIsave = 41,    // ISAVE(20) of the difference routine
  kDiffIcntl = 61,    // ICNTLD(5)
  kDiffScheme = kDiffIcntl + kIcntldScheme - 1,  // ICNTLD(2)
  kDiffInfo = 66,                                // INFOD(3)
  kMaIcntl = 71,                                 // MA57 ICNTL(20)
  kMaInfo = 91,                                  // MA57 INFO(40)
};

// The state of NS23AD itself that NS23SetDefaults clears: KEEP(1..40) and
// RKEEP(1..30).
constexpr int kOwnKeepLength = 40;
constexpr int kOwnRkeepLength = 30;

// RKEEP (reals).
enum Rkeep : int {
  kLamda = 1,       // Marquardt parameter
  kHalfMargin = 2,  // (1 - CNTL(3)) / 2
  kRelStep = 3,     // relative difference step
  kBig = 4,         // largest number
  kDelta = 5,       // step bound
  kLinRadius = 6,   // length of step within which differences are trusted
  kStepSq = 7,      // s^T s of the last step
  kCurv = 9,        // w^T s, (B^T B + delta I) w = -s (negative)
  kLsSq = 10,       // d^T d of the line-search direction
  kStepLen = 11,    // ||s|| of the last step
  kEps = 12,        // relative precision
  kMisfit = 13,     // squared misfit of the linear interpolation
  kLinFrac = 15,    // largest trusted fraction of the last step
  kMinusHmax = 17,  // -HMAX, the difference routine's largest step
  kPred = 18,       // predicted reduction
  kRatio = 19,      // actual over predicted reduction
  kSlope = 20,      // s^T g; in the line search d^T r
  kSs = 21,         // sum of squares at the current point
  kSsTrial = 22,    // sum of squares at the last trial point
  kSsPrev = 23,     // sum of squares of the previous trial
  kT = 24,          // line-search fraction
  kXnorm = 25,      // ||x||
  kDiffRsave = 31,  // RSAVE(10) of the difference routine
  kDiffCntl = 41,   // CNTLD(7)
  kDiffResidualError = kDiffCntl + kCntldResidualError - 1,  // CNTLD(6), from CNTL(4)
  kMaCntl = 48,                                              // MA57 CNTL(5)
  kMaRinfo = 53,                                             // MA57 RINFO(20)
};

// The MA57 arrays fill the ends of KEEP and RKEEP, one after the other.
// Callers outside the family reach them through NS23GetSparseSolverArrays.
static_assert(kMaIcntl + MA57_LICNTL == kMaInfo);
static_assert(kMaInfo + MA57_LINFO - 1 == NS23_LKEEP);
static_assert(kMaCntl + MA57_LCNTL == kMaRinfo);
static_assert(kMaRinfo + MA57_LRINFO - 1 == NS23_LRKEEP);

// LKEEP (logicals: -1 true, 0 false, only the lowest bit tested).
enum Lkeep : int {
  kAccepted = 1,      // a step was accepted since the last difference Jacobian
  kLineSearch = 3,    // a line-search trial is due or under way
  kFresh = 4,         // a new difference Jacobian is wanted, or just made
  kReevaluate = 5,    // F (and FJAC) must be obtained again at the current point
  kWithinTwice = 6,   // the last trial had SS trial <= 2 SS
};

inline bool IsTrue(int32_t v) { return (v & 1) != 0; }
inline int32_t Logical(bool b) { return b ? -1 : 0; }

// A 64-bit length clamped to what a 32-bit length argument can hold, so that
// a request for more than can ever be given stays visibly impossible.
inline int32_t Saturate(int64_t v) {
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  return v > kMax ? static_cast<int32_t>(kMax) : static_cast<int32_t>(v < 0 ? 0 : v);
}

// The lengths NS23AD needs in all (INFO(4), INFO(5)) from what the analysis
// of the pattern needs (KEEP(2), KEEP(3)): the difference routine's groups
// (2N + 1) after the integer section, and RT, SX, DF, FC, RC and the
// difference steps (s = N when differencing, else 0) after the real one.
inline int64_t IntegerLengthNeeded(int64_t analysis_liw, int64_t n) {
  return analysis_liw + 2 * n + 1;
}
inline int64_t RealLengthNeeded(int64_t analysis_lw, int64_t m, int64_t n, bool differences) {
  return analysis_lw + 4 * m + n + (differences ? n : 0);
}

}  // namespace pemric::ns23
