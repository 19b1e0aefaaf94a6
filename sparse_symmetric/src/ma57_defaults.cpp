// Default controls of the sparse symmetric solver.
#include "pemric/ma57.h"

extern "C" PEMRIC_API void MA57SetDefaults(double* CNTL, int32_t* ICNTL) {
  static const int32_t kIcntl[MA57_LICNTL] = {6, 6,  6, -1, 2,  0,   1, 0, 1, 0,
                                              16, 1, 10, 100, 0, 0, 0, 0, 0, 0};
  for (int k = 0; k < MA57_LICNTL; ++k) ICNTL[k] = kIcntl[k];
  // The threshold is the single-precision 0.01 widened to double
  // (0.009999999776482582), kept so that pivot choices match the
  // long-standing behaviour of this default. CNTL(3) = 0.5 is not read;
  // CNTL(4..5) are not used.
  static const double kCntl[MA57_LCNTL] = {static_cast<double>(0.01f), 0.0, 0.5, 0.0, 0.0};
  for (int k = 0; k < MA57_LCNTL; ++k) CNTL[k] = kCntl[k];
}
