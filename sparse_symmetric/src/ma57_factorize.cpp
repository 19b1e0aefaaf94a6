// MA57BD: numerical factorization P A P^T = L D L^T of a sparse symmetric
// matrix whose pattern MA57AD analysed. This file holds the driver: argument
// checks, loading of the permuted matrix into the top of FACT and IFACT, and
// the checks of the result; the numerical work is MA57FrontalFactor, the
// monitoring reports are in ma57_factor_report.cpp.
#include <algorithm>
#include <cmath>

#include "ma57_checks.h"
#include "ma57_factor_report.h"
#include "ma57_frontal.h"
#include "ma57_gates.h"
#include "ma57_layout.h"
#include "ma57_phases.h"
#include "pemric/error_report.h"
#include "pemric/finite.h"
#include "pemric/ma57.h"
#include "pemric/ma57_trusted.h"
#include "pemric/one_based.h"
#include "pemric/record.h"

namespace pemric {
namespace {

using ma57::FactorArgs;
using ma57::Gates;
using ma57::Phase;

// The error of a KEEP that no successful analysis of this N and NE left, or
// whose word at `position` has been changed since.
bool NotAnalysed(const ErrorReport& report, int64_t position) {
  return report.Fail(MA57_ERR_NOT_ANALYSED, position,
                     ma57::FaultyComponent("KEEP holds no analysis for this N and NE", position));
}

// The analysis stamp, the two counts that size the sections, and the
// checksum of the sections (another NE, or any word changed since the
// analysis, fails it).
bool CheckAnalysed(int32_t n, int32_t ne, OneBased<const int32_t> keep, const ErrorReport& report) {
  using namespace ma57;
  if (keep(KeepAnalysedStamp(n)) != kAnalysed) return NotAnalysed(report, KeepAnalysedStamp(n));
  // One slot per row for the diagonal, and at most one per input entry more.
  const int64_t m = keep(KeepEntryCount(n));
  if (m < n || m > int64_t{n} + ne) return NotAnalysed(report, KeepEntryCount(n));
  const int32_t nodes = keep(KeepNodeCount(n));
  if (nodes < 1 || nodes > n) return NotAnalysed(report, KeepNodeCount(n));
  if (ContentChecksum(keep, n, ne) != keep(KeepContentChecksum(n))) {
    return NotAnalysed(report, KeepContentChecksum(n));
  }
  return true;
}

// Argument checks in their fixed order. Returns false after an error.
bool CheckArguments(const FactorArgs& f, const ErrorReport& report, bool checked) {
  const int32_t n = f.n;
  if (!ma57::CheckOrder(report, Phase::kFactorization, n) || !ma57::CheckEntryCount(report, f.ne) ||
      !ma57::CheckKeepLength(report, n, f.ne, f.lkeep)) {
    return false;
  }
  using ma57::ValueDetail;
  const int32_t mode = f.icntl(MA57_ICNTL_PIVOTING);
  if (mode < MA57_PIVOT_THRESHOLD || mode > MA57_PIVOT_MODIFIED) {
    return report.Fail(MA57_ERR_ICNTL7, mode, ValueDetail("ICNTL(7) has value", mode));
  }
  if (checked && !CheckAnalysed(n, f.ne, f.keep, report)) return false;
  const int64_t m = f.keep(ma57::KeepEntryCount(n));
  const int64_t int_need = m + n + 5;
  if (f.lifact < int_need) {
    f.info(MA57_INFO_MIN_LIFACT_COMPRESS) =
        static_cast<int32_t>(std::min<int64_t>(int_need, INT32_MAX));
    return report.Fail(MA57_ERR_LIFACT, f.lifact,
                       ValueDetail("Insufficient integer space in IFACT, LIFACT = ", f.lifact));
  }
  // Mode 4 keeps the modification data after the factors.
  const int64_t real_need = mode == MA57_PIVOT_MODIFIED ? m + n + 6 : m + 1;
  if (f.lfact < real_need) {
    f.info(MA57_INFO_MIN_LFACT_COMPRESS) =
        static_cast<int32_t>(std::min<int64_t>(real_need, INT32_MAX));
    return report.Fail(MA57_ERR_LFACT, f.lfact,
                       ValueDetail("Insufficient real space in FACT, LFACT = ", f.lfact));
  }
  return true;
}

// A resumed factorization (KEEP(N+3) > 0) needs the state that its suspension
// left: the stamp of a suspension for this reason in this pivoting mode, and
// FACT and IFACT at least as long as then (a caller may have enlarged them and
// moved the stacks).
bool CheckResumable(int32_t n,
                    int32_t lfact,
                    int32_t lifact,
                    int32_t mode,
                    OneBased<const int32_t> keep,
                    const ErrorReport& report) {
  using namespace ma57;
  const int32_t reason = keep(KeepState(n));
  if (reason > 2 || keep(KeepSuspendedStamp(n)) != SuspensionStamp(reason, mode)) {
    return report.Fail(MA57_ERR_RESUME, reason,
                       ValueDetail("No suspended factorization to resume, KEEP(N+3) =", reason));
  }
  if (lfact < keep(KeepSuspendedLfact(n))) {
    return report.Fail(MA57_ERR_RESUME, lfact,
                       ValueDetail("LFACT shorter than when suspended, LFACT =", lfact));
  }
  if (lifact < keep(KeepSuspendedLifact(n))) {
    return report.Fail(MA57_ERR_RESUME, lifact,
                       ValueDetail("LIFACT shorter than when suspended, LIFACT =", lifact));
  }
  return true;
}

// PIVSEQ lists the variables in pivot order.
void InvertOrder(int32_t n, OneBased<const int32_t> keep, OneBased<int32_t> pivseq) {
  for (int32_t i = 1; i <= n; ++i) pivseq(keep(i)) = i;
}

// What a fresh factorization reads of KEEP beyond its counts, and the values:
// the pivot order must be the one the analysis left (the caller writes
// KEEP(1..N) for an analysis in a supplied order) and a permutation, each map
// entry must lie in 0..M, and every value that the map keeps must be finite.
// On success PIVSEQ lists the variables in pivot order.
bool CheckEntries(int32_t n,
                  int32_t ne,
                  const double* a,
                  OneBased<const int32_t> keep,
                  OneBased<int32_t> pivseq,
                  const ErrorReport& report) {
  if (ma57::OrderChecksum(keep, n) != keep(ma57::KeepOrderChecksum(n))) {
    return NotAnalysed(report, ma57::KeepOrderChecksum(n));
  }
  std::fill(pivseq.data(), pivseq.data() + n, 0);
  for (int32_t i = 1; i <= n; ++i) {
    const int32_t k = keep(i);
    if (k < 1 || k > n || pivseq(k) != 0) return NotAnalysed(report, i);
    pivseq(k) = i;
  }
  const int32_t m = keep(ma57::KeepEntryCount(n));
  const OneBased<const int32_t> map(keep.from(ma57::KeepMap(n)));
  for (int32_t k = 1; k <= ne; ++k) {
    if (map(k) < 0 || map(k) > m) return NotAnalysed(report, ma57::KeepMap(n) + k - 1);
    if (map(k) > 0 && !std::isfinite(a[k - 1])) {
      return report.Fail(MA57_ERR_VALUE, k, ma57::ValueDetail("A(K) is not finite, K =", k));
    }
  }
  return true;
}

// The pivot step of the first value of the factors that is not finite, block
// by block: each block's pivot rows in turn (triangle row, rectangle row, and
// for the first member of a 2x2 pivot its off-diagonal in the area after the
// blocks). 0 when every value is finite.
int64_t FirstNonFiniteStep(OneBased<const double> fact, OneBased<const int32_t> ifact) {
  const int32_t blocks = ifact(kIfactBlocks);
  int64_t rec = kIfactRecords, pos = 1, area = ifact(kIfactAreaFirst), steps = 0;
  auto finite = [&](int64_t first, int64_t count) {
    for (int64_t q = first; q < first + count; ++q) {
      if (!std::isfinite(fact(q))) return false;
    }
    return true;
  };
  for (int32_t b = 1; b <= blocks; ++b) {
    const int64_t c = ifact(rec), p = ifact(rec + 1);
    const int64_t tri = p * (p + 1) / 2;
    int64_t row = pos;  // start of pivot row i of the triangle
    for (int64_t i = 1; i <= p; ++i) {
      const bool first_of_pair = ifact(rec + 1 + i) < 0 && i < p && ifact(rec + 2 + i) < 0;
      if (!finite(row, p - i + 1) || !finite(pos + tri + (i - 1) * (c - p), c - p) ||
          (first_of_pair && !finite(area, 1))) {
        return steps + i;
      }
      row += p - i + 1;
      if (first_of_pair) {
        area += 1;
        if (!finite(row, p - i) || !finite(pos + tri + i * (c - p), c - p)) return steps + i + 1;
        row += p - i;
        ++i;
      }
    }
    steps += p;
    pos += tri + p * (c - p);
    rec += c + 2;
  }
  return 0;
}

// After the kernel: a factorization that did not end with usable factors
// leaves IFACT(3) = 0, which the solution phase refuses, whatever the kernel
// left in IFACT; a suspension is stamped so that only its resumption goes on.
void StampOutcome(int32_t n,
                  int32_t lfact,
                  int32_t lifact,
                  int32_t mode,
                  OneBased<int32_t> keep,
                  OneBased<int32_t> ifact,
                  int32_t status) {
  using namespace ma57;
  const bool suspended = status == MA57_SUSPENDED_REAL || status == MA57_SUSPENDED_INTEGER;
  keep(KeepSuspendedStamp(n)) = suspended ? SuspensionStamp(keep(KeepState(n)), mode) : 0;
  if (suspended) {
    keep(KeepSuspendedLfact(n)) = lfact;
    keep(KeepSuspendedLifact(n)) = lifact;
  }
  if (status < 0 || suspended) ifact(kIfactBlocks) = 0;
}

// Factors with an infinity or a NaN (a pivot too small for its reciprocal, a
// multiplier or an update that overflowed) would hand the solution phase
// non-finite results under a success status: the factorization fails instead.
void CheckFactorsFinite(const Gates& gates,
                        OneBased<const double> fact,
                        OneBased<const int32_t> ifact,
                        OneBased<int32_t> info) {
  if (AllFinite(fact.data(), info(MA57_INFO_REAL_STORAGE))) return;
  const int64_t step = FirstNonFiniteStep(fact, ifact);
  const ErrorReport report(info.from(MA57_INFO_STATUS), info.from(MA57_INFO_VALUE),
                           ErrorStream{gates.lp, gates.errors()}, nullptr, 0);
  report.Fail(MA57_ERR_FACTORS_NOT_FINITE, step, [&](int32_t u) {
    Record{u};
    Record(u)
        .Text("*** Error message from routine MA57BD **")
        .Text("   INFO(1) = ")
        .I(MA57_ERR_FACTORS_NOT_FINITE, 3);
    Record(u).Text("Factors not finite at stage").I(step, 10);
  });
}

// The permuted matrix, row after row, at the top of FACT(1..la) and IFACT.
// Out-of-range input entries (map 0) land in FACT(la - m), never read.
void LoadPermutedMatrix(const FactorArgs& f, int64_t la) {
  const int32_t n = f.n, ne = f.ne;
  const int64_t m = f.keep(ma57::KeepEntryCount(n));
  const OneBased<double> fact(f.fact);
  const OneBased<double> values(fact.from(la - m + 1));  // values(k) is FACT(la - m + k)
  std::fill(values.data(), values.data() + m, 0.0);
  const OneBased<const int32_t> map(f.keep.from(ma57::KeepMap(n)));
  for (int32_t k = 1; k <= ne; ++k) {
    if (map(k) > 0) {
      values(map(k)) = f.a[k - 1];
    } else {
      fact(la - m) = f.a[k - 1];
    }
  }
  const int32_t* cols = f.keep.from(ma57::KeepColumns(n, ne));
  std::copy(cols, cols + m, OneBased<int32_t>(f.ifact).from(f.lifact - m + 1));
}

// The kernel's view of the factorization: the sections of KEEP that the
// analysis left, and, in mode 4, the modification data that sits after
// FACT(la) (outside mode 4 both designate FACT(1) and are never touched).
FrontalArgs KernelArgs(const FactorArgs& f, int64_t la) {
  using namespace ma57;
  const int32_t n = f.n;
  const bool modified = f.icntl(MA57_ICNTL_PIVOTING) == MA57_PIVOT_MODIFIED;
  FrontalArgs k;
  k.n = n;
  k.m = f.keep(KeepEntryCount(n));
  k.fact = f.fact;
  k.la = la;
  k.ifact = f.ifact;
  k.lifact = f.lifact;
  k.rowlen = f.keep.from(KeepRowCounts(n));
  k.pivseq = f.pivseq.data();
  k.nnodes = f.keep(KeepNodeCount(n));
  k.nchild = f.keep.from(KeepChildren(n));
  k.varnode = f.keep.from(KeepNodeOfVariable(n));
  k.moddiag = modified ? f.fact + la + 5 : f.fact;
  k.modscal = modified ? f.fact + la : f.fact;
  k.frontpos = f.keep.data();
  k.cntl = f.cntl.data();
  k.icntl = f.icntl.data();
  k.info = f.info.data();
  k.rinfo = f.rinfo.data();
  k.saved = f.keep.from(KeepState(n));
  return k;
}

// The factorization behind MA57BD and MA57FactorizeTrusted; `checked` adds the
// checks of what the analysis handed over (stamp, checksums, pivot order,
// map, finite values) and of a resumption.
void Factorize(const FactorArgs& f, bool checked) {
  const Gates gates(f.icntl.data());
  const ErrorReport errors = ma57::ArgumentErrors(Phase::kFactorization, gates, f.info.data());
  if (!CheckArguments(f, errors, checked)) return;
  const int32_t n = f.n;
  const int32_t mode = f.icntl(MA57_ICNTL_PIVOTING);
  int32_t& suspended = f.keep(ma57::KeepState(n));  // the first slot of the saved state
  if (!checked) {
    if (suspended <= 0) InvertOrder(n, f.keep, f.pivseq);
  } else if (suspended > 0 ? !CheckResumable(n, f.lfact, f.lifact, mode, f.keep, errors)
                           : !CheckEntries(n, f.ne, f.a, f.keep, f.pivseq, errors)) {
    return;
  }
  if (gates.monitor()) ma57::ReportFactorEntry(gates, f);
  // Mode 4 keeps its modification data in the last N + 5 cells of FACT.
  const int64_t la = mode == MA57_PIVOT_MODIFIED ? static_cast<int64_t>(f.lfact) - n - 5 : f.lfact;
  if (suspended <= 0) {  // no factorization suspended: start afresh
    suspended = 0;
    LoadPermutedMatrix(f, la);
  }
  MA57FrontalFactor(KernelArgs(f, la));
  const OneBased<int32_t> ifact(f.ifact);
  if (f.info(MA57_INFO_STATUS) == MA57_SUCCESS || f.info(MA57_INFO_STATUS) == MA57_WARN_SINGULAR) {
    CheckFactorsFinite(gates, OneBased<const double>(f.fact), ifact, f.info);
  }
  const int32_t status = f.info(MA57_INFO_STATUS);
  StampOutcome(n, f.lfact, f.lifact, mode, f.keep, ifact, status);
  if (status == MA57_SUSPENDED_REAL || status == MA57_SUSPENDED_INTEGER) {
    if (gates.monitor()) ma57::ReportFactorSuspension(gates, status);
    return;
  }
  // KEEP(1..N) served as the front positions; the pivot order goes back.
  for (int32_t k = 1; k <= n; ++k) f.keep(f.pivseq(k)) = k;
  if (gates.monitor() && status >= 0) ma57::ReportFactorExit(gates, f);
}

// The references of the entry, unpacked once.
FactorArgs Unpack(const int32_t* N,
                  const int32_t* NE,
                  const double* A,
                  double* FACT,
                  const int32_t* LFACT,
                  int32_t* IFACT,
                  const int32_t* LIFACT,
                  const int32_t* LKEEP,
                  int32_t* KEEP,
                  int32_t* PIVSEQ,
                  const int32_t* ICNTL,
                  const double* CNTL,
                  int32_t* INFO,
                  double* RINFO) {
  FactorArgs f;
  f.n = *N;
  f.ne = *NE;
  f.a = A;
  f.fact = FACT;
  f.lfact = *LFACT;
  f.ifact = IFACT;
  f.lifact = *LIFACT;
  f.lkeep = *LKEEP;
  f.keep = OneBased<int32_t>(KEEP);
  f.pivseq = OneBased<int32_t>(PIVSEQ);
  f.icntl = OneBased<const int32_t>(ICNTL);
  f.cntl = OneBased<const double>(CNTL);
  f.info = OneBased<int32_t>(INFO);
  f.rinfo = OneBased<double>(RINFO);
  return f;
}

}  // namespace

void MA57FactorizeTrusted(const int32_t* N,
                          const int32_t* NE,
                          const double* A,
                          double* FACT,
                          const int32_t* LFACT,
                          int32_t* IFACT,
                          const int32_t* LIFACT,
                          const int32_t* LKEEP,
                          int32_t* KEEP,
                          int32_t* PIVSEQ,
                          const int32_t* ICNTL,
                          const double* CNTL,
                          int32_t* INFO,
                          double* RINFO) {
  Factorize(Unpack(N, NE, A, FACT, LFACT, IFACT, LIFACT, LKEEP, KEEP, PIVSEQ, ICNTL, CNTL, INFO,
                   RINFO),
            false);
}

}  // namespace pemric

extern "C" PEMRIC_API void MA57BD(const int32_t* N,
                                  const int32_t* NE,
                                  const double* A,
                                  double* FACT,
                                  const int32_t* LFACT,
                                  int32_t* IFACT,
                                  const int32_t* LIFACT,
                                  const int32_t* LKEEP,
                                  int32_t* KEEP,
                                  int32_t* PIVSEQ,
                                  const int32_t* ICNTL,
                                  const double* CNTL,
                                  int32_t* INFO,
                                  double* RINFO) {
  pemric::Factorize(pemric::Unpack(N, NE, A, FACT, LFACT, IFACT, LIFACT, LKEEP, KEEP, PIVSEQ,
                                   ICNTL, CNTL, INFO, RINFO),
                    true);
}
