// Printed records of the solution phase: the entry and exit reports, behind
// the gates of ma57_gates.h.
#include "ma57_solve_report.h"

#include <algorithm>
#include <cstdint>

#include "ma57_frontal.h"
#include "pemric/ma57.h"
#include "pemric/one_based.h"
#include "pemric/record.h"

namespace pemric::ma57 {
namespace {

// Each column of RHS under its title and number: ten values, or all at
// level 4 (or when N <= 10), five to a line.
void PrintColumns(const Gates& gates, const char* title, const SolveArgs& s) {
  const int32_t u = gates.mp, n = s.n;
  const int64_t shown = (gates.level < 4 && n > 10) ? 10 : n;
  const int64_t lrhs = s.lrhs;
  for (int64_t k = 0; k < s.nrhs; ++k) {
    Record{u};
    Record(u).Text(title).I(k + 1, 10);
    for (int64_t start = 0; start < shown; start += 5) {
      Record r(u);
      r.P(1);
      for (int64_t i = start; i < std::min(shown, start + 5); ++i) r.E(s.rhs[i + k * lrhs], 13, 3);
    }
    if (shown < n) Record(u).Text("     . . .");
  }
}

}  // namespace

void ReportSolveEntry(const Gates& gates, const SolveArgs& s) {
  const int32_t u = gates.mp;
  Record{u};
  Record(u).Text("Entering solution phase (MA57CD) with ...");
  Record(u).Text("JOB       Control on coefficient matrix       =").I(s.job, 12);
  Record(u).Text("N         Order of matrix                     =").I(s.n, 12);
  for (const Labelled& c : kStreamControls) Record(u).Text(c.label).I(s.icntl(c.position), 12);
  Record(u).Text("LFACT     Length of array FACT                =").I(s.lfact, 12);
  Record(u).Text("LIFACT    Length of array IFACT               =").I(s.lifact, 12);
  Record(u).Text("NRHS      Number of right-hand sides          =").I(s.nrhs, 12);
  Record(u).Text("LRHS      Leading dimension of RHS array      =").I(s.lrhs, 12);
  Record(u).Text("LW        Leading dimension of work array     =").I(s.lw, 12);
  Record(u)
      .Text("ICNTL(13) Threshold for Level 2 and 3 BLAS    =")
      .I(s.icntl(MA57_ICNTL_BLAS_THRESHOLD), 12);
  MA57PrintFactors(s.fact, s.lfact, s.ifact, s.lifact, s.icntl.data());
  PrintColumns(gates, "Right-hand side", s);
}

void ReportSolveExit(const Gates& gates, const SolveArgs& s) {
  Record{gates.mp};
  Record{gates.mp};
  Record(gates.mp).Text("Leaving solution phase (MA57CD) with ...");
  PrintColumns(gates, "Solution       ", s);
}

}  // namespace pemric::ma57
