// The matrix's graph in the compressed form METIS takes (each edge in both
// directions, no self loops, no repeats) and its nested-dissection order.
// Example: the lower entries (2,1) (3,1) (3,1) (3,3) of order 3 (from 1) give
// the neighbour lists 1: [2 3], 2: [1], 3: [1].
#include "metis_ordering.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "dalvex/error.hpp"

#ifdef DALVEX_HAVE_METIS
#include <metis.h>
#endif

namespace dalvex::internal {

#ifdef DALVEX_HAVE_METIS

namespace {

static_assert(sizeof(idx_t) == sizeof(int32_t), "METIS built with 32-bit indices");

struct Graph {
  std::vector<idx_t> starts, neighbours;
};

Graph BuildGraph(const SymmetricMatrix& a) {
  const int32_t n = a.order();
  const Span<const int32_t> rows = a.routine_rows(), columns = a.routine_columns();
  Graph g;
  g.starts.assign(static_cast<size_t>(n) + 1, 0);
  int64_t edges = 0;
  for (size_t k = 0; k < rows.size(); ++k) {
    if (rows[k] == columns[k]) continue;
    ++g.starts[rows[k]];
    ++g.starts[columns[k]];
    edges += 2;
  }
  if (edges > std::numeric_limits<int32_t>::max()) {
    throw Error(ErrorCode::kTooLarge,
                "the matrix's graph has more edges than METIS's 32-bit indices hold");
  }
  for (int32_t i = 0; i < n; ++i) g.starts[i + 1] += g.starts[i];
  g.neighbours.resize(static_cast<size_t>(edges));
  std::vector<idx_t> next(g.starts.begin(), g.starts.end() - 1);
  for (size_t k = 0; k < rows.size(); ++k) {
    const int32_t i = rows[k] - 1, j = columns[k] - 1;
    if (i == j) continue;
    g.neighbours[next[i]++] = j;
    g.neighbours[next[j]++] = i;
  }
  // Repeats removed in place: each list sorted, then compacted.
  idx_t kept = 0;
  for (int32_t i = 0; i < n; ++i) {
    const idx_t first = g.starts[i], last = g.starts[i + 1];
    std::sort(g.neighbours.begin() + first, g.neighbours.begin() + last);
    g.starts[i] = kept;
    for (idx_t p = first; p < last; ++p) {
      if (p == first || g.neighbours[p] != g.neighbours[p - 1])
        g.neighbours[kept++] = g.neighbours[p];
    }
  }
  g.starts[n] = kept;
  g.neighbours.resize(static_cast<size_t>(kept));
  return g;
}

}  // namespace

std::vector<int32_t> MetisPositions(const SymmetricMatrix& a) {
  idx_t n = a.order();
  std::vector<int32_t> positions(static_cast<size_t>(n));
  Graph g = BuildGraph(a);
  if (g.neighbours.empty()) {  // no edges: every order is as good
    for (idx_t i = 0; i < n; ++i) positions[i] = i + 1;
    return positions;
  }
  idx_t options[METIS_NOPTIONS];
  METIS_SetDefaultOptions(options);
  options[METIS_OPTION_NUMBERING] = 0;
  std::vector<idx_t> perm(static_cast<size_t>(n)), iperm(static_cast<size_t>(n));
  const int status = METIS_NodeND(&n, g.starts.data(), g.neighbours.data(), nullptr, options,
                                  perm.data(), iperm.data());
  if (status == METIS_ERROR_MEMORY) throw std::bad_alloc();
  if (status != METIS_OK) {
    throw Error(ErrorCode::kRoutineStatus, "METIS_NodeND returned " + std::to_string(status),
                status);
  }
  // iperm[i] is the position of variable i in the order.
  for (idx_t i = 0; i < n; ++i) positions[i] = iperm[i] + 1;
  return positions;
}

#else

std::vector<int32_t> MetisPositions(const SymmetricMatrix&) {
  throw Error(ErrorCode::kUnavailable, "this build has no METIS (Debian libmetis-dev)");
}

#endif

}  // namespace dalvex::internal
