// The controls and information that the MA57 test drivers pass to the phases,
// read and set through the names of pemric/ma57.h and the 1-based view, as the
// routines count them: f.Icntl(MA57_ICNTL_PIVOTING) = 2, f.Info(MA57_INFO_RANK).
#pragma once

#include <cstdint>

#include "pemric/ma57.h"
#include "pemric/one_based.h"

namespace ma57test {

using pemric::At;

struct Ma57Arrays {
  int32_t icntl[MA57_LICNTL];
  double cntl[MA57_LCNTL];
  int32_t info[MA57_LINFO];
  double rinfo[MA57_LRINFO];

  int32_t& Icntl(int k) { return At(icntl)(k); }
  double& Cntl(int k) { return At(cntl)(k); }
  int32_t& Info(int k) { return At(info)(k); }
  int32_t Info(int k) const { return At(info)(k); }
  double& Rinfo(int k) { return At(rinfo)(k); }
  double Rinfo(int k) const { return At(rinfo)(k); }
};

}  // namespace ma57test
