// Entry and exit reports of the solution phase, on the monitoring stream
// (the callers test the gate; the errors are the checks' own, in
// ma57_solve.cpp).
#pragma once

#include "ma57_gates.h"
#include "ma57_phases.h"

namespace pemric::ma57 {

// The arguments and controls, the factors (MA57PrintFactors) and the
// right-hand sides, before the solve.
void ReportSolveEntry(const Gates& gates, const SolveArgs& s);

// The solutions.
void ReportSolveExit(const Gates& gates, const SolveArgs& s);

}  // namespace pemric::ma57
