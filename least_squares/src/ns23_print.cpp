// The monitoring and error records of the least-squares routine.
#include "ns23_print.h"

#include "pemric/record.h"

namespace pemric::ns23 {

void PrintVector(int32_t unit, const char* title, const double* v, int32_t n) {
  Record rec(unit);
  rec.Text(title).P(1);
  for (int32_t j = 1; j <= n; ++j) {
    if ((j - 1) % 3 == 0) rec.Slash();
    rec.I(j, 8).E(v[j - 1], 16, 8);
  }
}

void PrintHeader(int32_t unit, const HeaderValues& v) {
  Record(unit)
      .Slash()
      .Text(" Entering NS23A/AD with ")
      .Slash()
      .Text("    M    N      SAC        STPMIN  MAXFUN    HMAX      LIW    LW")
      .Slash()
      .I(v.m, 5)
      .I(v.n, 5)
      .P(1)
      .E(v.sac, 12, 4)
      .E(v.stpmin, 12, 4)
      .I(v.maxfun, 6)
      .E(v.hmax, 12, 4)
      .I(v.liw, 6)
      .I(v.lw, 6);
}

void PrintSummary(int32_t unit,
                  int32_t iterations,
                  int32_t evaluations,
                  double lamda,
                  double ss,
                  double xnorm,
                  double step_length) {
  Record(unit)
      .Text(" After")
      .I(iterations, 4)
      .Text(" Iterations and")
      .I(evaluations, 4)
      .Text(" function evaluations, LAMDA is")
      .P(1)
      .E(lamda, 12, 4)
      .Slash()
      .Text("  and the sum of squares of residuals is")
      .E(ss, 12, 4)
      .Slash()
      .Text(" The norms of the current iterate X and the last")
      .Text(" change made to it are")
      .Slash()
      .E(xnorm, 12, 4)
      .E(step_length, 12, 4);
}

void PrintError(int32_t unit, const char* first, const char* second) {
  Record rec(unit);
  rec.Slash().Slash().Text(first);
  if (second != nullptr) rec.Slash().Text(second);
}

void PrintRefusal(int32_t unit, const char* what, int64_t value, bool with_value) {
  Record rec(unit);
  rec.Slash().Slash().Text(" Error return from NS23 because ").Text(what);
  if (with_value) rec.I(value, 10);
}

}  // namespace pemric::ns23
