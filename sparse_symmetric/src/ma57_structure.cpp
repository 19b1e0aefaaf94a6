// The permuted matrix that the factorization assembles from, the map from
// input entries into it, and the forecasts of factor storage and work.
#include <algorithm>
#include <cstdint>
#include <limits>

#include "ma57_analysis.h"
#include "pemric/ma57.h"

namespace pemric {
namespace {

bool InRange(int32_t n, int32_t i, int32_t j) {
  return std::min(i, j) >= 1 && std::max(i, j) <= n;
}

// Counts stored in INFO saturate at the largest 32-bit integer rather than
// wrapping to a meaningless negative size.
int32_t Saturate(int64_t v) {
  return static_cast<int32_t>(std::min<int64_t>(v, std::numeric_limits<int32_t>::max()));
}

// Counts the slots of each row: one per in-range off-diagonal entry in the
// row of its earlier variable, one per diagonal copy (at least one). Leaves
// the number of diagonal copies in diag(r) and whether every entry is in
// range in all_in_range; returns the total T.
int64_t CountRowSlots(int32_t n,
                      int32_t ne,
                      const int32_t* irn,
                      const int32_t* jcn,
                      OneBased<const int32_t> position,
                      OneBased<int32_t> count,
                      OneBased<int32_t> diag,
                      bool& all_in_range) {
  auto row = At(irn);
  auto col = At(jcn);
  for (int32_t r = 1; r <= n; ++r) {
    count(r) = 1;
    diag(r) = 0;
  }
  int64_t total = static_cast<int64_t>(n) + ne;
  all_in_range = true;
  for (int32_t k = 1; k <= ne; ++k) {
    const int32_t i = row(k), j = col(k);
    if (!InRange(n, i, j)) {
      --total;
      all_in_range = false;
    } else if (i == j) {
      const int32_t r = position(i);
      if (++diag(r) > 1) {
        ++count(r);
      } else {
        --total;
      }
    } else {
      ++count(std::min(position(i), position(j)));
    }
  }
  return total;
}

}  // namespace

// Row r of the permuted matrix holds, in its first slots, one slot per copy
// of its diagonal entry (at least one), every one naming the row's own
// variable, and behind them the off-diagonal entries whose earlier variable
// is r's:
//   row r = [ v v | j3 j2 j1 ]   two diagonal copies, entries 1, 2, 3 stored
//                                 from the row's end backwards.
int32_t MA57PermutedStructure(const EntryPattern& pattern,
                              int32_t* map,
                              int32_t* cols,
                              int32_t* rowcount,
                              const int32_t* pos,
                              int32_t* rowptr,
                              int32_t* diagptr) {
  const int32_t n = pattern.n, ne = pattern.ne;
  const int32_t* irn = pattern.irn;
  const int32_t* jcn = pattern.jcn;
  auto row = At(irn);
  auto col = At(jcn);
  auto position = At(pos);
  auto count = At(rowcount);
  auto diag = At(diagptr);
  auto end = At(rowptr);
  auto column = At(cols);
  auto where = At(map);
  bool all_in_range = true;
  const int64_t total = CountRowSlots(n, ne, irn, jcn, position, count, diag, all_in_range);
  // end(r): last slot of row r; diag(r): last diagonal slot of row r.
  int64_t last = 0;
  for (int32_t r = 1; r <= n; ++r) {
    const int64_t first = last + 1;
    last += count(r);
    end(r) = static_cast<int32_t>(last);
    diag(r) = static_cast<int32_t>(first + std::max<int32_t>(diag(r), 1) - 1);
  }
  for (int32_t v = 1; v <= n; ++v) {
    const int32_t r = position(v);
    const int64_t first = end(r) - count(r) + 1;
    for (int64_t s = first; s <= diag(r); ++s) column(s) = v;
  }
  // Without out-of-range entries (the usual case) the indices need no check.
  for (int32_t k = 1; k <= ne; ++k) {
    const int32_t i = row(k), j = col(k);
    if (!all_in_range && !InRange(n, i, j)) {
      where(k) = 0;
    } else if (i == j) {
      where(k) = diag(position(i))--;
    } else {
      const bool i_first = position(i) < position(j);
      const int32_t r = i_first ? position(i) : position(j);
      where(k) = end(r);
      column(end(r)--) = i_first ? j : i;
    }
  }
  return static_cast<int32_t>(total);
}

namespace {

// Running totals of the forecast walk over the tree nodes. The stack keeps
// the contribution blocks of completed nodes that wait for their parents.
class ForecastWalk {
 public:
  ForecastWalk(int32_t n, OneBased<const int32_t> rowcount, int32_t* stack1, int32_t* stack2)
      : n_(n), count_(rowcount), order_(At(stack1)), isize_(At(stack2)) {
    for (int32_t r = 1; r <= n; ++r) nz_ += count_(r);
    rem_ = nz_;
    fact_plain_ = fact_compress_ = nz_ + 1;
    ifact_plain_ = ifact_compress_ = nz_ + n + 5;
  }

  // Node with p pivots, front f and c children; `last` for the final node.
  void Node(int64_t p, int64_t f, int64_t c, bool last) {
    maxfront_ = std::max(maxfront_, f);
    const int64_t t = f * f + p * (p + 1) / 2 + real_ + lstk_;
    fact_plain_ = std::max(fact_plain_, nz_ + t);
    fact_compress_ = std::max(fact_compress_, t + rem_);
    for (int64_t r = elim_ + 1; r <= elim_ + p; ++r) {
      rem_ -= count_(r);
      assembly_ += count_(r);
    }
    elim_ += p;
    for (int64_t popped = 0; popped < c && top_ > 0; ++popped, --top_) {
      const int64_t s = order_(top_);
      lstk_ -= s * (s + 1) / 2;
      istk_ -= isize_(top_);
      assembly_ += static_cast<double>(s * (s + 1) / 2);
    }
    real_ += p * (p + 1) / 2 + p * (f - p);
    ints_ += f + 2;
    const double pf = static_cast<double>(p), ff = static_cast<double>(f);
    ops_ += pf + pf * (6 * ff * ff + 12 * ff - (pf + 1) * (6 * ff + 6 - (2 * pf + 1))) / 6;
    if (p < f) {
      ++top_;
      order_(top_) = static_cast<int32_t>(f - p);  // the block's real size follows from it
      isize_(top_) = static_cast<int32_t>(f - p + 1);
      lstk_ += (f - p) * (f - p + 1) / 2;
      istk_ += f - p + 1;
    }
    if (last) {
      ifact_plain_ = std::max(ifact_plain_, ints_ + istk_ + nz_);
      ifact_compress_ = std::max(ifact_compress_, ints_ + istk_ + rem_);
    } else {
      const int64_t u = (n_ - elim_) + ints_ + istk_;
      ifact_plain_ = std::max(ifact_plain_, nz_ + u + 2);
      ifact_compress_ = std::max(ifact_compress_, u + rem_ + 2);
    }
  }

  void Store(int32_t nodes, OneBased<int32_t> info, OneBased<double> rinfo) const {
    info(MA57_INFO_FORECAST_REAL) = Saturate(real_);
    info(MA57_INFO_FORECAST_INTEGER) = Saturate(ints_);
    info(MA57_INFO_FORECAST_FRONT) = Saturate(maxfront_);
    info(MA57_INFO_NODES) = nodes;
    info(MA57_INFO_FACT_NO_COMPRESS) = Saturate(fact_plain_);
    info(MA57_INFO_IFACT_NO_COMPRESS) = Saturate(ifact_plain_);
    info(MA57_INFO_FACT_COMPRESS) = Saturate(fact_compress_);
    info(MA57_INFO_IFACT_COMPRESS) = Saturate(ifact_compress_);
    rinfo(MA57_RINFO_FORECAST_ASSEMBLY) = assembly_;
    rinfo(MA57_RINFO_FORECAST_ELIMINATION) = ops_;
  }

 private:
  const int32_t n_;
  OneBased<const int32_t> count_;  // entries of each permuted row
  OneBased<int32_t> order_;        // order of each waiting block
  OneBased<int32_t> isize_;        // its integer size, order + 1
  int32_t top_ = 0;                // blocks on the stack
  int64_t nz_ = 0;                 // entries of the permuted matrix
  int64_t rem_ = 0;                // entries not yet assembled
  int64_t elim_ = 0;               // variables eliminated so far
  int64_t lstk_ = 0, istk_ = 0;    // real and integer size of the stack
  int64_t real_ = 0;               // real factor entries (INFO(5))
  int64_t ints_ = 3;               // integer factor words (INFO(6))
  int64_t maxfront_ = 0;
  int64_t fact_plain_ = 0, fact_compress_ = 0, ifact_plain_ = 0, ifact_compress_ = 0;
  double assembly_ = 0.0, ops_ = 0.0;
};

}  // namespace

// Walks the tree nodes in order, with a stack of the contribution blocks
// still waiting for their parents, to forecast the factor storage, the peak
// storage with and without compression, and the operation counts.
void MA57Forecast(const ForecastArrays& a, int32_t* info, double* rinfo) {
  ForecastWalk walk(a.n, At(a.rowcount), a.stack1, a.stack2);
  for (int32_t k = 1; k <= a.nodes; ++k) {
    walk.Node(At(a.pivots)(k), At(a.front)(k), At(a.children)(k), k == a.nodes);
  }
  walk.Store(a.nodes, At(info), At(rinfo));
}

}  // namespace pemric
