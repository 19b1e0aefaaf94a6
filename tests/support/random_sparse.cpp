#include "dalvex_test/random_sparse.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <set>
#include <utility>

namespace dalvex_test {

std::vector<double> SparseCoordinates::Dense() const {
  std::vector<double> d(static_cast<size_t>(n) * n, 0.0);
  for (size_t k = 0; k < a.size(); ++k) {
    const int32_t i = irn[k], j = jcn[k];
    if (i < 1 || j < 1 || i > n || j > n) continue;
    d[(i - 1) + static_cast<size_t>(j - 1) * n] += a[k];
    if (i != j) d[(j - 1) + static_cast<size_t>(i - 1) * n] += a[k];
  }
  return d;
}

SparseCoordinates RandomSymmetric(int32_t n, int per_row, SymmetricKind kind, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> val(-1.0, 1.0);
  std::uniform_int_distribution<int32_t> pick(1, n);
  SparseCoordinates m;
  m.n = n;
  std::set<std::pair<int32_t, int32_t>> seen;
  std::vector<double> rowsum(static_cast<size_t>(n) + 1, 0.0);
  for (int32_t i = 1; i <= n; ++i) {
    for (int k = 0; k < per_row; ++k) {
      const int32_t j = pick(gen);
      if (j == i || !seen.insert({std::min(i, j), std::max(i, j)}).second) continue;
      const double v = val(gen);
      if (gen() % 2) {
        m.Add(i, j, v);
      } else {
        m.Add(j, i, v);
      }
      rowsum[i] += std::fabs(v);
      rowsum[j] += std::fabs(v);
    }
  }
  for (int32_t i = 1; i <= n; ++i) {
    const double dom = rowsum[i] + 1.0 + std::fabs(val(gen));
    switch (kind) {
      case SymmetricKind::kDefinite:
        m.Add(i, i, dom);
        break;
      case SymmetricKind::kIndefinite:
        m.Add(i, i, gen() % 2 ? dom : -dom);
        break;
      case SymmetricKind::kZeroDiagonal:
        if (i % 2 == 0) m.Add(i, i, 1e-3 * val(gen));
        break;
    }
  }
  return m;
}

SparseCoordinates RandomPattern(std::mt19937& rng, int32_t n, int32_t ne, bool wild) {
  SparseCoordinates p;
  p.n = n;
  std::uniform_int_distribution<int32_t> idx(1, n);
  std::uniform_int_distribution<int32_t> bad(-2, n + 2);
  for (int32_t k = 0; k < ne; ++k) {
    if (wild) {
      p.Add(bad(rng), bad(rng));
    } else {
      p.Add(idx(rng), idx(rng));
    }
  }
  return p;
}

}  // namespace dalvex_test
