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
                              int32_t* irn,
                              int32_t* jcn,
                              double* a,
                              MC59Counts& counts) {
  int32_t kept = 0;
  for (int32_t k = 1; k <= ne; ++k) {
    int32_t i = At(irn, k);
    int32_t j = At(jcn, k);
    if (opt.check) {
      const bool bad_row = i < 1 || i > nr;
      const bool bad_column = j < 1 || j > nc;
      counts.bad_rows += bad_row;
      counts.bad_columns += bad_column;
      if (bad_row || bad_column) continue;
    }
    if (opt.symmetric && i < j) std::swap(i, j);
    ++kept;
    At(irn, kept) = i;
    At(jcn, kept) = j;
    if (opt.values) At(a, kept) = At(a, k);
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
                    int32_t* key,
                    int32_t* other,
                    double* a,
                    int32_t* start,
                    int32_t* fill) {
  for (int32_t b = 1; b <= nkeys; ++b) At(fill, b) = 0;
  for (int32_t k = 1; k <= n; ++k) {
    assert(At(key, k) >= 1 && At(key, k) <= nkeys);
    ++At(fill, At(key, k));
  }
  int32_t next = 1;
  for (int32_t b = 1; b <= nkeys; ++b) {
    At(start, b) = next;
    next += At(fill, b);
    At(fill, b) = At(start, b);
  }
  At(start, nkeys + 1) = next;
  for (int32_t b = 1; b <= nkeys; ++b) {
    const int32_t end = At(start, b + 1);
    while (At(fill, b) < end) {
      const int32_t k = At(fill, b);
      const int32_t kb = At(key, k);
      if (kb == b) {
        ++At(fill, b);
        continue;
      }
      const int32_t dest = At(fill, kb)++;
      std::swap(At(key, k), At(key, dest));
      std::swap(At(other, k), At(other, dest));
      if (opt.values) std::swap(At(a, k), At(a, dest));
    }
  }
}

// The marker of an index holds the position where it was last kept; a kept
// position at or after the current bucket's new start means the index has
// been met in this bucket already.
int32_t MC59MergeDuplicates(const MC59Options& opt,
                            int32_t nbuckets,
                            int32_t nindex,
                            int32_t* start,
                            int32_t* index,
                            double* a,
                            int32_t* marker,
                            MC59Counts& counts) {
  for (int32_t i = 1; i <= nindex; ++i) At(marker, i) = 0;
  int32_t kept = 0;
  int32_t old_start = At(start, 1);
  for (int32_t b = 1; b <= nbuckets; ++b) {
    const int32_t old_end = At(start, b + 1);
    const int32_t new_start = kept + 1;
    At(start, b) = new_start;
    for (int32_t k = old_start; k < old_end; ++k) {
      const int32_t i = At(index, k);
      MC59KeepOrMerge(opt, i, k, new_start, index, a, marker, kept, counts);
    }
    old_start = old_end;
  }
  At(start, nbuckets + 1) = kept + 1;
  return kept;
}

namespace {

// Moves a(k) to a(dest(k)) for every k, following the cycles of the
// permutation dest(1..n) and marking visited positions by negating dest.
void ApplyPermutation(int32_t n, int32_t* dest, double* a) {
  for (int32_t k = 1; k <= n; ++k) {
    if (At(dest, k) < 0) continue;
    double carried = At(a, k);
    int32_t d = At(dest, k);
    At(dest, k) = -d;
    while (d != k) {
      std::swap(carried, At(a, d));
      const int32_t next = At(dest, d);
      At(dest, d) = -next;
      d = next;
    }
    At(a, k) = carried;
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
                       const int32_t* rowstart,
                       int32_t* jcn,
                       int32_t* irn,
                       double* a,
                       int32_t* ip) {
  const int32_t n = At(rowstart, nr + 1) - 1;
  for (int32_t j = 1; j <= nc + 1; ++j) At(ip, j) = 0;
  for (int32_t k = 1; k <= n; ++k) ++At(ip, At(jcn, k));
  int32_t end = 1;
  for (int32_t j = 1; j <= nc; ++j) {
    end += At(ip, j);
    At(ip, j) = end;  // one past the last position of column j
  }
  At(ip, nc + 1) = end;
  for (int32_t i = nr; i >= 1; --i) {
    for (int32_t k = At(rowstart, i + 1) - 1; k >= At(rowstart, i); --k) {
      const int32_t dest = --At(ip, At(jcn, k));
      At(irn, dest) = i;
      if (opt.values) At(jcn, k) = dest;
    }
  }
  if (opt.values) ApplyPermutation(n, jcn, a);
}

}  // namespace pemric
