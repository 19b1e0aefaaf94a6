// Default controls of the sparse symmetric solver.
#include "pemric/ma57.h"

extern "C" PEMRIC_API void MA57SetDefaults(double* CNTL, int32_t* ICNTL) {
  static const int32_t kIcntl[MA57_LICNTL] = {6, 6,  6, -1, 2,  0,   1, 0, 1, 0,
                                              16, 1, 10, 100, 0, 0, 0, 0, 0, 0};
  for (int k = 0; k < MA57_LICNTL; ++k) ICNTL[k] = kIcntl[k];
  // The threshold is the single-precision 0.01 widened to double
  // (0.009999999776482582), kept so that pivot choices match the
  // long-standing behaviour of this default.
  CNTL[MA57_CNTL_THRESHOLD - 1] = static_cast<double>(0.01f);
  CNTL[MA57_CNTL_ZERO_PIVOT - 1] = 0.0;
  CNTL[MA57_CNTL_CONVERGENCE - 1] = 0.5;
  CNTL[3] = 0.0;
  CNTL[4] = 0.0;
}
