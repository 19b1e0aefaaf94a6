// The argument checks that more than one MA57 phase makes (ma57_checks.h).
#include "ma57_checks.h"

#include "ma57_layout.h"
#include "pemric/ma57.h"
#include "pemric/one_based.h"

namespace pemric::ma57 {

ErrorReport ArgumentErrors(Phase phase, const Gates& gates, int32_t* info) {
  // The solution's heading takes the status after one blank, however many
  // digits it has: I3 for -1, I4 for its two-digit codes.
  struct Heading {
    const char* text;
    int width;
  };
  static constexpr Heading kHeadings[] = {
      {"**** Error return from MA57AD ****  INFO(1) =", 3},
      {"**** Error return from MA57BD ****  INFO(1) =", 3},
      {"**** Error return from MA57CD ****  INFO(1) = ", 0},
  };
  const Heading& heading = kHeadings[static_cast<int>(phase)];
  const OneBased<int32_t> cells(info);
  return ErrorReport(cells.from(MA57_INFO_STATUS), cells.from(MA57_INFO_VALUE),
                     ErrorStream{gates.lp, gates.errors()}, heading.text, heading.width);
}

bool CheckOrder(const ErrorReport& report, Phase phase, int32_t n) {
  if (n >= 1) return true;
  const char* text = phase == Phase::kSolution ? "N has value" : "N has value ";
  return report.Fail(MA57_ERR_N, n, ValueDetail(text, n));
}

bool CheckEntryCount(const ErrorReport& report, int32_t ne) {
  if (ne >= 0) return true;
  return report.Fail(MA57_ERR_NE, ne, ValueDetail("NE has value", ne));
}

bool CheckKeepLength(const ErrorReport& report, int32_t n, int32_t ne, int32_t lkeep) {
  const int64_t bound = MinimumLkeep(n, ne);
  if (lkeep >= bound) return true;
  return report.Fail(MA57_ERR_LKEEP, lkeep, [=](int32_t unit) {
    ValueDetail("LKEEP has value    ", lkeep)(unit);
    ValueDetail("Should be at least ", bound)(unit);
  });
}

}  // namespace pemric::ma57
