// Shared pieces of the fuzz targets: a reader that turns the fuzzer's bytes
// into sizes, controls and values, caller arrays with guard cells on both
// sides, and the one way a target reports a broken invariant.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace dalvex_fuzz {

// Prints `what` to stderr and aborts: libFuzzer records the input as a crash,
// and a replay test dies with the message.
[[noreturn]] void Fail(const char* target, const char* what);

// Reads the fuzzer's bytes front to back; once they run out every read
// returns the low end of its range, so any input is a complete case.
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

// A caller array of `length` elements with kGuard cells on each side, all
// filled with a sentinel; Intact() tells whether anything wrote outside.
template <typename T>
class Guarded {
 public:
  static constexpr int kGuard = 16;

  explicit Guarded(int64_t length, T fill = T())
      : length_(length < 0 ? 0 : length), cells_(static_cast<size_t>(length_ + 2 * kGuard)) {
    for (auto& c : cells_) std::memset(&c, 0xA5, sizeof(T));
    for (int64_t k = 0; k < length_; ++k) cells_[static_cast<size_t>(kGuard + k)] = fill;
  }
  // The caller's array (position 1 is data()[0]).
  T* data() { return cells_.data() + kGuard; }
  const T* data() const { return cells_.data() + kGuard; }
  T& operator()(int64_t k) { return cells_[static_cast<size_t>(kGuard + k - 1)]; }
  int64_t length() const { return length_; }

  bool Intact() const {
    T sentinel;
    std::memset(&sentinel, 0xA5, sizeof(T));
    for (int k = 0; k < kGuard; ++k) {
      if (std::memcmp(&cells_[static_cast<size_t>(k)], &sentinel, sizeof(T)) != 0) return false;
      size_t tail = static_cast<size_t>(kGuard + length_ + k);
      if (std::memcmp(&cells_[tail], &sentinel, sizeof(T)) != 0) return false;
    }
    return true;
  }

 private:
  int64_t length_;
  std::vector<T> cells_;
};

// Sends a stream's records nowhere: the targets print at every level for the
// coverage, not for the text.
void SilenceStream(int32_t unit);

// The fuzz targets' entry functions: each takes one input and returns 0;
// a broken invariant calls Fail.
int FuzzMc59(const uint8_t* data, size_t size);
int FuzzMa57Analysis(const uint8_t* data, size_t size);
int FuzzMa57Factor(const uint8_t* data, size_t size);
int FuzzNs23(const uint8_t* data, size_t size);
int FuzzRecord(const uint8_t* data, size_t size);
int FuzzParameters(const uint8_t* data, size_t size);

}  // namespace dalvex_fuzz
