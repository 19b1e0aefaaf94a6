// Column-form input: checking the column starts, cleaning the columns, and
// ordering the rows within each column.
#include <cstdlib>

#include "mc59_internal.h"

namespace pemric {

// The starts must lie within 1..ne+1, or the columns would reach outside IRN
// and A; that is checked even when the caller asks for no checks. A start
// below its predecessor is an error only when checking.
int32_t MC59CheckColumnStarts(const MC59Options& opt, int32_t nc, int32_t ne, ConstInts ip) {
  const int64_t last = static_cast<int64_t>(ne) + 1;
  for (int32_t j = 1; j <= nc + 1; ++j) {
    const int32_t p = ip(j);
    if (p < 1 || p > last) return j;
    if (opt.check && j <= nc && ip(j + 1) < p) return j;
  }
  return 0;
}

// One pass over the columns. The marker of a row holds the position where it
// was last kept; a position at or after the current column's new start means
// a duplicate. Kept entries only ever move forward, so the packing is safe.
void MC59CleanColumns(const MC59Options& opt,
                      int32_t nc,
                      int32_t nr,
                      Ints irn,
                      Reals a,
                      Ints ip,
                      Ints marker,
                      MC59Counts& counts) {
  for (int32_t i = 1; i <= nr; ++i) marker(i) = 0;
  int32_t kept = 0;
  int32_t old_start = ip(1);
  for (int32_t j = 1; j <= nc; ++j) {
    const int32_t old_end = ip(j + 1);
    const int32_t new_start = kept + 1;
    ip(j) = new_start;
    for (int32_t k = old_start; k < old_end; ++k) {
      const int32_t i = irn(k);
      if (i < 1 || i > nr) {
        ++counts.bad_rows;
        continue;
      }
      if (opt.symmetric && i < j) {
        ++counts.bad_rows;
        ++counts.upper;
        continue;
      }
      MC59KeepOrMerge(opt, i, k, new_start, irn, a, marker, kept, counts);
    }
    old_start = old_end;
  }
  ip(nc + 1) = kept + 1;
}

// Insertion sort, quadratic in the longest column; columns of a Jacobian are
// short. The key is |row| in 64 bits, so that unchecked input with negative
// row numbers sorts without overflow.
void MC59SortColumns(const MC59Options& opt, int32_t nc, Ints irn, Reals a, ConstInts ip) {
  for (int32_t j = 1; j <= nc; ++j) {
    const int32_t first = ip(j);
    const int32_t end = ip(j + 1);
    for (int32_t k = first + 1; k < end; ++k) {
      const int32_t row = irn(k);
      const int64_t key = std::llabs(static_cast<int64_t>(row));
      const double value = opt.values ? a(k) : 0.0;
      int32_t m = k - 1;
      while (m >= first && std::llabs(static_cast<int64_t>(irn(m))) > key) {
        irn(m + 1) = irn(m);
        if (opt.values) a(m + 1) = a(m);
        --m;
      }
      irn(m + 1) = row;
      if (opt.values) a(m + 1) = value;
    }
  }
}

}  // namespace pemric
