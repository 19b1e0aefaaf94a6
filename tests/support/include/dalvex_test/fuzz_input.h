// The one decoder of fuzz inputs, shared by the fuzz targets and the tests
// that feed them: it turns a string of bytes into sizes, controls and values.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dalvex_test {

// Reads the bytes front to back; once they run out every read returns the
// low end of its range, so any input is a complete case.
class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  bool Bool() { return (Byte() & 1) != 0; }
  // An integer in [lo, hi] (hi - lo below 2^31).
  int32_t Int(int32_t lo, int32_t hi);
  // Any 32-bit integer, drawn towards the troublesome ones (0, +-1, limits).
  int32_t AnyInt();
  // A real drawn from ordinary values, signed zeros, NaN, infinities, huge,
  // tiny and subnormal numbers.
  double AnyReal();
  // An ordinary real in [-1, 1].
  double UnitReal() { return Int(-1000, 1000) / 1000.0; }
  size_t remaining() const { return pos_ < size_ ? size_ - pos_ : 0; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

}  // namespace dalvex_test
