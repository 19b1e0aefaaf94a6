// The pattern of the input entries as the ordering and the symbolic
// elimination read it: adjacency lists without repeats (ordering path) or
// rows in a supplied pivot order (supplied-order path), and the elimination
// tree of a supplied order.
#include <algorithm>
#include <cstdint>

#include "ma57_analysis.h"
#include "pemric/ma57.h"

namespace pemric {
namespace {

bool InRange(int32_t n, int32_t i, int32_t j) {
  return std::min(i, j) >= 1 && std::max(i, j) <= n;
}

// Counts (and reports) one out-of-range entry k.
void NoteOutOfRange(const int32_t* icntl, OneBased<int32_t> info, int32_t k, int32_t i, int32_t j) {
  info(MA57_INFO_OUT_OF_RANGE) += 1;
  info(MA57_INFO_STATUS) = MA57_WARN_OUT_OF_RANGE;
  MA57ReportOutOfRange(icntl, info(MA57_INFO_OUT_OF_RANGE), k, i, j);
}

// The duplicates warning adds its bit to a possible out-of-range warning.
void NoteDuplicates(const int32_t* icntl, OneBased<int32_t> info) {
  if (info(MA57_INFO_DUPLICATES) <= 0) return;
  info(MA57_INFO_STATUS) += MA57_WARN_DUPLICATES;
  MA57ReportDuplicates(icntl, info(MA57_INFO_DUPLICATES));
}

// Clears the status and the count of ignored entries that the pattern
// readers accumulate.
void StartCounts(OneBased<int32_t> info) {
  info(MA57_INFO_STATUS) = MA57_SUCCESS;
  info(MA57_INFO_OUT_OF_RANGE) = 0;
}

// Removes repeats from the adjacency lists, compacting them towards
// position 1; returns the first free position. A repeated pair shows in both
// of its lists; only the copy in the smaller index's list is counted in
// INFO(4).
int64_t RemoveRepeatedNeighbours(int32_t n,
                                 OneBased<int32_t> start,
                                 OneBased<int32_t> len,
                                 OneBased<int32_t> iw,
                                 OneBased<int32_t> flag,
                                 OneBased<int32_t> info) {
  int64_t free = 1;
  for (int32_t v = 1; v <= n; ++v) {
    const int64_t s = start(v);
    const int64_t e = s + len(v);
    start(v) = static_cast<int32_t>(free);
    for (int64_t p = s; p < e; ++p) {
      const int32_t w = iw(p);
      if (flag(w) != v) {
        flag(w) = v;
        iw(free++) = w;
      } else if (v < w) {
        ++info(MA57_INFO_DUPLICATES);
      }
    }
    len(v) = static_cast<int32_t>(free - start(v));
  }
  return free;
}

// Compacts the rows of the supplied-order pattern: row v, read from
// st(v) + 1 on, becomes [count, entries...] without repeats, or start 0
// when nothing is kept. A repeated diagonal entry is not counted in INFO(4).
void CompactOrderedRows(int32_t n,
                        OneBased<int32_t> st,
                        OneBased<int32_t> cnt,
                        OneBased<int32_t> iw,
                        OneBased<int32_t> flag,
                        OneBased<int32_t> info) {
  int64_t free = 1;
  for (int32_t v = 1; v <= n; ++v) {
    const int64_t first = st(v) + 1;  // the reserved word was at st(v)
    const int64_t last = first + cnt(v) - 1;
    const int64_t s = free;
    int64_t out = s + 1;
    for (int64_t p = first; p <= last; ++p) {
      const int32_t w = iw(p);
      if (flag(w) != v) {
        flag(w) = v;
        iw(out++) = w;
      } else if (w != v) {
        ++info(MA57_INFO_DUPLICATES);
      }
    }
    const int64_t kept = out - s - 1;
    if (kept > 0) {
      iw(s) = static_cast<int32_t>(kept);
      st(v) = static_cast<int32_t>(s);
      free = out;
    } else {
      st(v) = 0;
    }
  }
}

}  // namespace

int64_t MA57BuildGraph(const EntryPattern& pattern,
                       int32_t* lstart,
                       int32_t* llen,
                       int32_t* adj,
                       int32_t* mark,
                       const int32_t* icntl,
                       int32_t* info) {
  const int32_t n = pattern.n, ne = pattern.ne;
  const int32_t* irn = pattern.irn;
  const int32_t* jcn = pattern.jcn;
  auto row = At(irn);
  auto col = At(jcn);
  auto start = At(lstart);
  auto len = At(llen);
  auto iw = At(adj);
  auto flag = At(mark);
  StartCounts(At(info));
  for (int32_t v = 1; v <= n; ++v) {
    flag(v) = 0;
    len(v) = 0;
  }
  for (int32_t k = 1; k <= ne; ++k) {
    const int32_t i = row(k), j = col(k);
    if (!InRange(n, i, j)) {
      NoteOutOfRange(icntl, At(info), k, i, j);
    } else if (i != j) {
      ++len(i);
      ++len(j);
    }
  }
  // Lists are filled from their ends backwards, so each start ends up at the
  // first entry of its list.
  int64_t end = 0;
  for (int32_t v = 1; v <= n; ++v) {
    end += len(v);
    start(v) = static_cast<int32_t>(end + 1);
  }
  // Without out-of-range entries (the usual case) the indices need no check.
  const bool all_in_range = At(info)(MA57_INFO_OUT_OF_RANGE) == 0;
  for (int32_t k = 1; k <= ne; ++k) {
    const int32_t i = row(k), j = col(k);
    if (i == j || (!all_in_range && !InRange(n, i, j))) continue;
    iw(--start(i)) = j;
    iw(--start(j)) = i;
  }
  const int64_t free = RemoveRepeatedNeighbours(n, start, len, iw, flag, At(info));
  NoteDuplicates(icntl, At(info));
  return free;
}

void MA57BuildOrderedPattern(const EntryPattern& pattern,
                             const int32_t* pos,
                             int32_t* start,
                             int32_t* count,
                             int32_t* lists,
                             int32_t* mark,
                             const int32_t* icntl,
                             int32_t* info) {
  const int32_t n = pattern.n, ne = pattern.ne;
  int32_t* irn = pattern.irn;
  int32_t* jcn = pattern.jcn;
  auto row = At(irn);
  auto col = At(jcn);
  auto order = At(pos);
  auto st = At(start);
  auto cnt = At(count);
  auto iw = At(lists);
  auto flag = At(mark);
  StartCounts(At(info));
  for (int32_t v = 1; v <= n; ++v) {
    flag(v) = 0;
    cnt(v) = 0;
  }
  auto row_of = [&](int32_t i, int32_t j) { return order(i) <= order(j) ? i : j; };
  for (int32_t k = 1; k <= ne; ++k) {
    const int32_t i = row(k), j = col(k);
    if (!InRange(n, i, j)) {
      NoteOutOfRange(icntl, At(info), k, i, j);
      row(k) = 0;
      col(k) = 0;
    } else {
      ++cnt(row_of(i, j));
    }
  }
  // One reserved word per row ahead of its entries, for the count.
  int64_t end = 0;
  for (int32_t v = 1; v <= n; ++v) {
    end += cnt(v) + 1;
    st(v) = static_cast<int32_t>(end);
  }
  for (int32_t k = 1; k <= ne; ++k) {
    const int32_t i = row(k), j = col(k);
    if (!InRange(n, i, j)) continue;
    const int32_t r = row_of(i, j);
    iw(st(r)--) = r == i ? j : i;
  }
  CompactOrderedRows(n, st, cnt, iw, flag, At(info));
  NoteDuplicates(icntl, At(info));
}

int64_t MA57CompressLists(int32_t n, int64_t until, int32_t* start, int32_t* lists) {
  auto st = At(start);
  auto iw = At(lists);
  for (int32_t v = 1; v <= n; ++v) {
    const int32_t s = st(v);
    if (s <= 0) continue;
    st(v) = iw(s);
    iw(s) = -v;
  }
  int64_t src = 1, dst = 1;
  while (src < until) {
    const int32_t v = -iw(src++);
    if (v <= 0) continue;
    const int32_t words = st(v);  // the saved count word
    iw(dst) = words;
    st(v) = static_cast<int32_t>(dst++);
    for (int32_t t = 0; t < words; ++t) iw(dst + t) = iw(src + t);
    dst += words;
    src += words;
  }
  return dst;
}

namespace {

// State of the symbolic elimination of a supplied order.
class SymbolicElimination {
 public:
  SymbolicElimination(int32_t n, int64_t ladj, const int32_t* pos, int32_t* start, int32_t* lists,
                      int32_t* seq, int32_t* size, int32_t* mark)
      : n_(n), ladj_(ladj), pos_(At(pos)), st_(At(start)), iw_(At(lists)), seq_(At(seq)),
        size_(At(size)), mark_(At(mark)) {}

  int32_t Run();

 private:
  void Eliminate(int32_t v);
  void ReadList(int32_t v, int32_t u);
  void Append(int32_t u, int64_t& p, int64_t& left, int32_t w);

  const int32_t n_;
  const int64_t ladj_;
  OneBased<const int32_t> pos_;
  OneBased<int32_t> st_, iw_, seq_, size_, mark_;
  int64_t free_ = 1;       // first free position of the list space
  int64_t elem_ = 1;       // start of the element being built
  int32_t parentpos_ = 0;  // smallest position among its entries
  int32_t ncomp_ = 0;
};

int32_t SymbolicElimination::Run() {
  for (int32_t v = 1; v <= n_; ++v) {
    seq_(pos_(v)) = v;
    size_(v) = 0;
    mark_(v) = 0;
  }
  // The free position follows the last compacted row list.
  for (int32_t v = 1; v <= n_; ++v) {
    if (st_(v) > 0) free_ = std::max<int64_t>(free_, st_(v) + iw_(st_(v)) + 1);
  }
  for (int32_t p = 1; p <= n_; ++p) Eliminate(seq_(p));
  return ncomp_;
}

// Pivot v reads its own row, then the elements of the earlier pivots waiting
// for it (chained through size()), into its new element.
void SymbolicElimination::Eliminate(int32_t v) {
  mark_(v) = v;
  parentpos_ = n_;
  elem_ = free_;
  int32_t child = size_(v);  // head of the waiting chain
  ReadList(v, v);
  while (child != 0) {
    const int32_t next = size_(child);
    ReadList(v, child);
    child = next;
  }
  const int64_t entries = free_ - elem_;
  if (entries == 0) {
    st_(v) = 0;
    size_(v) = 1;
    return;
  }
  const int32_t q = seq_(parentpos_);
  size_(v) = size_(q);
  size_(q) = v;
  // [e1 e2 .. ec] becomes [c e2 .. ec e1]: the count word leads.
  iw_(free_) = iw_(elem_);
  iw_(elem_) = static_cast<int32_t>(entries);
  free_ += 1;
  st_(v) = static_cast<int32_t>(elem_);
}

void SymbolicElimination::ReadList(int32_t v, int32_t u) {
  int64_t p = st_(u);
  int64_t left = p > 0 ? iw_(p) : 0;
  const int64_t words = left;
  while (left > 0) {
    ++p;
    --left;
    const int32_t w = iw_(p);
    if (mark_(w) == v) continue;
    mark_(w) = v;
    Append(u, p, left, w);
    parentpos_ = std::min(parentpos_, pos_(w));
  }
  st_(u) = -v;
  size_(u) = static_cast<int32_t>(words + 1);
}

// Appends w to the element; when the list space is full, the lists are
// compacted first and the unread remainder of u's list keeps a fresh count
// word at the position just read.
void SymbolicElimination::Append(int32_t u, int64_t& p, int64_t& left, int32_t w) {
  if (free_ >= ladj_) {
    iw_(p) = static_cast<int32_t>(left);
    st_(u) = left > 0 ? static_cast<int32_t>(p) : 0;
    ++ncomp_;
    const int64_t built = free_ - elem_;
    int64_t dst = MA57CompressLists(n_, elem_, st_.data(), iw_.data());
    for (int64_t t = 0; t < built; ++t) iw_(dst + t) = iw_(elem_ + t);
    elem_ = dst;
    free_ = dst + built;
    p = st_(u) > 0 ? st_(u) : p;
  }
  iw_(free_++) = w;
}

}  // namespace

int32_t MA57SymbolicEliminate(int32_t n,
                              int64_t ladj,
                              const int32_t* pos,
                              int32_t* start,
                              int32_t* lists,
                              int32_t* seq,
                              int32_t* size,
                              int32_t* mark) {
  SymbolicElimination elimination(n, ladj, pos, start, lists, seq, size, mark);
  return elimination.Run();
}

}  // namespace pemric
