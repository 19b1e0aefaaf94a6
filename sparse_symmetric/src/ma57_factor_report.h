// Entry, exit and suspension reports of the factorization phase, on the
// monitoring stream (the callers test the gate; the errors are the checks'
// own, in ma57_factorize.cpp).
#pragma once

#include <cstdint>

#include "ma57_gates.h"
#include "ma57_phases.h"

namespace pemric::ma57 {

// The arguments, the controls and the analysis in KEEP, before the work.
void ReportFactorEntry(const Gates& gates, const FactorArgs& f);

// The information and operation counts of a factorization that ended with
// a status >= 0, then the factors themselves (MA57PrintFactors).
void ReportFactorExit(const Gates& gates, const FactorArgs& f);

// A factorization suspended for lack of real (status 10) or integer (11)
// space.
void ReportFactorSuspension(const Gates& gates, int32_t status);

}  // namespace pemric::ma57
