// Default controls of the least-squares routine and of its difference Jacobian.
#include <algorithm>
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
  // Central differences with refined steps; ICNTLD(1) is not read. The
  // positions named nowhere, ICNTLD(3..5) and CNTLD(7), are 0.
  std::fill(icntld, icntld + kIcntldLength, 0);
  const OneBased<int32_t> ints(icntld);
  ints(kIcntldUnread) = 6;
  ints(kIcntldScheme) = 2;
  std::fill(cntld, cntld + kCntldLength, 0.0);
  const OneBased<double> reals(cntld);
  reals(kCntldLowRatio) = 10.0;
  reals(kCntldTargetRatio) = 100.0;
  reals(kCntldHighRatio) = 1000.0;
  reals(kCntldVariableError) = eps;
  reals(kCntldStepFloor) = eps;
  reals(kCntldResidualError) = half_eps;
  std::fill(isave, isave + kIsaveLength, 0);
  std::fill(rsave, rsave + kRsaveLength, 0.0);
}

}  // namespace pemric

extern "C" PEMRIC_API void NS23SetDefaults(int32_t* ICNTL,
                                           double* CNTL,
                                           int32_t* KEEP,
                                           double* RKEEP,
                                           int32_t* LKEEP) {
  using namespace pemric::ns23;
  // Stream 6, either stopping test; the step-bound ratios 0.25 and 0.75.
  // ICNTL(3..5), named nowhere, are 0.
  std::fill(ICNTL, ICNTL + NS23_LICNTL, 0);
  const OneBased<int32_t> icntl(ICNTL);
  icntl(NS23_ICNTL_STREAM) = 6;
  icntl(NS23_ICNTL_STOP_RULE) = 0;
  const OneBased<double> cntl(CNTL);
  cntl(NS23_CNTL_LINEARITY) = 0.25;
  cntl(NS23_CNTL_POOR_RATIO) = 0.25;
  cntl(NS23_CNTL_GOOD_RATIO) = 0.75;
  cntl(NS23_CNTL_RESIDUAL_ERROR) = 0.0;
  cntl(NS23_CNTL_INITIAL_STEP) = 0.0;
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
