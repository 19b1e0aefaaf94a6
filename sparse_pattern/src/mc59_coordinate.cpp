// Coordinate input to column form: gathering, in-place bucket sort, duplicate
// merging, and the transposition that leaves rows increasing in each column.
#include <cassert>
#include <utility>

#include "mc59_internal.h"

namespace pemric {

int32_t MC59GatherCoordinates(const MC59Options& opt,
                              int32_t nc,
                              int32_t nr,
                              int32_t ne,
                              Ints irn,
                              Ints jcn,
                              Reals a,
                              MC59Counts& counts) {
  int32_t kept = 0;
  for (int32_t k = 1; k <= ne; ++k) {
    int32_t i = irn(k);
    int32_t j = jcn(k);
    if (opt.check) {
      const bool bad_row = i < 1 || i > nr;
      const bool bad_column = j < 1 || j > nc;
      counts.bad_rows += bad_row;
      counts.bad_columns += bad_column;
      if (bad_row || bad_column) continue;
    }
    if (opt.symmetric && i < j) std::swap(i, j);
    ++kept;
    irn(kept) = i;
    jcn(kept) = j;
    if (opt.values) a(kept) = a(k);
  }
  return kept;
}

// Counting sort in place. After counting, fill(b) is the next free position of
// bucket b. The entry at bucket j's fill position either belongs there (the
// pointer advances) or is swapped to the fill position of its own bucket,
// which is then final. Each swap places one entry for good, so the work is
// linear. Example, keys (2 1 2 1): starts (1 3 5); position 1 holds key 2, is
// swapped with position 3 (keys 2 1 2 1 -> 2 1 2 1, fill(2) = 4); position 1
// again holds key 2, swapped with 4 -> (1 1 2 2), fill(2) = 5; then bucket 1
// advances over positions 1 and 2.
void MC59BucketSort(const MC59Options& opt,
                    int32_t n,
                    int32_t nkeys,
                    Ints key,
                    Ints other,
                    Reals a,
                    Ints start,
                    Ints fill) {
  for (int32_t b = 1; b <= nkeys; ++b) fill(b) = 0;
  for (int32_t k = 1; k <= n; ++k) {
    assert(key(k) >= 1 && key(k) <= nkeys);
    ++fill(key(k));
  }
  int32_t next = 1;
  for (int32_t b = 1; b <= nkeys; ++b) {
    start(b) = next;
    next += fill(b);
    fill(b) = start(b);
  }
  start(nkeys + 1) = next;
  for (int32_t b = 1; b <= nkeys; ++b) {
    const int32_t end = start(b + 1);
    while (fill(b) < end) {
      const int32_t k = fill(b);
      const int32_t kb = key(k);
      if (kb == b) {
        ++fill(b);
        continue;
      }
      const int32_t dest = fill(kb)++;
      std::swap(key(k), key(dest));
      std::swap(other(k), other(dest));
      if (opt.values) std::swap(a(k), a(dest));
    }
  }
}

// The marker of an index holds the position where it was last kept; a kept
// position at or after the current bucket's new start means the index has
// been met in this bucket already.
int32_t MC59MergeDuplicates(const MC59Options& opt,
                            int32_t nbuckets,
                            int32_t nindex,
                            Ints start,
                            Ints index,
                            Reals a,
                            Ints marker,
                            MC59Counts& counts) {
  for (int32_t i = 1; i <= nindex; ++i) marker(i) = 0;
  int32_t kept = 0;
  int32_t old_start = start(1);
  for (int32_t b = 1; b <= nbuckets; ++b) {
    const int32_t old_end = start(b + 1);
    const int32_t new_start = kept + 1;
    start(b) = new_start;
    for (int32_t k = old_start; k < old_end; ++k) {
      const int32_t i = index(k);
      MC59KeepOrMerge(opt, i, k, new_start, index, a, marker, kept, counts);
    }
    old_start = old_end;
  }
  start(nbuckets + 1) = kept + 1;
  return kept;
}

namespace {

// Moves a(k) to a(dest(k)) for every k, following the cycles of the
// permutation dest(1..n) and marking visited positions by negating dest.
void ApplyPermutation(int32_t n, Ints dest, Reals a) {
  for (int32_t k = 1; k <= n; ++k) {
    if (dest(k) < 0) continue;
    double carried = a(k);
    int32_t d = dest(k);
    dest(k) = -d;
    while (d != k) {
      std::swap(carried, a(d));
      const int32_t next = dest(d);
      dest(d) = -next;
      d = next;
    }
    a(k) = carried;
  }
}

}  // namespace

// Each entry's row is known from its row bucket, so irn is written but never
// read here and can receive the output directly. Rows are visited from nr
// down, each entry placed just before its column's current end, so rows come
// out increasing. With values, jcn(k) is replaced by the destination of entry
// k and the values are permuted afterwards.
void MC59RowsToColumns(const MC59Options& opt,
                       int32_t nc,
                       int32_t nr,
                       ConstInts rowstart,
                       Ints jcn,
                       Ints irn,
                       Reals a,
                       Ints ip) {
  const int32_t n = rowstart(nr + 1) - 1;
  for (int32_t j = 1; j <= nc + 1; ++j) ip(j) = 0;
  for (int32_t k = 1; k <= n; ++k) ++ip(jcn(k));
  int32_t end = 1;
  for (int32_t j = 1; j <= nc; ++j) {
    end += ip(j);
    ip(j) = end;  // one past the last position of column j
  }
  ip(nc + 1) = end;
  for (int32_t i = nr; i >= 1; --i) {
    for (int32_t k = rowstart(i + 1) - 1; k >= rowstart(i); --k) {
      const int32_t dest = --ip(jcn(k));
      irn(dest) = i;
      if (opt.values) jcn(k) = dest;
    }
  }
  if (opt.values) ApplyPermutation(n, jcn, a);
}

}  // namespace pemric
