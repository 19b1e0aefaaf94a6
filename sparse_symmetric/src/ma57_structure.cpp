// The permuted matrix that the factorization assembles from, the map from
// input entries into it, and the forecasts of factor storage and work.
#include <algorithm>
#include <cstdint>
#include <limits>

#include "ma57_analysis.h"

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

}  // namespace

// Row r of the permuted matrix holds, in its first slots, one slot per copy
// of its diagonal entry (at least one, holding the row's own variable), and
// behind them the off-diagonal entries whose earlier variable is r's:
//   row r = [ v v | j3 j2 j1 ]   two diagonal copies, entries 1, 2, 3 stored
//                                 from the row's end backwards.
int32_t MA57PermutedStructure(int32_t n,
                              int32_t ne,
                              const int32_t* irn,
                              const int32_t* jcn,
                              int32_t* map,
                              int32_t* cols,
                              int32_t* rowcount,
                              const int32_t* pos,
                              int32_t* rowptr,
                              int32_t* diagptr) {
  auto position = At(pos);
  auto count = At(rowcount);
  auto diag = At(diagptr);
  auto end = At(rowptr);
  auto column = At(cols);
  auto where = At(map);
  for (int32_t r = 1; r <= n; ++r) {
    count(r) = 1;
    diag(r) = 0;
  }
  int64_t total = static_cast<int64_t>(n) + ne;
  for (int32_t k = 1; k <= ne; ++k) {
    const int32_t i = irn[k - 1], j = jcn[k - 1];
    if (!InRange(n, i, j)) {
      --total;
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
  for (int32_t k = 1; k <= ne; ++k) {
    const int32_t i = irn[k - 1], j = jcn[k - 1];
    if (!InRange(n, i, j)) {
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

// Walks the tree nodes in order, with a stack of the contribution blocks
// still waiting for their parents, to forecast the factor storage, the peak
// storage with and without compression, and the operation counts.
void MA57Forecast(int32_t n,
                  const int32_t* rowcount,
                  const int32_t* children,
                  const int32_t* pivots,
                  const int32_t* front,
                  int32_t nodes,
                  int32_t* stack1,
                  int32_t* stack2,
                  int32_t* info,
                  double* rinfo) {
  auto count = At(rowcount);
  auto nchild = At(children);
  auto npiv = At(pivots);
  auto nfront = At(front);
  auto order = At(stack1);  // order of each waiting block
  auto isize = At(stack2);  // its integer size, order + 1
  int64_t nz = 0;
  for (int32_t r = 1; r <= n; ++r) nz += count(r);
  int64_t lstk = 0, istk = 0, real = 0, ints = 3, maxfront = 0, elim = 0, rem = nz;
  int64_t fact_plain = nz + 1, fact_compress = nz + 1;
  int64_t ifact_plain = nz + n + 5, ifact_compress = nz + n + 5;
  int32_t top = 0;
  double assembly = 0.0, ops = 0.0;
  for (int32_t k = 1; k <= nodes; ++k) {
    const int64_t p = npiv(k), f = nfront(k), c = nchild(k);
    maxfront = std::max(maxfront, f);
    const int64_t t = f * f + p * (p + 1) / 2 + real + lstk;
    fact_plain = std::max(fact_plain, nz + t);
    fact_compress = std::max(fact_compress, t + rem);
    for (int64_t r = elim + 1; r <= elim + p; ++r) {
      rem -= count(r);
      assembly += count(r);
    }
    elim += p;
    for (int64_t popped = 0; popped < c && top > 0; ++popped, --top) {
      const int64_t s = order(top);
      lstk -= s * (s + 1) / 2;
      istk -= isize(top);
      assembly += static_cast<double>(s * (s + 1) / 2);
    }
    real += p * (p + 1) / 2 + p * (f - p);
    ints += f + 2;
    const double pf = static_cast<double>(p), ff = static_cast<double>(f);
    ops += pf + pf * (6 * ff * ff + 12 * ff - (pf + 1) * (6 * ff + 6 - (2 * pf + 1))) / 6;
    if (p < f) {
      ++top;
      order(top) = static_cast<int32_t>(f - p);
      isize(top) = static_cast<int32_t>(f - p + 1);
      lstk += (f - p) * (f - p + 1) / 2;
      istk += f - p + 1;
    }
    if (k == nodes) {
      ifact_plain = std::max(ifact_plain, ints + istk + nz);
      ifact_compress = std::max(ifact_compress, ints + istk + rem);
    } else {
      const int64_t u = (n - elim) + ints + istk;
      ifact_plain = std::max(ifact_plain, nz + u + 2);
      ifact_compress = std::max(ifact_compress, u + rem + 2);
    }
  }
  info[4] = Saturate(real);
  info[5] = Saturate(ints);
  info[6] = Saturate(maxfront);
  info[7] = nodes;
  info[8] = Saturate(fact_plain);
  info[9] = Saturate(ifact_plain);
  info[10] = Saturate(fact_compress);
  info[11] = Saturate(ifact_compress);
  rinfo[0] = assembly;
  rinfo[1] = ops;
}

}  // namespace pemric
