// Default controls of the least-squares routine and of its difference Jacobian.
#include <cstdint>

#include "ns23_layout.h"
#include "pemric/ns23.h"
#include "pemric/ns23_routines.h"

namespace pemric {

void NS23DiffSetDefaults(int32_t* icntld, double* cntld, int32_t* isave, double* rsave) {
  const int32_t one = 1;
  const int32_t two = 2;
  const double eps = MachineConstant(&one);
  const double half_eps = MachineConstant(&two);
  const int32_t int_defaults[5] = {6, 2, 0, 0, 0};
  const double real_defaults[7] = {10.0, 100.0, 1000.0, eps, eps, half_eps, 0.0};
  for (int k = 0; k < 5; ++k) icntld[k] = int_defaults[k];
  for (int k = 0; k < 7; ++k) cntld[k] = real_defaults[k];
  for (int k = 0; k < 20; ++k) isave[k] = 0;
  for (int k = 0; k < 10; ++k) rsave[k] = 0.0;
}

}  // namespace pemric

extern "C" PEMRIC_API void NS23SetDefaults(int32_t* ICNTL,
                                           double* CNTL,
                                           int32_t* KEEP,
                                           double* RKEEP,
                                           int32_t* LKEEP) {
  using namespace pemric::ns23;
  const int32_t icntl[5] = {6, 0, 0, 0, 0};
  const double cntl[5] = {0.25, 0.25, 0.75, 0.0, 0.0};
  for (int k = 0; k < 5; ++k) ICNTL[k] = icntl[k];
  for (int k = 0; k < 5; ++k) CNTL[k] = cntl[k];
  for (int k = 0; k < 40; ++k) KEEP[k] = 0;
  for (int k = 0; k < 30; ++k) RKEEP[k] = 0.0;
  for (int k = 0; k < 10; ++k) LKEEP[k] = 0;
  One<int32_t> keep(KEEP);
  One<double> rkeep(RKEEP);
  pemric::NS23DiffSetDefaults(keep.from(kDiffIcntl), rkeep.from(kDiffCntl),
                              keep.from(kDiffIsave), rkeep.from(kDiffRsave));
  MA57SetDefaults(rkeep.from(kMaCntl), keep.from(kMaIcntl));
  One<int32_t> ma57_icntl(keep.from(kMaIcntl));
  ma57_icntl(MA57_ICNTL_PRINT_LEVEL) = 0;  // no printing
  ma57_icntl(MA57_ICNTL_PIVOTING) = 2;     // no pivoting; every pivot of one sign
}
