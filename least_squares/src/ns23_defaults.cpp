// Default controls of the least-squares routine and of its difference Jacobian.
#include <cstdint>

#include "ns23_layout.h"
#include "pemric/ns23.h"
#include "pemric/ns23_routines.h"

namespace pemric {

void NS23DiffSetDefaults(int32_t* icntld, double* cntld, int32_t* isave, double* rsave) {
  const int32_t eps_index = MACHINE_EPSILON;
  const int32_t half_eps_index = MACHINE_HALF_EPSILON;
  const double eps = MachineConstant(&eps_index);
  const double half_eps = MachineConstant(&half_eps_index);
  // Central differences with refined steps; ICNTLD(1) is not read.
  const int32_t int_defaults[kIcntldLength] = {6, 2, 0, 0, 0};
  const double real_defaults[kCntldLength] = {10.0, 100.0, 1000.0, eps, eps, half_eps, 0.0};
  for (int k = 0; k < kIcntldLength; ++k) icntld[k] = int_defaults[k];
  for (int k = 0; k < kCntldLength; ++k) cntld[k] = real_defaults[k];
  for (int k = 0; k < kIsaveLength; ++k) isave[k] = 0;
  for (int k = 0; k < kRsaveLength; ++k) rsave[k] = 0.0;
}

}  // namespace pemric

extern "C" PEMRIC_API void NS23SetDefaults(int32_t* ICNTL,
                                           double* CNTL,
                                           int32_t* KEEP,
                                           double* RKEEP,
                                           int32_t* LKEEP) {
  using namespace pemric::ns23;
  // Stream 6, either stopping test; the step-bound ratios 0.25 and 0.75.
  const int32_t icntl[NS23_LICNTL] = {6, 0, 0, 0, 0};
  const double cntl[NS23_LCNTL] = {0.25, 0.25, 0.75, 0.0, 0.0};
  for (int k = 0; k < NS23_LICNTL; ++k) ICNTL[k] = icntl[k];
  for (int k = 0; k < NS23_LCNTL; ++k) CNTL[k] = cntl[k];
  // The saved state of the routine itself is cleared: KEEP(1..40),
  // RKEEP(1..30) (so the Marquardt parameter starts at 0) and all of LKEEP.
  for (int k = 0; k < kOwnKeepLength; ++k) KEEP[k] = 0;
  for (int k = 0; k < kOwnRkeepLength; ++k) RKEEP[k] = 0.0;
  for (int k = 0; k < NS23_LLKEEP; ++k) LKEEP[k] = 0;
  OneBased<int32_t> keep(KEEP);
  OneBased<double> rkeep(RKEEP);
  pemric::NS23DiffSetDefaults(keep.from(kDiffIcntl), rkeep.from(kDiffCntl),
                              keep.from(kDiffIsave), rkeep.from(kDiffRsave));
  MA57SetDefaults(rkeep.from(kMaCntl), keep.from(kMaIcntl));
  OneBased<int32_t> ma57_icntl(keep.from(kMaIcntl));
  ma57_icntl(MA57_ICNTL_PRINT_LEVEL) = 0;  // no printing
  ma57_icntl(MA57_ICNTL_PIVOTING) = MA57_PIVOT_ONE_SIGN;
}
