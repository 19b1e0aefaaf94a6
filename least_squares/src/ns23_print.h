// The monitoring and error records of the least-squares routine.
#pragma once

#include <cstdint>

namespace pemric::ns23 {

// " <title>" then lines of three pairs: index (I8) and value (1PE16.8).
void PrintVector(int32_t unit, const char* title, const double* v, int32_t n);

// The values that the header at the start of a problem shows.
struct HeaderValues {
  int32_t m = 0, n = 0;
  double sac = 0.0, stpmin = 0.0;
  int32_t maxfun = 0;
  double hmax = 0.0;  // HMAX as passed
  int32_t liw = 0, lw = 0;
};

// The header written at the start of a problem.
void PrintHeader(int32_t unit, const HeaderValues& v);

// The per-iteration summary.
void PrintSummary(int32_t unit,
                  int32_t iterations,
                  int32_t evaluations,
                  double lamda,
                  double ss,
                  double xnorm,
                  double step_length);

// Two empty lines, then `first` and, when given, `second` on a line of its own.
void PrintError(int32_t unit, const char* first, const char* second);

// Two empty lines, then " Error return from NS23 because " and `what`,
// followed on the same line by `value` in an I10 field when `with_value`.
void PrintRefusal(int32_t unit, const char* what, int64_t value, bool with_value = true);

}  // namespace pemric::ns23
