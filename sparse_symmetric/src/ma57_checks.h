// The argument checks of the MA57 phases, each rule written once and shared
// by the phases that make it. A phase's own check list stays a flat list in
// its fixed order (analysis: N, NE, LKEEP, the supplied order; factorization:
// N, NE, LKEEP, ICNTL(7), LIFACT, LFACT; solution: N, NRHS, LRHS, LW), each
// line a call to one rule here or to a check of its own, stopping at the
// first failure. Every failure sets INFO(1) and INFO(2), and, when the gates
// open the error stream, prints the phase's heading and the rule's detail
// records, each number in an I10 field: a value that does not fit the ten
// columns fills them with asterisks, as every fixed-width field does.
#pragma once

#include <cstdint>

#include "ma57_gates.h"
#include "pemric/error_report.h"
#include "pemric/record.h"

namespace pemric::ma57 {

enum class Phase { kAnalysis, kFactorization, kSolution };

// The error report of a phase's checks: the status goes to INFO(1), the
// offending value to INFO(2), and the heading "**** Error return from
// MA57xD ****  INFO(1) =" with the status (I3 in the analysis and the
// factorization; after one blank in the solution, I3 or I4 as its codes
// need) opens the message.
ErrorReport ArgumentErrors(Phase phase, const Gates& gates, int32_t* info);

// The detail record of most checks: the text, then the value in an I10 field.
inline auto ValueDetail(const char* text, int64_t value) {
  return [=](int32_t unit) { Record(unit).Text(text).I(value, 10); };
}

// The detail of a check that found the word at `position` of an array at
// fault: the `what` line, then "Component", the position (I10) and
// " is faulty".
inline auto FaultyComponent(const char* what, int64_t position) {
  return [=](int32_t unit) {
    Record(unit).Text(what);
    Record(unit).Text("Component").I(position, 10).Text(" is faulty");
  };
}

// N >= 1, else -1 with INFO(2) = N. The detail reads "N has value " in the
// analysis and the factorization, "N has value" in the solution.
bool CheckOrder(const ErrorReport& report, Phase phase, int32_t n);

// NE >= 0, else -2 with INFO(2) = NE (analysis and factorization).
bool CheckEntryCount(const ErrorReport& report, int32_t ne);

// LKEEP >= 5N + NE + max(N, NE) + 42, the bound in 64 bits, else -15 with
// INFO(2) = LKEEP and the bound on the "Should be at least " line (analysis
// and factorization). Expects N >= 1 and NE >= 0.
bool CheckKeepLength(const ErrorReport& report, int32_t n, int32_t ne, int32_t lkeep);

}  // namespace pemric::ma57
