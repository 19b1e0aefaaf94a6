// Walks the block records of the factors. Example: one block with c = p = 3
// and pivots (-1, -2, 3) stores its upper pivot triangle by rows as
// [d1 0 l13 | d2 l23 | d3]: the diagonal of row i lies at i*p - i(i-1)/2
// (0, 3, 5), the pair (1, 2) takes the first 2x2 off-diagonal of D^-1
// stored after the blocks, and pivot 3 is a 1x1.
#include "factor_determinant.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace dalvex::internal {

LogDeterminant DeterminantOfFactors(const double* fact, const int32_t* ifact) {
  double log_abs = 0.0, sign = 1.0;
  auto take = [&](double inverse) {  // a pivot's share: 1/d, or 1/delta for a 2x2
    log_abs -= std::log(std::fabs(inverse));
    if (inverse < 0.0) sign = -sign;
  };
  int64_t two_by_two = int64_t{ifact[0]} - 1;  // FACT(IFACT(1)), from 0
  const int32_t blocks = ifact[2];
  int64_t record = 3;  // IFACT(4), from 0
  int64_t block_start = 0;
  for (int32_t b = 0; b < blocks; ++b) {
    const int64_t c = std::abs(ifact[record]), p = std::abs(ifact[record + 1]);
    const int32_t* pivots = ifact + record + 2;
    auto diagonal = [&](int64_t i) { return fact[block_start + i * p - i * (i - 1) / 2]; };
    for (int64_t i = 0; i < p; ++i) {
      if (pivots[i] < 0 && i + 1 < p) {  // the first member of a 2x2 pivot
        const double off = fact[two_by_two++];
        take(diagonal(i) * diagonal(i + 1) - off * off);
        ++i;
      } else {
        take(diagonal(i));
      }
    }
    block_start += p * (p + 1) / 2 + p * (c - p);
    record += 2 + c;
  }
  LogDeterminant d;
  d.sign = sign;
  d.log_abs = log_abs;
  return d;
}

}  // namespace dalvex::internal
