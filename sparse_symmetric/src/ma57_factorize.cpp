// MA57BD: numerical factorization P A P^T = L D L^T of a sparse symmetric
// matrix whose pattern MA57AD analysed. This file holds the driver: argument
// checks, loading of the permuted matrix into the top of FACT and IFACT, and
// the monitoring reports; the numerical work is MA57FrontalFactor.
#include <algorithm>
#include <cmath>

#include "ma57_frontal.h"
#include "ma57_gates.h"
#include "ma57_layout.h"
#include "pemric/error_report.h"
#include "pemric/finite.h"
#include "pemric/ma57.h"
#include "pemric/ma57_trusted.h"
#include "pemric/one_based.h"
#include "pemric/record.h"

namespace pemric {
namespace {

using ma57::Gates;

ErrorReport ArgumentErrors(const Gates& gates, OneBased<int32_t> info) {
  return ma57::PhaseErrors(gates, info.data(), "**** Error return from MA57BD ****  INFO(1) =", 3);
}

// The error of a KEEP that no successful analysis of this N and NE left, or
// whose word at `position` has been changed since.
bool NotAnalysed(const ErrorReport& report, int64_t position) {
  return report.Fail(MA57_ERR_NOT_ANALYSED, position, [&](int32_t u) {
    Record(u).Text("KEEP holds no analysis for this N and NE");
    Record(u).Text("Component").I(position, 10).Text(" is faulty");
  });
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
bool CheckArguments(int32_t n,
                    int32_t ne,
                    int32_t lfact,
                    int32_t lifact,
                    int32_t lkeep,
                    OneBased<const int32_t> keep,
                    OneBased<const int32_t> icntl,
                    OneBased<int32_t> info,
                    const Gates& gates,
                    bool checked) {
  using ma57::ValueDetail;
  const ErrorReport report = ArgumentErrors(gates, info);
  if (n < 1) return report.Fail(MA57_ERR_N, n, ValueDetail("N has value ", n));
  if (ne < 0) return report.Fail(MA57_ERR_NE, ne, ValueDetail("NE has value", ne));
  const int64_t bound = ma57::MinimumLkeep(n, ne);
  if (lkeep < bound) {
    return report.Fail(MA57_ERR_LKEEP, lkeep, [&](int32_t u) {
      Record(u).Text("LKEEP has value    ").I(lkeep, 10);
      Record(u).Text("Should be at least ").I(bound, 10);
    });
  }
  const int32_t mode = icntl(MA57_ICNTL_PIVOTING);
  if (mode < MA57_PIVOT_THRESHOLD || mode > MA57_PIVOT_MODIFIED) {
    return report.Fail(MA57_ERR_ICNTL7, mode, ValueDetail("ICNTL(7) has value", mode));
  }
  if (checked && !CheckAnalysed(n, ne, keep, report)) return false;
  const int64_t m = keep(ma57::KeepEntryCount(n));
  const int64_t int_need = m + n + 5;
  if (lifact < int_need) {
    info(MA57_INFO_MIN_LIFACT_COMPRESS) =
        static_cast<int32_t>(std::min<int64_t>(int_need, INT32_MAX));
    return report.Fail(MA57_ERR_LIFACT, lifact,
                       ValueDetail("Insufficient integer space in IFACT, LIFACT = ", lifact));
  }
  // Mode 4 keeps the modification data after the factors.
  const int64_t real_need = mode == MA57_PIVOT_MODIFIED ? m + n + 6 : m + 1;
  if (lfact < real_need) {
    info(MA57_INFO_MIN_LFACT_COMPRESS) =
        static_cast<int32_t>(std::min<int64_t>(real_need, INT32_MAX));
    return report.Fail(MA57_ERR_LFACT, lfact,
                       ValueDetail("Insufficient real space in FACT, LFACT = ", lfact));
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

// Ten values to a line, or all at level 4, in `per_line` fields of width 12.
void PrintList(
    const Gates& gates, const char* title, const int32_t* v, int64_t count, const char* dots) {
  Record{gates.mp};
  Record(gates.mp).Text(title);
  const int64_t shown = gates.Shown(count);
  for (int64_t start = 0; start < shown; start += 5) {
    Record r(gates.mp);
    for (int64_t k = start; k < std::min(shown, start + 5); ++k) r.I(v[k], 12);
  }
  if (shown < count) Record(gates.mp).X(16).Text(dots);
}

using ma57::Labelled;

const Labelled kEntryControls[] = {
    {"ICNTL(1)  Stream for errors                 =", MA57_ICNTL_ERROR_STREAM},
    {" --- (2)  Stream for warnings               =", MA57_ICNTL_WARNING_STREAM},
    {" --- (3)  Stream for monitoring             =", MA57_ICNTL_MONITOR_STREAM},
    {" --- (4)  Stream for statistics             =", MA57_ICNTL_STATISTICS_STREAM},
    {" --- (5)  Level of diagnostic printing      =", MA57_ICNTL_PRINT_LEVEL},
    {" --- (7)  Numerical pivoting control        =", MA57_ICNTL_PIVOTING},
    {" --- (8)  Restart or discard factors        =", MA57_ICNTL_SUSPEND},
    {" --- (11) Block size for Level 3 BLAS       =", MA57_ICNTL_BLOCK_SIZE},
};

const Labelled kExitInformation[] = {
    {"INFO (1)                                      =", MA57_INFO_STATUS},
    {" --- (2)                                      =", MA57_INFO_VALUE},
    {" --- (14) Number of entries in factors        =", MA57_INFO_FACTOR_ENTRIES},
    {" --- (15) Real storage for factors            =", MA57_INFO_REAL_STORAGE},
    {" --- (16) Integer storage for factors         =", MA57_INFO_INTEGER_STORAGE},
    {" --- (17) Min LFACT with compresses           =", MA57_INFO_MIN_LFACT_COMPRESS},
    {" --- (18) Min LIFACT with compresses          =", MA57_INFO_MIN_LIFACT_COMPRESS},
    {" --- (19) Min LFACT without compresses        =", MA57_INFO_MIN_LFACT_NO_COMPRESS},
    {" --- (20) Min LIFACT without compresses       =", MA57_INFO_MIN_LIFACT_NO_COMPRESS},
    {" --- (21) Order of largest frontal matrix     =", MA57_INFO_LARGEST_FRONT},
    {" --- (22) Number of 2x2 pivots                =", MA57_INFO_TWO_BY_TWO},
    {" --- (23) Number of delayed pivots            =", MA57_INFO_DELAYED},
    {" --- (24) Number of negative eigenvalues      =", MA57_INFO_NEGATIVE},
    {" --- (25) Rank of factorization               =", MA57_INFO_RANK},
    {" --- (28) Number compresses on real data      =", MA57_INFO_REAL_COMPRESSES},
    {" --- (29) Number compresses on integer data   =", MA57_INFO_INTEGER_COMPRESSES},
    {" --- (31) Number of block pivots in factors   =", MA57_INFO_BLOCK_PIVOTS},
};

const Labelled kExitOperations[] = {
    {"RINFO(3)  Operations during node assembly     =  ", MA57_RINFO_ASSEMBLY_OPS},
    {"-----(4)  Operations during node elimination  =  ", MA57_RINFO_ELIMINATION_OPS},
    {"-----(5)  Extra operations because of BLAS    =  ", MA57_RINFO_BLAS_EXTRA_OPS},
};

void EntryReport(const Gates& gates,
                 int32_t n,
                 int32_t ne,
                 const double* a,
                 int32_t lfact,
                 int32_t lifact,
                 OneBased<const int32_t> keep,
                 OneBased<const int32_t> icntl,
                 OneBased<const double> cntl) {
  const int32_t u = gates.mp;
  const int32_t nodes = keep(ma57::KeepNodeCount(n));
  const int32_t m = keep(ma57::KeepEntryCount(n));
  Record{u};
  Record{u};
  Record(u).Text("Entering factorization phase (MA57BD) with ...");
  if (keep(ma57::KeepState(n)) > 0) Record(u).Text("Re-entry call after call to MA57ED");
  Record(u).Text("N       Order of input matrix               =").I(n, 12);
  Record(u).Text("NE      Entries in input matrix             =").I(ne, 12);
  Record(u).Text("        Entries in input matrix (inc diags) =").I(m, 12);
  for (const Labelled& c : kEntryControls) Record(u).Text(c.label).I(icntl(c.position), 12);
  Record(u).Text("LFACT   Size of real working space          =").I(lfact, 12);
  Record(u).Text("LIFACT  Size of integer working space       =").I(lifact, 12);
  Record(u).Text("        Number nodes in assembly tree       =").I(nodes, 12);
  Record(u)
      .Text("CNTL(1) Value of threshold parameter        =")
      .D(cntl(MA57_CNTL_THRESHOLD), 12, 5);
  Record(u)
      .Text("CNTL(2) Threshold for zero pivot            =")
      .D(cntl(MA57_CNTL_ZERO_PIVOT), 12, 5);
  if (ne >= 1) {
    Record{u};
    Record(u).Text("Matrix entries:");
    const int64_t shown = gates.Shown(ne);
    for (int64_t start = 0; start < shown; start += 3) {
      Record r(u);
      r.P(1);
      for (int64_t k = start; k < std::min(shown, start + 3); ++k) {
        r.I(k + 1, 6).Text(": (").D(a[k], 16, 8).Text(")");
      }
    }
    if (shown < ne) Record(u).Text("     . . .");
  }
  PrintList(gates, "Permutation array:", keep.from(ma57::KeepOrder()), n, " . . .");
  PrintList(gates,
            "Number of entries in rows of permuted matrix:", keep.from(ma57::KeepRowCounts(n)), n,
            " . . .");
  PrintList(gates,
            "Tree nodes at which variables eliminated:", keep.from(ma57::KeepNodeOfVariable(n)), n,
            " . . .");
  if (nodes >= 1) {
    PrintList(gates, "Number of assemblies at each tree node:", keep.from(ma57::KeepChildren(n)),
              nodes, " . . .");
  }
  PrintList(gates, "Map array:", keep.from(ma57::KeepMap(n)), ne, " . . .");
  PrintList(gates, "Column indices of permuted matrix:", keep.from(ma57::KeepColumns(n, ne)), m,
            "     . . .");
}

void ExitReport(const Gates& gates, OneBased<const int32_t> info, OneBased<const double> rinfo) {
  const int32_t u = gates.mp;
  Record{u};
  Record(u).Text("Leaving factorization phase (MA57BD) with ...");
  for (const Labelled& i : kExitInformation) Record(u).Text(i.label).I(info(i.position), 12);
  for (const Labelled& r : kExitOperations)
    Record(u).Text(r.label).P(1).D(rinfo(r.position), 10, 3);
  if (info(MA57_INFO_FIRST_MODIFIED) >= 1) {
    Record(u).Text("Matrix modification performed");
    Record(u)
        .Text("INFO (27) Step at which matrix first modified =")
        .I(info(MA57_INFO_FIRST_MODIFIED), 12);
    Record(u)
        .Text("RINFO(14) Maximum value added to diagonal     =  ")
        .P(1)
        .D(rinfo(MA57_RINFO_MAX_DIAGONAL_ADDED), 10, 3);
    Record(u)
        .Text("RINFO(15) Smallest pivot in modified matrix   =  ")
        .P(1)
        .D(rinfo(MA57_RINFO_SMALLEST_MODIFIED_PIVOT), 10, 3);
  }
}

void SuspensionReport(const Gates& gates, int32_t status) {
  Record{gates.mp};
  Record(gates.mp).Text("Leaving factorization phase (MA57BD) with ...");
  Record(gates.mp).Text(status == MA57_SUSPENDED_REAL
                            ? "Factorization suspended because of lack of real space"
                            : "Factorization suspended because of lack of integer space");
  Record(gates.mp).Text("INFO (1) = ").I(status, 3);
}

// The permuted matrix, row after row, at the top of FACT(1..la) and IFACT.
// Out-of-range input entries (map 0) land in FACT(la - m), never read.
void LoadPermutedMatrix(int32_t n,
                        int32_t ne,
                        const double* a,
                        OneBased<double> fact,
                        int64_t la,
                        OneBased<int32_t> ifact,
                        int32_t lifact,
                        OneBased<const int32_t> keep) {
  const int64_t m = keep(ma57::KeepEntryCount(n));
  const OneBased<double> values(fact.from(la - m + 1));  // values(k) is FACT(la - m + k)
  std::fill(values.data(), values.data() + m, 0.0);
  const OneBased<const int32_t> map(keep.from(ma57::KeepMap(n)));
  for (int32_t k = 1; k <= ne; ++k) {
    if (map(k) > 0) {
      values(map(k)) = a[k - 1];
    } else {
      fact(la - m) = a[k - 1];
    }
  }
  const int32_t* cols = keep.from(ma57::KeepColumns(n, ne));
  std::copy(cols, cols + m, ifact.from(lifact - m + 1));
}

// The factorization behind MA57BD and MA57FactorizeTrusted; `checked` adds the
// checks of what the analysis handed over (stamp, checksums, pivot order,
// map, finite values) and of a resumption.
void Factorize(const int32_t* N,
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
               double* RINFO,
               bool checked) {
  const ma57::Gates gates(ICNTL);
  const OneBased<const int32_t> icntl(ICNTL);
  const OneBased<int32_t> keep(KEEP), info(INFO);
  const int32_t n = *N, ne = *NE;
  if (!CheckArguments(n, ne, *LFACT, *LIFACT, *LKEEP, keep, icntl, info, gates, checked)) return;
  const int32_t mode = icntl(MA57_ICNTL_PIVOTING);
  int32_t& suspended = keep(ma57::KeepState(n));  // the first slot of the saved state
  const ErrorReport errors = ArgumentErrors(gates, info);
  if (!checked) {
    if (suspended <= 0) InvertOrder(n, keep, OneBased<int32_t>(PIVSEQ));
  } else if (suspended > 0 ? !CheckResumable(n, *LFACT, *LIFACT, mode, keep, errors)
                           : !CheckEntries(n, ne, A, keep, OneBased<int32_t>(PIVSEQ), errors)) {
    return;
  }
  if (gates.monitor()) {
    EntryReport(gates, n, ne, A, *LFACT, *LIFACT, keep, icntl, OneBased<const double>(CNTL));
  }
  // Mode 4 keeps its modification data in the last N + 5 cells of FACT.
  const int64_t la = mode == MA57_PIVOT_MODIFIED ? static_cast<int64_t>(*LFACT) - n - 5 : *LFACT;
  const int32_t m = keep(ma57::KeepEntryCount(n));
  if (suspended <= 0) {  // no factorization suspended: start afresh
    suspended = 0;
    LoadPermutedMatrix(n, ne, A, OneBased<double>(FACT), la, OneBased<int32_t>(IFACT), *LIFACT,
                       keep);
  }
  // Modification data sits after FACT(la); outside mode 4 both designate
  // FACT(1) and are never touched.
  double* moddiag = mode == MA57_PIVOT_MODIFIED ? FACT + la + 5 : FACT;
  double* modscal = mode == MA57_PIVOT_MODIFIED ? FACT + la : FACT;
  MA57FrontalFactor(n, m, FACT, la, IFACT, *LIFACT, keep.from(ma57::KeepRowCounts(n)), PIVSEQ,
                    keep(ma57::KeepNodeCount(n)), keep.from(ma57::KeepChildren(n)),
                    keep.from(ma57::KeepNodeOfVariable(n)), moddiag, modscal, KEEP, CNTL, ICNTL,
                    INFO, RINFO, keep.from(ma57::KeepState(n)));
  if (info(MA57_INFO_STATUS) == MA57_SUCCESS || info(MA57_INFO_STATUS) == MA57_WARN_SINGULAR) {
    CheckFactorsFinite(gates, OneBased<const double>(FACT), OneBased<const int32_t>(IFACT), info);
  }
  const int32_t status = info(MA57_INFO_STATUS);
  StampOutcome(n, *LFACT, *LIFACT, mode, keep, OneBased<int32_t>(IFACT), status);
  if (status == MA57_SUSPENDED_REAL || status == MA57_SUSPENDED_INTEGER) {
    if (gates.monitor()) SuspensionReport(gates, status);
    return;
  }
  // KEEP(1..N) served as the front positions; the pivot order goes back.
  for (int32_t k = 1; k <= n; ++k) keep(PIVSEQ[k - 1]) = k;
  if (gates.monitor() && status >= 0) {
    ExitReport(gates, info, OneBased<const double>(RINFO));
    MA57PrintFactors(FACT, *LFACT, IFACT, *LIFACT, ICNTL);
  }
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
  Factorize(N, NE, A, FACT, LFACT, IFACT, LIFACT, LKEEP, KEEP, PIVSEQ, ICNTL, CNTL, INFO, RINFO,
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
  pemric::Factorize(N, NE, A, FACT, LFACT, IFACT, LIFACT, LKEEP, KEEP, PIVSEQ, ICNTL, CNTL, INFO,
                    RINFO, true);
}
