// Pattern work done once per problem: the pattern of B = J + A row by row,
// the lower triangle of the pattern of the normal matrix B^T B, and its
// symbolic analysis by MA57AD.
//
// Layout of IW after the analysis (counted from 1):
//   1 ..                 row pointers of B (M+1)
//   M+2 ..               column indices of each row of B, increasing, the
//                        last of each row negated to mark the row's end (NZR)
//   M+NZR+2 ..           column pointers of the normal pattern (N+1)
//   M+NZR+N+3 ..         its row indices, column k holding k first (NE)
//   then                 MA57 KEEP (5N + 2NE + 42), MA57 integer work (N),
//                        IFACT (the rest of the section)
// While the analysis runs, the last M cells of IW are row (then column)
// marks, and the last 5N + NE cells hold MA57AD's work array followed by the
// column index of every normal-pattern entry.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "ns23_layout.h"
#include "ns23_step.h"

namespace pemric {
namespace {

using ns23::Saturate;

// The column-compressed patterns of J and A viewed from 1, IP through the
// absolute values of its cells.
struct PatternView {
  explicit PatternView(const ns23::Patterns& b)
      : irn(b.irn), ip(b.ip), airn(b.airn), aip(b.aip) {}
  OneBased<const int32_t> irn, ip, airn, aip;
  template <class Visit>
  void ForEachRow(int32_t j, Visit&& visit) const {
    // The bounds are read once: the visits write to arrays the compiler
    // cannot tell apart from the patterns.
    const int32_t jend = std::abs(ip(j + 1)), aend = aip(j + 1);
    for (int32_t k = std::abs(ip(j)); k < jend; ++k) visit(irn(k));
    for (int32_t k = aip(j); k < aend; ++k) visit(airn(k));
  }
};

// Counts the distinct positions of each row into iw(2..M+1); returns NZR.
int64_t CountRows(
    const PatternView& p, int32_t m, int32_t n, OneBased<int32_t> iw, OneBased<int32_t> mark) {
  for (int32_t i = 1; i <= m + 1; ++i) iw(i) = 0;
  for (int32_t i = 1; i <= m; ++i) mark(i) = 0;
  int64_t nzr = 0;
  for (int32_t j = 1; j <= n; ++j) {
    p.ForEachRow(j, [&](int32_t i) {
      if (mark(i) == j) return;
      mark(i) = j;
      iw(i + 1) += 1;
      ++nzr;
    });
  }
  return nzr;
}

// Fills the column indices of each row, increasing: pointers first mark the
// end of each row, then columns taken from N down to 1 are stored from the
// end, which leaves each pointer at the start of its row.
// Example: rows of counts (2, 1) give ends (3, 4); columns 2 (rows 1, 2) then
// 1 (row 1) are stored at 2, 3, 1: row 1 = [1 2], row 2 = [2].
void FillRows(
    const PatternView& p, int32_t m, int32_t n, OneBased<int32_t> iw, OneBased<int32_t> mark) {
  OneBased<int32_t> ptr(iw.from(1));
  OneBased<int32_t> col(iw.from(int64_t{m} + 2));
  ptr(1) = 1;
  for (int32_t i = 1; i <= m; ++i) ptr(i + 1) += ptr(i);  // cells 2..M+1 held the counts
  const int32_t total = ptr(m + 1) - 1;
  for (int32_t i = 1; i <= m; ++i) ptr(i) = ptr(i + 1);  // one past the end of row i
  for (int32_t i = 1; i <= m; ++i) mark(i) = 0;
  for (int32_t j = n; j >= 1; --j) {
    p.ForEachRow(j, [&](int32_t i) {
      if (mark(i) == j) return;
      mark(i) = j;
      ptr(i) -= 1;
      col(ptr(i)) = j;
    });
  }
  ptr(m + 1) = total + 1;
}

// Negates the last column index of each row, which marks the row's end for
// the passes that walk a row from some slot to its end (here and in
// NS23Factorize).
void MarkRowEnds(int32_t m, OneBased<int32_t> iw) {
  OneBased<const int32_t> ptr(iw.from(1));
  OneBased<int32_t> col(iw.from(int64_t{m} + 2));
  for (int32_t i = 1; i <= m; ++i) {
    if (ptr(i + 1) > ptr(i)) col(ptr(i + 1) - 1) = -col(ptr(i + 1) - 1);
  }
}

// Position of column k in row i's increasing (end-marked) list col(first ..
// last - 1), which holds it.
int32_t SlotOf(OneBased<const int32_t> col, int32_t first, int32_t last, int32_t k) {
  while (first < last) {
    const int32_t mid = first + (last - first) / 2;
    if (std::abs(col(mid)) < k) {
      first = mid + 1;
    } else {
      last = mid;
    }
  }
  return first;
}

// Appends the normal-pattern entries of one column: its rows, each given
// by the slot at which the column stands in the row's list, contribute the
// columns after that slot. Entries are stored while they fit below `limit`.
class NormalColumns {
 public:
  NormalColumns(OneBased<const int32_t> col, OneBased<int32_t> iw, int64_t nrow_at, int64_t limit,
                OneBased<int32_t> mark)
      : col_(col), iw_(iw), nrow_at_(nrow_at), limit_(limit), mark_(mark) {}

  void Start(int32_t k) {
    k_ = k;
    Store(k);
  }
  // The columns after `slot` in its row (the row's last carries the end mark).
  void StoreTail(int32_t slot) {
    if (col_(slot) < 0) return;
    int32_t c;
    do {
      c = col_(++slot);
      Store(std::abs(c));
    } while (c > 0);
  }
  int64_t ne() const { return ne_; }

 private:
  void Store(int32_t c) {
    if (mark_(c) == k_) return;
    mark_(c) = k_;
    if (nrow_at_ + ne_ <= limit_) iw_(nrow_at_ + ne_) = c;
    ++ne_;
  }

  const OneBased<const int32_t> col_;
  const OneBased<int32_t> iw_;
  const int64_t nrow_at_, limit_;
  const OneBased<int32_t> mark_;
  int32_t k_ = 0;
  int64_t ne_ = 0;
};

// The lower triangle of the pattern of B^T B, column by column, stored while
// it fits below `limit`; returns NE however many were stored. Column k holds
// k, then, for each entry (i, k) of J and then of A in their order, the
// columns c > k of row i in increasing order that it does not hold yet.
//
// When no position of B is given twice, each row's pointer serves as its
// cursor: the columns k = 1, 2, ... meet row i in the order of its list, so
// the slot of k is the one the cursor stands on, and the cursor moves one
// slot on. Every pointer ends at the start of the next row, and one shift
// puts them back. Otherwise the slot of k is searched for.
int64_t BuildNormalPattern(const PatternView& p,
                           int32_t m,
                           int32_t n,
                           OneBased<int32_t> iw,
                           int64_t limit,
                           OneBased<int32_t> mark,
                           bool distinct) {
  const OneBased<int32_t> ptr(iw.from(1));
  const OneBased<const int32_t> col(iw.from(int64_t{m} + 2));
  const int64_t nzr = ptr(m + 1) - 1;
  const int64_t nptr_at = m + nzr + 2;
  const int64_t nrow_at = nptr_at + n + 1;
  for (int32_t c = 1; c <= n; ++c) mark(c) = 0;
  NormalColumns columns(col, iw, nrow_at, limit, mark);
  for (int32_t k = 1; k <= n; ++k) {
    iw(nptr_at + k - 1) = Saturate(columns.ne() + 1);
    columns.Start(k);
    const int32_t jend = std::abs(p.ip(k + 1)), aend = p.aip(k + 1);
    if (distinct) {
      for (int32_t q = std::abs(p.ip(k)); q < jend; ++q) columns.StoreTail(ptr(p.irn(q))++);
      for (int32_t q = p.aip(k); q < aend; ++q) columns.StoreTail(ptr(p.airn(q))++);
    } else {
      p.ForEachRow(k, [&](int32_t i) { columns.StoreTail(SlotOf(col, ptr(i), ptr(i + 1), k)); });
    }
  }
  iw(nptr_at + n) = Saturate(columns.ne() + 1);
  if (distinct) {
    for (int32_t i = m; i >= 2; --i) ptr(i) = ptr(i - 1);
    ptr(1) = 1;
  }
  return columns.ne();
}

}  // namespace

namespace ns23 {

int32_t NS23Analyse(const Patterns& b,
                    int32_t liw,
                    int32_t* iw_first,
                    OneBased<int32_t> keep,
                    OneBased<double> rkeep) {
  const int32_t m = b.m, n = b.n;
  OneBased<int32_t> iw(iw_first);
  const PatternView p(b);
  const int64_t big_liw = liw;
  const int64_t big_m = m, big_n = n;
  auto short_of = [&](int64_t needed) {
    keep(kLiwNeeded) = Saturate(needed);
    return NS23_ERR_LIW;
  };
  if (big_liw - big_m < big_m + 1) return short_of(2 * big_m + 1);
  OneBased<int32_t> mark(iw.from(big_liw - big_m + 1));
  const int64_t nzr = CountRows(p, m, n, iw, mark);
  const int64_t below = big_m + nzr + big_n + 2;
  if (big_liw - big_m < below) return short_of(big_m + below);
  FillRows(p, m, n, iw, mark);
  MarkRowEnds(m, iw);
  const int64_t entries = int64_t{std::abs(p.ip(n + 1))} - 1 + (p.aip(n + 1) - 1);
  const int64_t ne = BuildNormalPattern(p, m, n, iw, big_liw - big_m, mark, entries == nzr);
  const int64_t needed = big_m + nzr + 11 * big_n + 4 * ne + 44;
  if (big_liw < needed) return short_of(needed);

  const int64_t nptr_at = big_m + nzr + 2;
  const int64_t nrow_at = nptr_at + big_n + 1;
  const int64_t makeep_at = nrow_at + ne;
  const int64_t work_at = big_liw - 5 * big_n - ne + 1;
  const int64_t jcn_at = work_at + 5 * big_n;
  for (int32_t k = 1; k <= n; ++k) {
    for (int32_t q = iw(nptr_at + k - 1); q < iw(nptr_at + k); ++q) iw(jcn_at + q - 1) = k;
  }
  const int32_t n32 = n;
  const int32_t ne32 = static_cast<int32_t>(ne);
  const int32_t lkeep_analysis = static_cast<int32_t>(work_at - makeep_at);
  MA57AD(&n32, &ne32, iw.from(nrow_at), iw.from(jcn_at), &lkeep_analysis, iw.from(makeep_at),
         iw.from(work_at), keep.from(kMaIcntl), keep.from(kMaInfo), rkeep.from(kMaRinfo));

  const OneBased<const int32_t> ma57_info(keep.from(kMaInfo));
  const int64_t lfc = ma57_info(MA57_INFO_FACT_COMPRESS);
  const int64_t lifc = ma57_info(MA57_INFO_IFACT_COMPRESS);
  const int64_t makeep_len = 5 * big_n + 2 * ne + 42;
  keep(kLiwNeeded) = Saturate(std::max(big_m + nzr + 9 * big_n + 4 * ne + 43,
                                       lifc + big_m + nzr + 7 * big_n + 3 * ne + 44));
  keep(kLwNeeded) = Saturate(ne + std::max(big_n + nzr, lfc));
  keep(kRowPtr) = 1;
  keep(kRowCol) = Saturate(big_m + 2);
  keep(kNormPtr) = Saturate(nptr_at);
  keep(kNormRow) = Saturate(nrow_at);
  keep(kMaKeep) = Saturate(makeep_at);
  keep(kMaLkeep) = Saturate(makeep_len);
  keep(kMaWork) = Saturate(makeep_at + makeep_len);
  keep(kIfact) = Saturate(makeep_at + makeep_len + big_n);
  keep(kNzr) = Saturate(nzr);
  keep(kNe) = Saturate(ne);
  return 0;  // analysed
}

}  // namespace ns23
}  // namespace pemric
