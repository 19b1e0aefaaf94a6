#include "dalvex_test/fuzz_input.h"

#include <cmath>
#include <limits>

namespace dalvex_test {

int32_t FuzzInput::Int(int32_t lo, int32_t hi) {
  if (hi <= lo) return lo;
  uint32_t span = static_cast<uint32_t>(static_cast<int64_t>(hi) - lo) + 1u;
  uint32_t raw = Byte();
  if (span > 0x100u) raw = (raw << 8) | Byte();
  if (span > 0x10000u) raw = (raw << 16) | (static_cast<uint32_t>(Byte()) << 8) | Byte();
  return static_cast<int32_t>(lo + static_cast<int64_t>(raw % span));
}

int32_t FuzzInput::AnyInt() {
  static const int32_t kSpecial[] = {0, 1, -1, 2, -2, 6, 7, 100,
                                     std::numeric_limits<int32_t>::max(),
                                     std::numeric_limits<int32_t>::min(),
                                     std::numeric_limits<int32_t>::max() - 1, 0x40000000};
  uint8_t pick = Byte();
  if (pick < 128) return kSpecial[pick % (sizeof(kSpecial) / sizeof(kSpecial[0]))];
  uint32_t raw = (static_cast<uint32_t>(Byte()) << 24) | (static_cast<uint32_t>(Byte()) << 16) |
                 (static_cast<uint32_t>(Byte()) << 8) | Byte();
  return static_cast<int32_t>(raw);
}

double FuzzInput::AnyReal() {
  using L = std::numeric_limits<double>;
  switch (Byte() % 12) {
    case 0: return 0.0;
    case 1: return -0.0;
    case 2: return L::quiet_NaN();
    case 3: return L::infinity();
    case 4: return -L::infinity();
    case 5: return L::max() * (Bool() ? 1 : -1);
    case 6: return L::min() * (Bool() ? 1 : -1);
    case 7: return L::denorm_min() * Int(1, 1000);
    case 8: return std::ldexp(UnitReal(), Int(-1074, 1023));
    default: return UnitReal() * Int(1, 100);
  }
}

}  // namespace dalvex_test
