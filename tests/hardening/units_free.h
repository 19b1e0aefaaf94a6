// Whether every output unit a solver may reserve is free again.
#pragma once

#include <cstdint>

#include "vorn/services.h"

// Tries each unit in turn but the console's 5 and 6, and gives
// back those it could reserve.
inline bool UnitsFree() {
  bool all = true;
  for (int32_t unit = 1; unit <= 99; ++unit) {
    if (unit == 5 || unit == 6) continue;
    const bool free = VornServices::ReserveFortranLogicalUnit(unit);
    if (free) VornServices::FreeFortranLogicalUnit(unit);
    all = all && free;
  }
  return all;
}
