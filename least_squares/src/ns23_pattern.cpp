#include "ns23_pattern.h"

#include <cstdlib>
#include <limits>

#include "pemric/ns23.h"

namespace pemric::ns23 {
namespace {

// First faulty position of a list of column starts (1 = P(1) <= P(2) <= ...
// <= P(N+1)), or 0. INT32_MIN is no mark (its absolute value has no 32-bit
// form).
int64_t FirstFaultyStart(const int32_t* ptr, int64_t n, bool marked) {
  int64_t prev = 1;
  for (int64_t j = 1; j <= n + 1; ++j) {
    int64_t v = ptr[j - 1];
    if (marked && v == std::numeric_limits<int32_t>::min()) return j;
    if (marked && v < 0) v = -v;
    if ((j == 1 && v != 1) || v < prev) return j;
    prev = v;
  }
  return 0;
}

// First k in 1..count whose row index lies outside 1..m, or 0.
int64_t FirstRowOutside(const int32_t* rows, int64_t count, int32_t m) {
  for (int64_t k = 1; k <= count; ++k) {
    if (rows[k - 1] < 1 || rows[k - 1] > m) return k;
  }
  return 0;
}

}  // namespace

PatternFault FirstPatternFault(const Patterns& b) {
  if (const int64_t j = FirstFaultyStart(b.ip, b.n, true)) return {NS23_ERR_IP, j};
  if (const int64_t k = FirstRowOutside(b.irn, std::abs(int64_t{b.ip[b.n]}) - 1, b.m)) {
    return {NS23_ERR_IRN, k};
  }
  if (const int64_t j = FirstFaultyStart(b.aip, b.n, false)) return {NS23_ERR_AIP, j};
  if (const int64_t k = FirstRowOutside(b.airn, int64_t{b.aip[b.n]} - 1, b.m)) {
    return {NS23_ERR_AIRN, k};
  }
  return {};
}

}  // namespace pemric::ns23
