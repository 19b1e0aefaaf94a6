// How a numeric routine reports a failure, in one place for every family:
// the status goes where the routine returns it (INFO(1), or IFLAG), the
// offending value to INFO(2), and, when the family's gate opens its error
// stream, the routine's heading and the failure's own detail records follow
// on that stream. Argument checks read as a flat list in their fixed order,
// each one line that ends the checks:
//
//   const ErrorReport report(status_cell, value_cell, stream, kHeading, 3);
//   if (n < 1) return report.Fail(MA57_ERR_N, n, NHasValue(n));
//
// where NHasValue(n) returns the callable that writes the detail records,
// [=](int32_t unit) { Record(unit).Text("N has value ").I(n, 10); }.
//
// A failure found later, during the numerical work, is reported the same way.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>

#include "pemric/record.h"

namespace pemric {

// An error stream as a family's rules decide it: its number, and whether
// records go there at all (MA57: print level >= 1 and number >= 0; MC59:
// number >= 1; NS23: number > 0).
struct ErrorStream {
  int32_t unit = 0;
  bool open = false;
};

class ErrorReport {
 public:
  // status: the cell that receives the status; value: the cell that receives
  // the offending value, or nullptr for a routine that derives it on return.
  // heading: text of the record that opens every message, followed by the
  // status in an Iw field (w = status_width; 0 for the shortest form);
  // nullptr when the details carry the whole message.
  ErrorReport(
      int32_t* status, int32_t* value, ErrorStream stream, const char* heading, int status_width)
      : status_(status), value_(value), stream_(stream), heading_(heading), width_(status_width) {}

  // Records the failure and prints the heading; `detail(unit)` then writes
  // the records that follow it. Returns false, the result of a failed check.
  template <class Detail>
  bool Fail(int32_t status, int64_t value, Detail&& detail) const {
    if (Store(status, value)) detail(stream_.unit);
    return false;
  }
  // A failure whose message is the heading alone.
  bool Fail(int32_t status, int64_t value) const {
    Store(status, value);
    return false;
  }

  const ErrorStream& stream() const { return stream_; }

 private:
  // Stores the status and the value (held to the 32-bit range) and writes
  // the heading; true when the stream takes the detail records.
  bool Store(int32_t status, int64_t value) const {
    *status_ = status;
    if (value_ != nullptr) {
      constexpr int64_t kLow = std::numeric_limits<int32_t>::min();
      constexpr int64_t kHigh = std::numeric_limits<int32_t>::max();
      *value_ = static_cast<int32_t>(std::clamp(value, kLow, kHigh));
    }
    if (!stream_.open) return false;
    if (heading_ != nullptr) Record(stream_.unit).Text(heading_).I(status, width_);
    return true;
  }

  int32_t* status_;
  int32_t* value_;
  ErrorStream stream_;
  const char* heading_;
  int width_;
};

}  // namespace pemric
