// Positions of the sections of KEEP that the analysis writes and the
// factorization reads, for a matrix of order n with ne input entries.
// Every position is 1-based, as the messages and dumps show them, and
// computed in 64 bits: 5n + ne + max(n, ne) + 42 can exceed 2^31 - 1.
//
//   1 .. n                      pivot position of each variable
//   n+1                         number of tree nodes
//   n+2                         entries of the permuted matrix (with diagonal)
//   n+3 .. n+42                 saved factorization state (n+3: suspended flag);
//                               its unused slots hold the protocol stamps below
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

// Protocol stamps, in slots of the saved factorization state that no
// suspension uses (slots 5, 26 and 37..40 of KEEP(n+3..n+42)). They let the
// factorization refuse a KEEP that a successful analysis of this n and ne
// did not leave, or that was changed since, and a resumption that no
// suspension prepared, before it relies on anything else in KEEP.
//   n+39   kAnalysed: written by a successful analysis, cleared by any
//          analysis that passes its size checks
//   n+40   checksum of n and the pivot order KEEP(1..n), which the caller
//          writes for an analysis in a supplied order; checked by a fresh
//          factorization (a suspended one keeps scratch there)
//   n+41   checksum of n, ne and every other section the factorization
//          reads: the counts n+1 and n+2, the row counts, the node of each
//          variable, the children of each node, the map and the columns
//   n+42   SuspensionStamp(KEEP(n+3), ICNTL(7)) of a suspended
//          factorization, else 0
//   n+7, n+28   LFACT and LIFACT of that call: a resumption may give
//          longer arrays (the caller moved the stacks) but never shorter ones
// What a suspended factorization left in FACT, IFACT and the saved
// positions is the caller's to keep (or to move, with the positions, when it
// enlarges the arrays); it is not checked.
inline int64_t KeepAnalysedStamp(int64_t n) { return n + 39; }
inline int64_t KeepOrderChecksum(int64_t n) { return n + 40; }
inline int64_t KeepContentChecksum(int64_t n) { return n + 41; }
inline int64_t KeepSuspendedStamp(int64_t n) { return n + 42; }
inline int64_t KeepSuspendedLfact(int64_t n) { return n + 7; }
inline int64_t KeepSuspendedLifact(int64_t n) { return n + 28; }
// Values that no count or position of a valid KEEP takes in these slots.
constexpr int32_t kAnalysed = 0x41353741;   // "A75A"
constexpr int32_t kSuspended = 0x53353700;  // "S57", then the reason and the pivoting mode

// The stamp of a factorization suspended for `reason` (KEEP(n+3): 1 real
// space, 2 integer space) in pivoting mode `mode` (1..4).
inline int32_t SuspensionStamp(int32_t reason, int32_t mode) {
  return kSuspended | (reason & 0xF) << 4 | (mode & 0xF);
}

// One word into a running hash: the block step of MurmurHash3 (Appleby).
inline uint32_t Rotl(uint32_t v, int r) { return v << r | v >> (32 - r); }
inline uint32_t Mix(uint32_t h, uint32_t v) {
  v = Rotl(v * 0xcc9e2d51u, 15) * 0x1b873593u;
  return Rotl(h ^ v, 13) * 5 + 0xe6546b64u;
}

// Folds `count` words into h: the sum modulo 2^32 of each word mixed with its
// position (xor with a multiple of the position, a multiplication, an
// xor-shift: for each position a bijection that scatters the bits). A changed
// word, or another arrangement of the same words (another permutation, a
// shifted section), changes the sum as a random value would, where a linear
// checksum lets the changes cancel. The words are independent of one
// another, so the loop runs several at a time.
inline uint32_t FoldWords(uint32_t h, const int32_t* w, int64_t count) {
  uint32_t sum = 0, position = 0;
  for (int64_t k = 0; k < count; ++k, position += 0x9e3779b9u) {
    const uint32_t x = (static_cast<uint32_t>(w[k]) ^ position) * 0x85ebca6bu;
    sum += x ^ x >> 15;
  }
  return Mix(Mix(h, static_cast<uint32_t>(count)), sum);
}

// The checksums of KEEP (1-based view); the counts KEEP(n+1) (nodes, at most
// n) and KEEP(n+2) (entries, at most n + ne) must have been checked.
template <class View>
int32_t OrderChecksum(View keep, int32_t n) {
  return static_cast<int32_t>(FoldWords(Mix(kAnalysed, n), keep.from(1), n));
}
template <class View>
int32_t ContentChecksum(View keep, int32_t n, int32_t ne) {
  uint32_t h = Mix(Mix(kSuspended, n), ne);
  h = FoldWords(h, keep.from(KeepNodeCount(n)), 2);
  h = FoldWords(h, keep.from(KeepRowCounts(n)),
                2 * int64_t{n});  // row counts, node of each variable
  h = FoldWords(h, keep.from(KeepChildren(n)), keep(KeepNodeCount(n)));
  h = FoldWords(h, keep.from(KeepMap(n)), ne);
  return static_cast<int32_t>(FoldWords(h, keep.from(KeepColumns(n, ne)), keep(KeepEntryCount(n))));
}

// Marks KEEP as holding the analysis of order n with ne entries, with no
// factorization suspended.
template <class View>
void StampAnalysis(View keep, int32_t n, int32_t ne) {
  keep(KeepAnalysedStamp(n)) = kAnalysed;
  keep(KeepOrderChecksum(n)) = OrderChecksum(keep, n);
  keep(KeepContentChecksum(n)) = ContentChecksum(keep, n, ne);
  keep(KeepSuspendedStamp(n)) = 0;
}

// Withdraws the analysis stamp: KEEP is about to change, or was changed.
template <class View>
void ClearAnalysisStamp(View keep, int32_t n) {
  keep(KeepAnalysedStamp(n)) = 0;
  keep(KeepSuspendedStamp(n)) = 0;
}

}  // namespace ma57
}  // namespace pemric
