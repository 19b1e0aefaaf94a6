// What a caller of NS23AD reads back to report on a solve: the words for its
// status codes, and the sparse solver's arrays that it keeps in its private
// state (the caller knows their positions only through this accessor).
#include <cstdint>

#include "ns23_layout.h"
#include "pemric/ns23.h"

extern "C" PEMRIC_API void NS23GetSparseSolverArrays(const int32_t* KEEP,
                                                     const double* RKEEP,
                                                     NS23SparseSolverArrays* ARRAYS) {
  using namespace pemric::ns23;
  if (ARRAYS == nullptr) return;
  const OneBased<const int32_t> keep(KEEP);
  const OneBased<const double> rkeep(RKEEP);
  ARRAYS->ICNTL = KEEP != nullptr ? keep.from(kMaIcntl) : nullptr;
  ARRAYS->INFO = KEEP != nullptr ? keep.from(kMaInfo) : nullptr;
  ARRAYS->CNTL = RKEEP != nullptr ? rkeep.from(kMaCntl) : nullptr;
  ARRAYS->RINFO = RKEEP != nullptr ? rkeep.from(kMaRinfo) : nullptr;
}

// One case per named status; a status added to the header gets its words here.
extern "C" PEMRIC_API const char* NS23StatusText(int32_t STATUS) {
  switch (STATUS) {
    case NS23_START:
      return "start of a new problem";
    case NS23_EVALUATE_CURRENT:
      return "evaluate F and FJAC at X, the best point so far";
    case NS23_EVALUATE_DIFFERENCE:
      return "evaluate F at X, a point of the difference Jacobian";
    case NS23_EVALUATE_LINE_SEARCH:
      return "evaluate F at X, a point along the last step";
    case NS23_EVALUATE_TRIAL:
      return "evaluate F (and FJAC when HMAX = 0) at X, the trial point";
    case NS23_FINISHED:
      return "finished: X is the best point found";
    case NS23_ERR_MAXFUN:
      return "more than MAXFUN residual evaluations would be needed";
    case NS23_ERR_LIW:
      return "LIW too small for the analysis of the Jacobian pattern";
    case NS23_ERR_WORKSPACE:
      return "LIW and/or LW too small";
    case NS23_ERR_SIZES:
      return "N < 1 or M < N";
    case NS23_ERR_NOT_FINITE:
      return "residuals, Jacobian or step not finite at the current point";
    case NS23_ERR_FACTORIZATION:
      return "the shifted normal matrix failed to factorize ten times";
    default:
      return "unknown NS23AD status";
  }
}
