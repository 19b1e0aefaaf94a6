// Words for the status codes of the three MA57 phases, for callers' reports.
#include <cstdint>

#include "pemric/ma57.h"

// One case per named status; a status added to the header gets its words
// here. The codes are distinct across the phases, so one text each suffices.
extern "C" PEMRIC_API const char* MA57StatusText(int32_t STATUS) {
  switch (STATUS) {
    case MA57_SUCCESS:
      return "success";
    case MA57_WARN_OUT_OF_RANGE:
      return "some indices out of range, ignored";
    case MA57_WARN_DUPLICATES:
      return "some off-diagonal entries duplicated";
    case MA57_WARN_RANGE_AND_DUPLICATES:
      return "some indices out of range, ignored, and some off-diagonal entries duplicated";
    case MA57_WARN_SINGULAR:
      return "matrix singular: rank < N";
    case MA57_SUSPENDED_REAL:
      return "factorization suspended: FACT too small";
    case MA57_SUSPENDED_INTEGER:
      return "factorization suspended: IFACT too small";
    case MA57_ERR_N:
      return "N < 1";
    case MA57_ERR_NE:
      return "NE < 0";
    case MA57_ERR_LFACT:
      return "LFACT too small";
    case MA57_ERR_LIFACT:
      return "LIFACT too small";
    case MA57_ERR_ZERO_PIVOT:
      return "zero pivot, which the pivoting control ICNTL(7) forbids";
    case MA57_ERR_SIGN_CHANGE:
      return "change of pivot sign, which the pivoting control ICNTL(7) forbids";
    case MA57_ERR_PERMUTATION:
      return "the pivot order supplied in KEEP is not a permutation";
    case MA57_ERR_ICNTL7:
      return "ICNTL(7) not in 1..4";
    case MA57_ERR_LRHS:
      return "LRHS < N";
    case MA57_ERR_LKEEP:
      return "LKEEP too small";
    case MA57_ERR_NRHS:
      return "NRHS < 1";
    case MA57_ERR_LW:
      return "LW < N * NRHS";
    default:
      return "unknown MA57 status";
  }
}
