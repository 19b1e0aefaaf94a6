// Shared helpers of the analysis tests: a driver for MA57AD on vectors, a
// capture of printed streams, and an independent symbolic factorization of
// the permuted pattern (elimination tree and column structures by plain set
// unions) to check the assembly tree and the forecasts against.
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "dalvex_test/random_sparse.h"
#include "dalvex_test/stream_capture.h"
#include "ma57_arrays.h"
#include "pemric/ma57.h"
#include "pemric/streams.h"

namespace ma57test {

using Pattern = dalvex_test::SparseCoordinates;
using dalvex_test::RandomPattern;

inline int64_t MinLkeep(int64_t n, int64_t ne) { return 5 * n + ne + std::max(n, ne) + 42; }

struct Analysis : Ma57Arrays {
  Pattern pattern;  // IRN and JCN as the call leaves them
  std::vector<int32_t> keep, iwrk;

  explicit Analysis(const Pattern& p, int64_t extra_keep = 0) : pattern(p) {
    MA57SetDefaults(cntl, icntl);
    Icntl(MA57_ICNTL_PRINT_LEVEL) = 0;  // quiet unless a test asks
    keep.assign(static_cast<size_t>(MinLkeep(p.n, p.ne()) + extra_keep), -7);
    iwrk.assign(static_cast<size_t>(5 * std::max(p.n, 1)), -7);
  }
  // Runs MA57AD, with `order` (positions) supplied when not empty.
  void Run(const std::vector<int32_t>& order = {}) {
    if (!order.empty()) {
      Icntl(MA57_ICNTL_SUPPLIED_ORDER) = 1;
      std::copy(order.begin(), order.end(), keep.begin());
    }
    const int32_t n = pattern.n, ne = pattern.ne();
    const int32_t lkeep = static_cast<int32_t>(keep.size());
    MA57AD(&n, &ne, pattern.irn.data(), pattern.jcn.data(), &lkeep, keep.data(), iwrk.data(),
           icntl, info, rinfo);
  }
  int32_t n() const { return pattern.n; }
  int32_t K(int64_t pos) const { return keep[static_cast<size_t>(pos - 1)]; }
  int32_t Pos(int32_t v) const { return K(v); }
  int32_t Nodes() const { return K(n() + 1); }
  int32_t Entries() const { return K(n() + 2); }
  int32_t Suspended() const { return K(n() + 3); }  // the factorization's saved state, first
  int32_t RowCount(int32_t r) const { return K(n() + 42 + r); }
  int32_t NodeOf(int32_t v) const { return K(2 * int64_t{n()} + 42 + v); }
  int32_t Children(int32_t k) const { return K(3 * int64_t{n()} + 42 + k); }
  int32_t Map(int32_t k) const { return K(4 * int64_t{n()} + 42 + k); }
  int32_t Column(int32_t s) const {
    return K(4 * int64_t{n()} + 42 + std::max(n(), pattern.ne()) + s);
  }
  std::vector<int32_t> Order() const { return {keep.begin(), keep.begin() + n()}; }
};

using Capture = dalvex_test::StreamCapture;

// An integer right-aligned in 12 columns, as the reports print counts.
inline std::string Pad12(int64_t v) {
  const std::string s = std::to_string(v);
  return std::string(s.size() < 12 ? 12 - s.size() : 0, ' ') + s;
}

// Symbolic Cholesky of the pattern permuted by pos (pos[v-1] = position of
// v): for every position j the set of positions i > j with L(i, j) != 0,
// and the elimination-tree parent (0 for a root).
struct Symbolic {
  std::vector<std::set<int32_t>> below;  // index j-1
  std::vector<int32_t> parent;           // index j-1
  int64_t ColCount(int32_t j) const { return static_cast<int64_t>(below[j - 1].size()) + 1; }
  int64_t FactorEntries() const {
    int64_t s = 0;
    for (size_t j = 1; j <= below.size(); ++j) s += ColCount(static_cast<int32_t>(j));
    return s;
  }
};

inline Symbolic SymbolicFactor(const Pattern& p, const std::vector<int32_t>& pos) {
  const int32_t n = p.n;
  Symbolic s;
  s.below.assign(n, {});
  s.parent.assign(n, 0);
  for (int32_t k = 0; k < p.ne(); ++k) {
    const int32_t i = p.irn[k], j = p.jcn[k];
    if (i < 1 || j < 1 || i > n || j > n || i == j) continue;
    const int32_t a = pos[i - 1], b = pos[j - 1];
    s.below[std::min(a, b) - 1].insert(std::max(a, b));
  }
  for (int32_t j = 1; j <= n; ++j) {
    auto& col = s.below[j - 1];
    if (col.empty()) continue;
    const int32_t par = *col.begin();
    s.parent[j - 1] = par;
    for (int32_t i : col)
      if (i != par) s.below[par - 1].insert(i);
  }
  return s;
}

}  // namespace ma57test
