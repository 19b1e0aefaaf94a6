// Shared pieces of the fuzz targets: the decoder of the fuzzer's bytes (from
// the test support library), caller arrays with guard cells on both sides,
// and the one way a target reports a broken invariant.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "dalvex_test/fuzz_input.h"

namespace dalvex_fuzz {

using dalvex_test::FuzzInput;

// A broken invariant: the target's name and what was found. Fail throws it;
// CheckedRun catches it, so that a broken invariant ends the input and is
// reported rather than ending the process.
struct BrokenInvariant {
  const char* target;
  const char* what;
};
[[noreturn]] void Fail(const char* target, const char* what);

// Runs one input through a target's `body` (a callable that checks its
// invariants with Fail). Returns "" when they all held, else the message
// "fuzz target <name>: invariant broken: <what>".
template <typename Body>
std::string CheckedRun(Body&& body) {
  try {
    body();
  } catch (const BrokenInvariant& broken) {
    return std::string("fuzz target ") + broken.target + ": invariant broken: " + broken.what;
  }
  return std::string();
}

// A caller array of `length` elements with kGuard cells on each side, all
// filled with a sentinel; Intact() tells whether anything wrote outside.
template <typename T>
class Guarded {
 public:
  static constexpr int kGuard = 16;

  // Whole-buffer byte operations rather than loops over cells: the fuzz build
  // traces every loop comparison, and workspace arrays run to thousands of
  // cells, so per-cell set-up would cost more than the routine under test.
  explicit Guarded(int64_t length, T fill = T())
      : length_(length < 0 ? 0 : length),
        size_(static_cast<size_t>(length_ + 2 * kGuard)),
        cells_(new T[size_]) {
    std::memset(cells_.get(), 0xA5, size_ * sizeof(T));
    T zero{};
    if (std::memcmp(&fill, &zero, sizeof(T)) == 0) {
      std::memset(cells_.get() + kGuard, 0, static_cast<size_t>(length_) * sizeof(T));
    } else {
      for (int64_t k = 0; k < length_; ++k) cells_[static_cast<size_t>(kGuard + k)] = fill;
    }
  }
  // The caller's array (position 1 is data()[0]).
  T* data() { return cells_.get() + kGuard; }
  const T* data() const { return cells_.get() + kGuard; }
  T& operator()(int64_t k) { return cells_[static_cast<size_t>(kGuard + k - 1)]; }
  int64_t length() const { return length_; }

  bool Intact() const {
    unsigned char sentinel[kGuard * sizeof(T)];
    std::memset(sentinel, 0xA5, sizeof(sentinel));
    return std::memcmp(cells_.get(), sentinel, sizeof(sentinel)) == 0 &&
           std::memcmp(cells_.get() + kGuard + length_, sentinel, sizeof(sentinel)) == 0;
  }

 private:
  int64_t length_;
  size_t size_;
  std::unique_ptr<T[]> cells_;
};

// Sends a stream's records nowhere: the targets print at every level for the
// coverage, not for the text.
void SilenceStream(int32_t unit);

// The fuzz targets' entry functions: each runs one input and returns "" when
// every invariant held, else the message of the broken one (CheckedRun).
using Entry = std::string (*)(const uint8_t* data, size_t size);
std::string FuzzMc59(const uint8_t* data, size_t size);
std::string FuzzMa57Analysis(const uint8_t* data, size_t size);
std::string FuzzMa57Factor(const uint8_t* data, size_t size);
std::string FuzzNs23(const uint8_t* data, size_t size);
std::string FuzzRecord(const uint8_t* data, size_t size);
std::string FuzzParameters(const uint8_t* data, size_t size);
std::string FuzzMatrixMarket(const uint8_t* data, size_t size);

}  // namespace dalvex_fuzz
