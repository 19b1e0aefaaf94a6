// Positions of the sections of KEEP that the analysis writes and the
// factorization reads, for a matrix of order n with ne input entries.
// Every position is 1-based, as the messages and dumps show them, and
// computed in 64 bits: 5n + ne + max(n, ne) + 42 can exceed 2^31 - 1.
//
//   1 .. n                      pivot position of each variable
//   n+1                         number of tree nodes
//   n+2                         entries of the permuted matrix (with diagonal)
//   n+3 .. n+42                 saved factorization state (n+3: suspended flag)
//   n+43 .. 2n+42               entries in each row of the permuted matrix
//   2n+43 .. 3n+42              tree node of each variable
//   3n+43 .. 3n+42+nodes        children assembled at each node
//   4n+43 .. 4n+42+max(n,ne)    map from input entry to permuted position
//   4n+43+max(n,ne) ..          column indices of the permuted matrix
#pragma once

#include <algorithm>
#include <cstdint>

namespace pemric {
namespace ma57 {

inline int64_t KeepOrder() { return 1; }
inline int64_t KeepNodeCount(int64_t n) { return n + 1; }
inline int64_t KeepEntryCount(int64_t n) { return n + 2; }
inline int64_t KeepState(int64_t n) { return n + 3; }
constexpr int64_t kKeepStateLength = 40;
inline int64_t KeepRowCounts(int64_t n) { return n + 43; }
inline int64_t KeepNodeOfVariable(int64_t n) { return 2 * n + 43; }
inline int64_t KeepChildren(int64_t n) { return 3 * n + 43; }
inline int64_t KeepMap(int64_t n) { return 4 * n + 43; }
inline int64_t KeepColumns(int64_t n, int64_t ne) {
  return 4 * n + 43 + std::max(n, ne);
}

// Smallest accepted LKEEP: 5n + ne + max(n, ne) + 42.
inline int64_t MinimumLkeep(int64_t n, int64_t ne) {
  return 5 * n + ne + std::max(n, ne) + 42;
}

}  // namespace ma57
}  // namespace pemric
