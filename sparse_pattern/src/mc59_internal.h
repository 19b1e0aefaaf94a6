// Internal phases of MC59AD. Every array is a 1-based view of the caller's;
// lengths are those checked by MC59AD on entry.
#pragma once

#include <cstdint>

#include "pemric/one_based.h"

namespace pemric {

using Ints = OneBased<int32_t>;
using ConstInts = OneBased<const int32_t>;
using Reals = OneBased<double>;

struct MC59Options {
  bool check;           // drop out-of-range entries and merge duplicates
  bool values;          // A holds values that move with their entries
  bool symmetric;       // fold into the lower triangle
  bool sum_duplicates;  // add a duplicate's value to the kept entry (else discard it)
};

struct MC59Counts {
  int32_t duplicates = 0;  // INFO(3)
  int32_t bad_rows = 0;    // INFO(4)
  int32_t bad_columns = 0; // INFO(5)
  int32_t upper = 0;       // INFO(7)
};

// Entry k (index i) of a bucket whose packed copy starts at new_start: kept
// as entry kept + 1, or, when marker(i) shows the index was already kept in
// this bucket, counted as a duplicate and its value summed or discarded.
// Kept entries only ever move forward, so packing in place is safe.
inline void MC59KeepOrMerge(const MC59Options& opt,
                            int32_t i,
                            int32_t k,
                            int32_t new_start,
                            Ints index,
                            Reals a,
                            Ints marker,
                            int32_t& kept,
                            MC59Counts& counts) {
  const int32_t mark = marker(i);
  if (mark >= new_start) {
    ++counts.duplicates;
    if (opt.values && opt.sum_duplicates) a(mark) += a(k);
    return;
  }
  ++kept;
  index(kept) = i;
  if (opt.values) a(kept) = a(k);
  marker(i) = kept;
}

// Coordinate input: drops out-of-range entries (when checking), packing the
// kept ones to the front in input order, and folds a symmetric matrix so that
// row >= column. Returns the number of entries kept.
int32_t MC59GatherCoordinates(const MC59Options& opt,
                              int32_t nc,
                              int32_t nr,
                              int32_t ne,
                              Ints irn,
                              Ints jcn,
                              Reals a,
                              MC59Counts& counts);

// Groups n coordinate entries by key (1..nkeys) in place. On exit
// start(1..nkeys+1) holds the bucket starts; fill(1..nkeys) is overwritten.
// `other` and, with values, `a` move with their keys.
void MC59BucketSort(const MC59Options& opt,
                    int32_t n,
                    int32_t nkeys,
                    Ints key,
                    Ints other,
                    Reals a,
                    Ints start,
                    Ints fill);

// Merges duplicate indices within each of nbuckets buckets of `index`, keeping
// the first one met and packing the kept entries forward; rebuilds
// start(1..nbuckets+1). marker(1..nindex) is workspace. Returns the entries left.
int32_t MC59MergeDuplicates(const MC59Options& opt,
                            int32_t nbuckets,
                            int32_t nindex,
                            Ints start,
                            Ints index,
                            Reals a,
                            Ints marker,
                            MC59Counts& counts);

// Turns n entries grouped by row (row starts rowstart(1..nr+1), column numbers
// in jcn) into column form with increasing rows: irn and ip(1..nc+1) on exit.
// jcn is destroyed.
void MC59RowsToColumns(const MC59Options& opt,
                       int32_t nc,
                       int32_t nr,
                       ConstInts rowstart,
                       Ints jcn,
                       Ints irn,
                       Reals a,
                       Ints ip);

// Column-form input: checks that ip(1..nc+1) rises within 1..ne+1 (the rise
// only when checking). Returns 0, or the column j of the first bad IP(j).
int32_t MC59CheckColumnStarts(const MC59Options& opt, int32_t nc, int32_t ne, ConstInts ip);

// Column-form input, when checking: drops out-of-range rows (and rows above
// the diagonal of a symmetric matrix), merges duplicates, packs, rebuilds ip.
void MC59CleanColumns(const MC59Options& opt,
                      int32_t nc,
                      int32_t nr,
                      Ints irn,
                      Reals a,
                      Ints ip,
                      Ints marker,
                      MC59Counts& counts);

// Orders the rows of every column by insertion sort on |row|.
void MC59SortColumns(const MC59Options& opt, int32_t nc, Ints irn, Reals a, ConstInts ip);

}  // namespace pemric
