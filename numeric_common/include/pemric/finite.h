// Whether an array of doubles holds only finite values (no infinity, no NaN),
// for the checks that keep a non-finite intermediate from passing for a
// result. The test looks at the exponent bits alone (all ones for an
// infinity or a NaN) and ORs them up, so the loop has no branch and no
// floating-point dependence and runs at memory speed.
#pragma once

#include <cstdint>
#include <cstring>

namespace pemric {

inline bool AllFinite(const double* v, int64_t count) {
  uint64_t bad = 0;
  for (int64_t k = 0; k < count; ++k) {
    uint64_t bits;
    std::memcpy(&bits, v + k, sizeof bits);
    bad |= (((bits >> 52) & 0x7FF) + 1) >> 11;  // 1 exactly when the exponent is 0x7FF
  }
  return bad == 0;
}

}  // namespace pemric
