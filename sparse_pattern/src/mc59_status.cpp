// Words for the status codes of MC59AD, for callers' reports.
#include <cstdint>

#include "pemric/mc59.h"

namespace {

// The warnings by the sum of their bits: duplicates, bad rows, bad columns.
static_assert(MC59_WARN_DUPLICATES == 1 && MC59_WARN_BAD_ROWS == 2 && MC59_WARN_BAD_COLUMNS == 4,
              "one bit each, in this order");
constexpr int32_t kAllWarnings = MC59_WARN_DUPLICATES | MC59_WARN_BAD_ROWS | MC59_WARN_BAD_COLUMNS;
constexpr const char* kWarningTexts[kAllWarnings + 1] = {
    "success",
    "duplicate entries merged",
    "entries with a row number out of range removed",
    "duplicate entries merged; entries with a row number out of range removed",
    "entries with a column number out of range removed",
    "duplicate entries merged; entries with a column number out of range removed",
    "entries with a row or column number out of range removed",
    "duplicate entries merged; entries with a row or column number out of range removed"};

}  // namespace

// One case per named error; an error added to the header gets its words here.
extern "C" PEMRIC_API const char* MC59StatusText(int32_t STATUS) {
  if (STATUS >= 0 && STATUS <= kAllWarnings) return kWarningTexts[STATUS];
  switch (STATUS) {
    case MC59_ERROR_MODE:
      return "ICNTL(2), the mode, not in 0..2";
    case MC59_ERROR_NC:
      return "NC < 1";
    case MC59_ERROR_NR:
      return "NR < 1, or NR != NC for a symmetric pattern";
    case MC59_ERROR_NE:
      return "NE < 1, or too large";
    case MC59_ERROR_LJCN:
      return "LJCN too small";
    case MC59_ERROR_LA:
      return "LA too small";
    case MC59_ERROR_LIP:
      return "LIP too small";
    case MC59_ERROR_LIW:
      return "LIW too small";
    case MC59_ERROR_IP:
      return "column starts IP decreasing or out of range";
    case MC59_ERROR_ALL_OUT:
      return "every entry out of range";
    case MC59_ERROR_SYMMETRY:
      return "ICNTL(6), the symmetry, not in -2..2";
    default:
      return "unknown MC59AD status";
  }
}
