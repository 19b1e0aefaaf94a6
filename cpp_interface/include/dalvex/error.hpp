// The one exception type of the C++ interface. Misuse throws it: sizes that
// do not fit, indices out of range, non-finite values where the method cannot
// take them, options out of range, phases called out of order, malformed
// files. Numerical outcomes (a singular matrix, a solve that does not
// converge) are never thrown: they are results, in the statistics and
// summaries. Running out of memory throws std::bad_alloc, as the standard
// library does.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace dalvex {

enum class ErrorCode : int {
  kInvalidArgument = 1,  // a size, option or combination the method cannot take
  kIndexOutOfRange = 2,  // an index outside its range (0 .. n-1 for an order n)
  kNotSymmetric = 3,     // both triangles given and they differ (the first mismatch named)
  kNotFinite = 4,        // NaN or an infinity where the method needs a finite value
  kPatternMismatch = 5,  // values for a pattern other than the analysed one
  kWrongState = 6,       // a phase called before the one it needs (solve before factorize)
  kTooLarge = 7,         // a size beyond the numeric routines' 32-bit lengths
  kUnavailable = 8,      // asked for something this build lacks (METIS)
  kMalformedInput = 9,   // a file that breaks its format (the line and the fault named)
  kRoutineStatus = 10,   // a status of a numeric routine that has no meaning here; kept in
                         // routine_status()
  kFile = 11,            // a file that cannot be opened, read or written (the reason named)
};

// The code's name, "invalid argument", "index out of range", ...
const char* to_string(ErrorCode code);

class Error : public std::runtime_error {
 public:
  // `routine_status` is the numeric routine's status when it is the source.
  Error(ErrorCode code, const std::string& message, int32_t routine_status = 0)
      : std::runtime_error(message), code_(code), routine_status_(routine_status) {}

  ErrorCode code() const noexcept { return code_; }
  int32_t routine_status() const noexcept { return routine_status_; }

 private:
  ErrorCode code_;
  int32_t routine_status_;
};

}  // namespace dalvex
