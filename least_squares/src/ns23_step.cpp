// The Marquardt step of each iteration: the shifted normal matrix
// B^T B + delta I formed in place, factorized by MA57BD, and two solutions
// by MA57CD for the step and its curvature.
//
// Layout of the linear-algebra section W(1..LWA):
//   1 .. NE            values of the normal matrix in normal-pattern order;
//                      after the factorization the first N cells are the
//                      solution phase's work array
//   NE+1 .. LWA        FACT; before each factorization its top NZR + N cells
//                      hold the row-wise values of B and a dense accumulator
//
// Forming B^T B is a straight pass over the columns when no position of B is
// given twice, which is the usual case: the row pointers then double as
// per-row cursors (FormByCursors), so no entry's slot in its row is ever
// searched for. Repeated positions, whose values are summed into one slot,
// take the searching passes (ScatterRows, FormNormal).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "ns23_layout.h"
#include "ns23_print.h"
#include "ns23_step.h"
#include "pemric/blas.h"
#include "pemric/finite.h"
#include "pemric/ma57_trusted.h"
#include "pemric/record.h"

namespace pemric {
namespace {

using ns23::StepArrays;

// Visits the entries (row, value) of column j of J and then of A.
template <class Visit>
void ForEachEntry(const StepArrays& a, const double* fjac, const double* aval, int32_t j,
                  Visit&& visit) {
  // IP may carry the difference Jacobian's negative column marks.
  const int32_t jend = std::abs(a.ip(j + 1)), aend = a.aip(j + 1);
  for (int32_t k = std::abs(a.ip(j)); k < jend; ++k) visit(a.irn(k), fjac[k - 1]);
  for (int32_t k = a.aip(j); k < aend; ++k) visit(a.airn(k), aval[k - 1]);
}

// Column index of the slot p of the row-wise copy; the last slot of each row
// holds its column negated, which marks the row's end.
inline int32_t Column(const StepArrays& a, int32_t p) { return std::abs(a.rowcol(p)); }

// Adds v B(i, c) to acc(c) for the slots of row i from p to the row's end.
// The columns of one row are distinct, so the order of the additions within
// the row does not matter.
inline void AddRowTail(const StepArrays& a, int32_t p, double v) {
  for (;; ++p) {
    const int32_t c = a.rowcol(p);
    if (c < 0) {
      a.acc(-c) += a.rowval(p) * v;
      return;
    }
    a.acc(c) += a.rowval(p) * v;
  }
}

// Moves column k of the lower triangle of B^T B from the accumulator to its
// place in the normal pattern, leaving the accumulator zero.
inline void GatherColumn(const StepArrays& a, int32_t k) {
  for (int32_t q = a.nptr(k); q < a.nptr(k + 1); ++q) {
    const int32_t c = a.nrow(q);
    a.nval(q) = a.acc(c);
    a.acc(c) = 0.0;
  }
}

// The largest diagonal value of the normal matrix (the first entry of each
// column; values that are NaN are passed over).
double MaxDiagonal(const StepArrays& a) {
  double maxdiag = 0.0;
  for (int32_t k = 1; k <= a.n; ++k) maxdiag = std::max(maxdiag, a.nval(a.nptr(k)));
  return maxdiag;
}

// True when no position of B is given twice (in J, in A, or in both), so
// that every entry has a slot of its own in the row-wise copy.
bool EntriesDistinct(const StepArrays& a) {
  const int64_t entries = int64_t{std::abs(a.ip(a.n + 1))} - 1 + (a.aip(a.n + 1) - 1);
  return entries == a.nzr;
}

// B row by row and B^T B in one pass over the columns from N down to 1, for
// a B whose entries have slots of their own. Each row pointer, first moved to
// the end of its row, is the row's cursor: the column k now met takes the
// slot just below it, because the row's later columns took the slots above.
// The row's slots from the cursor to its end then hold B(i, c) for every
// c >= k, which is what column k of the lower triangle needs; and when all
// columns are done, every pointer is back at the start of its row.
// Example: rows [1 3] and [2 3], pointers (1, 3, 5) become (3, 5, 5); column
// 3 takes slots 2 and 4, column 2 slot 3, column 1 slot 1: (1, 3, 5) again.
// Per column, the sums run over the column's entries in their order, as in
// FormNormal, so the values are those of the searching passes.
void FormByCursors(const StepArrays& a, const double* fjac, const double* aval) {
  for (int32_t i = 1; i <= a.m; ++i) a.rowptr(i) = a.rowptr(i + 1);
  for (int32_t c = 1; c <= a.n; ++c) a.acc(c) = 0.0;
  for (int32_t k = a.n; k >= 1; --k) {
    ForEachEntry(a, fjac, aval, k, [&](int32_t i, double v) {
      const int32_t p = --a.rowptr(i);
      a.rowval(p) = 0.0 + v;
      AddRowTail(a, p, v);
    });
    GatherColumn(a, k);
  }
}

// Rows up to this length are searched linearly: most rows of a sparse
// Jacobian hold a handful of columns, where a scan beats the branches of a
// binary search; longer rows keep the logarithmic search.
constexpr int32_t kLinearSlotSearch = 16;

// Position of column j in the increasing column list of row i.
inline int32_t Slot(const StepArrays& a, int32_t i, int32_t j) {
  const int32_t first = a.rowptr(i), last = a.rowptr(i + 1);
  if (last - first <= kLinearSlotSearch) {
    int32_t p = first;
    while (p < last && Column(a, p) < j) ++p;
    return p;
  }
  int32_t lo = first, hi = last;  // the slot lies in [lo, hi]
  while (lo < hi) {
    const int32_t mid = lo + (hi - lo) / 2;
    if (Column(a, mid) < j) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

// B row by row, repeated positions summed.
void ScatterRows(const StepArrays& a, const double* fjac, const double* aval) {
  for (int32_t p = 1; p <= a.nzr; ++p) a.rowval(p) = 0.0;
  for (int32_t j = 1; j <= a.n; ++j) {
    ForEachEntry(a, fjac, aval, j, [&](int32_t i, double v) { a.rowval(Slot(a, i, j)) += v; });
  }
}

// Column k of the lower triangle of B^T B: sum over the entries (i, k) of
// B(i, c) B(i, k) for c >= k, gathered in the dense accumulator, which is
// left zero again.
void FormNormal(const StepArrays& a, const double* fjac, const double* aval) {
  for (int32_t c = 1; c <= a.n; ++c) a.acc(c) = 0.0;
  for (int32_t k = 1; k <= a.n; ++k) {
    ForEachEntry(a, fjac, aval, k, [&](int32_t i, double v) { AddRowTail(a, Slot(a, i, k), v); });
    GatherColumn(a, k);
  }
}

}  // namespace

namespace ns23 {

// The sections of ILA from the starts the analysis recorded in KEEP; those
// of LA as laid out above, the row-wise values of B and the accumulator at
// the top of FACT.
StepArrays Carve(const Patterns& b,
                 const Workspace& la,
                 OneBased<int32_t> keep,
                 OneBased<double> rkeep) {
  OneBased<int32_t> iw(la.iw);
  OneBased<double> w(la.w);
  const int32_t nzr = keep(kNzr);
  const int32_t ne = keep(kNe);
  const int64_t top = int64_t{la.lw} - nzr - b.n;
  StepArrays a;
  a.m = b.m;
  a.n = b.n;
  a.irn = OneBased<const int32_t>(b.irn);
  a.ip = OneBased<const int32_t>(b.ip);
  a.airn = OneBased<const int32_t>(b.airn);
  a.aip = OneBased<const int32_t>(b.aip);
  a.rowptr = OneBased<int32_t>(iw.from(keep(kRowPtr)));
  a.rowcol = OneBased<const int32_t>(iw.from(keep(kRowCol)));
  a.nptr = OneBased<const int32_t>(iw.from(keep(kNormPtr)));
  a.nrow = OneBased<const int32_t>(iw.from(keep(kNormRow)));
  a.nzr = nzr;
  a.ne = ne;
  a.makeep = iw.from(keep(kMaKeep));
  a.lkeep_ma57 = keep(kMaLkeep);
  a.mawork = iw.from(keep(kMaWork));
  a.ifact = iw.from(keep(kIfact));
  a.lifact = static_cast<int32_t>(int64_t{la.liw} - keep(kIfact) + 1);
  a.nval = OneBased<double>(w.from(1));
  a.fact = w.from(int64_t{ne} + 1);
  a.lfact = static_cast<int32_t>(int64_t{la.lw} - ne);
  a.rowval = OneBased<double>(w.from(top + 1));
  a.acc = OneBased<double>(w.from(top + nzr + 1));
  a.ma_icntl = keep.from(kMaIcntl);
  a.ma_cntl = rkeep.from(kMaCntl);
  a.ma_info = keep.from(kMaInfo);
  a.ma_rinfo = rkeep.from(kMaRinfo);
  return a;
}

int32_t NS23Factorize(const StepArrays& a, const double* fjac, const double* aval, double lamda) {
  const int32_t eps_index = MACHINE_EPSILON;
  double mult = MachineConstant(&eps_index);
  const bool distinct = EntriesDistinct(a);
  for (int attempt = 1; attempt <= 10; ++attempt, mult *= 2.0) {
    if (distinct) {
      FormByCursors(a, fjac, aval);
    } else {
      ScatterRows(a, fjac, aval);
      FormNormal(a, fjac, aval);
    }
    const double maxdiag = MaxDiagonal(a);
    double delta = mult * maxdiag;
    if (delta < lamda) delta = lamda;
    for (int32_t k = 1; k <= a.n; ++k) a.nval(a.nptr(k)) += delta;
    if (!AllFinite(a.nval.data(), a.ne)) return NS23_ERR_NOT_FINITE;  // no shift can help
    MA57FactorizeTrusted(&a.n, &a.ne, a.nval.from(1), a.fact, &a.lfact, a.ifact, &a.lifact,
                         &a.lkeep_ma57, a.makeep, a.mawork, a.ma_icntl, a.ma_cntl, a.ma_info,
                         a.ma_rinfo);
    if (OneBased<const int32_t>(a.ma_info)(MA57_INFO_STATUS) >= 0) return 0;
  }
  return NS23_ERR_FACTORIZATION;
}

namespace {

// One MA57CD solution in place of rhs (N), with the normal values' first N
// cells as its work array.
void SolveInPlace(const StepArrays& a, double* rhs) {
  const int32_t job = MA57_JOB_FULL;
  const int32_t nrhs = 1;
  MA57SolveTrusted(&job, &a.n, a.fact, &a.lfact, a.ifact, &a.lifact, &nrhs, rhs, &a.n,
                   a.nval.from(1), &a.n, a.mawork, a.ma_icntl, a.ma_info);
}

// " The norm of the vector V is" and, at print state 3, the vector g itself.
void PrintGradient(const StepPrinting& printing, const double* g, int32_t n) {
  if (printing.state <= 1 || printing.unit <= 0) return;
  Record(printing.unit)
      .Text(" The norm of the vector V is")
      .P(1)
      .E(std::sqrt(blas::Ddot(n, g, 1, g, 1)), 12, 4);
  if (printing.state > 2) PrintVector(printing.unit, " The current vector V is", g, n);
}

}  // namespace

StepMeasures NS23SolveStep(const StepArrays& a,
                           const StepVectors& v,
                           double lamda,
                           const StepPrinting& printing) {
  const int32_t m = a.m, n = a.n;
  double* g = v.g;
  double* s = v.s;
  for (int32_t j = 0; j < n; ++j) g[j] = 0.0;
  NS23SparseMatVec(m, n, v.fjac, v.r, g, 1, a.irn.data(), a.ip.data());
  NS23SparseMatVec(m, n, v.aval, v.r, g, 1, a.airn.data(), a.aip.data());
  for (int32_t j = 0; j < n; ++j) s[j] = -g[j];
  PrintGradient(printing, g, n);
  StepMeasures measures;
  SolveInPlace(a, s);
  measures.ssq = blas::Ddot(n, s, 1, s, 1);
  measures.slope = blas::Ddot(n, s, 1, g, 1);
  for (int32_t j = 0; j < n; ++j) g[j] = -s[j];
  SolveInPlace(a, g);
  measures.curv = blas::Ddot(n, s, 1, g, 1);
  measures.pred = lamda * measures.ssq - measures.slope;
  return measures;
}

}  // namespace ns23
}  // namespace pemric
