// Default controls of the sparse symmetric solver.
#include <algorithm>

#include "pemric/ma57.h"
#include "pemric/one_based.h"

extern "C" PEMRIC_API void MA57SetDefaults(double* CNTL, int32_t* ICNTL) {
  // Every position is set; ICNTL(15..20), named nowhere, are 0.
  std::fill(ICNTL, ICNTL + MA57_LICNTL, 0);
  const pemric::OneBased<int32_t> icntl(ICNTL);
  icntl(MA57_ICNTL_ERROR_STREAM) = 6;
  icntl(MA57_ICNTL_WARNING_STREAM) = 6;
  icntl(MA57_ICNTL_MONITOR_STREAM) = 6;
  icntl(MA57_ICNTL_STATISTICS_STREAM) = -1;
  icntl(MA57_ICNTL_PRINT_LEVEL) = 2;
  icntl(MA57_ICNTL_SUPPLIED_ORDER) = 0;
  icntl(MA57_ICNTL_PIVOTING) = MA57_PIVOT_THRESHOLD;
  icntl(MA57_ICNTL_SUSPEND) = 0;
  icntl(MA57_ICNTL_REFINEMENT_STEPS) = 1;
  icntl(MA57_ICNTL_ERROR_ANALYSIS) = 0;
  icntl(MA57_ICNTL_BLOCK_SIZE) = 16;
  icntl(MA57_ICNTL_AMALGAMATION) = 1;
  icntl(MA57_ICNTL_BLAS_THRESHOLD) = 10;
  icntl(MA57_ICNTL_RESERVED) = 100;
  std::fill(CNTL, CNTL + MA57_LCNTL, 0.0);
  const pemric::OneBased<double> cntl(CNTL);
  // The threshold is the single-precision 0.01 widened to double
  // (0.009999999776482582), kept so that pivot choices match the
  // long-standing behaviour of this default. CNTL(3) = 0.5 is not read;
  // CNTL(4..5), named nowhere, are 0 and not used.
  cntl(MA57_CNTL_THRESHOLD) = static_cast<double>(0.01f);
  cntl(MA57_CNTL_ZERO_PIVOT) = 0.0;
  cntl(MA57_CNTL_CONVERGENCE) = 0.5;
}
