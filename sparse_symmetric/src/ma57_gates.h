// The gates of the printed output of the three MA57 phases, the same in
// every phase: error messages at print level ICNTL(5) >= 1 on stream
// ICNTL(1), warnings at >= 2 on ICNTL(2), the entry and exit reports at >= 3
// on ICNTL(3), with arrays in full only at >= 4 (else cut to ten values). A
// negative stream number silences its stream.
#pragma once

#include <algorithm>
#include <cstdint>

#include "pemric/ma57.h"
#include "pemric/one_based.h"

namespace pemric::ma57 {

struct Gates {
  explicit Gates(const int32_t* icntl_first) {
    const OneBased<const int32_t> icntl(icntl_first);
    lp = icntl(MA57_ICNTL_ERROR_STREAM);
    wp = icntl(MA57_ICNTL_WARNING_STREAM);
    mp = icntl(MA57_ICNTL_MONITOR_STREAM);
    level = icntl(MA57_ICNTL_PRINT_LEVEL);
  }
  bool errors() const { return level >= 1 && lp >= 0; }
  bool warnings() const { return level >= 2 && wp >= 0; }
  bool monitor() const { return level >= 3 && mp >= 0; }
  // The values of an array that a report shows.
  int64_t Shown(int64_t count) const { return level >= 4 ? count : std::min<int64_t>(count, 10); }

  int32_t lp = 6;     // error stream, ICNTL(1)
  int32_t wp = 6;     // warning stream, ICNTL(2)
  int32_t mp = 6;     // monitoring stream, ICNTL(3)
  int32_t level = 0;  // print level, ICNTL(5)
};

// A labelled value of a phase's entry or exit report: the label, then the
// entry of ICNTL, INFO or RINFO at `position`.
struct Labelled {
  const char* label;
  int position;
};

// The streams and the print level as the entry reports of the analysis and
// the solution label them (the factorization's labels are two columns
// shorter).
inline constexpr Labelled kStreamControls[] = {
    {"ICNTL(1)  Stream for errors                   =", MA57_ICNTL_ERROR_STREAM},
    {" --- (2)  Stream for warnings                 =", MA57_ICNTL_WARNING_STREAM},
    {" --- (3)  Stream for monitoring               =", MA57_ICNTL_MONITOR_STREAM},
    {" --- (4)  Stream for statistics               =", MA57_ICNTL_STATISTICS_STREAM},
    {" --- (5)  Level of diagnostic printing        =", MA57_ICNTL_PRINT_LEVEL},
};

}  // namespace pemric::ma57
