#include <cstdint>
#include <cstring>

#include "pemric/common.h"
#include "pemric/record.h"

namespace {

double FromBits(uint64_t bits) {
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

}  // namespace

// The constants are stored with fixed bit patterns, a few units in the last
// place away from the exact IEEE limits, so that every platform and compiler
// returns the same doubles.
extern "C" double MachineConstant(const int32_t* I) {
  static const uint64_t kBits[5] = {
      0x3CB0000000000002ULL,  // relative precision
      0x3CA0000000000006ULL,  // half of it
      0x0010000000000001ULL,  // smallest positive normalised number
      0x0010000000000001ULL,  // the same
      0x7FEFFFFFFFFFFFFBULL,  // largest number
  };
  const int32_t i = *I;
  if (i >= 1 && i <= 5) return FromBits(kBits[i - 1]);
  pemric::ListRecord(6) << "ID05A-F-out of range";
  return 0.0;
}
