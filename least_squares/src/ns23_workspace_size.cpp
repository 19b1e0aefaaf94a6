// NS23WorkspaceSize: the lengths of IW and W that NS23AD's start will ask
// for, by running the start's own analysis (NS23Analyse) on memory of its
// own. The analysis asks for more integer space in stages (row marks, then
// the rows of B, then the normal pattern and its MA57 analysis), so the
// workspace grows to each length it names until the analysis completes:
// at most three rounds, the first two of them cheap counts.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <new>

#include "ns23_layout.h"
#include "ns23_pattern.h"
#include "ns23_step.h"
#include "pemric/ns23.h"
#include "pemric/paged_array.h"

namespace pemric::ns23 {
namespace {

constexpr int64_t kMaxLength = std::numeric_limits<int32_t>::max();

// Runs the analysis until it fits; false when memory runs out or a stage
// asks for more than a 32-bit length.
bool Analyse(const Patterns& b,
             OneBased<int32_t> keep,
             OneBased<double> rkeep,
             OneBased<int32_t> info) {
  int64_t liw = 2 * int64_t{b.m} + 1;  // the first stage's need: row marks and pointers
  // The second stage's need, 2M + NZR + N + 2, at most this (NZR, the
  // distinct positions of B, at most the entries of J and A): the array is
  // made that long at once, in whole huge pages where they are advised, so
  // that the counting rounds share it and, as often, the last round too.
  const int64_t entries = int64_t{std::abs(b.ip[b.n])} - 1 + (b.aip[b.n] - 1);
  const int64_t second = 2 * int64_t{b.m} + entries + b.n + 2;
  PagedArray<int32_t> iw;
  for (;;) {
    if (liw > kMaxLength) {
      info(NS23_SIZE_INFO_STATUS) = NS23_SIZE_ERR_TOO_LARGE;
      return false;
    }
    // Not filled: the analysis writes each cell before it reads it, as it
    // does in NS23AD's workspace. The earlier round's array goes first
    // when it is short; the analysis is given `liw` cells whatever the
    // array's length, so that the rounds are those of NS23AD's start.
    const int64_t room = PagedArray<int32_t>::WholeHugePages(std::max(liw, second));
    if (!iw.Grow(room) && !iw.Grow(liw)) {
      info(NS23_SIZE_INFO_STATUS) = NS23_SIZE_ERR_NO_MEMORY;
      return false;
    }
    const int32_t status = NS23Analyse(b, static_cast<int32_t>(liw), iw.get(), keep, rkeep);
    if (status == 0) return true;
    const int64_t asked = keep(kLiwNeeded);
    // Saturated: the stage needs more than a 32-bit length can say.
    liw = asked >= kMaxLength ? kMaxLength + 1 : asked;
  }
}

}  // namespace
}  // namespace pemric::ns23

extern "C" PEMRIC_API void NS23WorkspaceSize(const int32_t* M,
                                             const int32_t* N,
                                             const int32_t* IRN,
                                             const int32_t* IP,
                                             const int32_t* AIRN,
                                             const int32_t* AIP,
                                             const double* HMAX,
                                             int32_t* LIW,
                                             int32_t* LW,
                                             int32_t* INFO) {
  using namespace pemric::ns23;
  OneBased<int32_t> info(INFO);
  for (int32_t i = 1; i <= NS23_LINFO; ++i) info(i) = 0;
  *LIW = 0;
  *LW = 0;
  const int32_t m = *M, n = *N;
  Patterns b;
  b.m = m;
  b.n = n;
  b.irn = IRN;
  b.ip = IP;
  b.airn = AIRN;
  b.aip = AIP;
  if (n < 1 || m < n) {
    info(NS23_SIZE_INFO_STATUS) = NS23_ERR_SIZES;
    return;
  }
  if (const PatternFault fault = FirstPatternFault(b); fault.status != 0) {
    info(NS23_SIZE_INFO_STATUS) = fault.status;
    info(NS23_SIZE_INFO_VALUE) = Saturate(fault.position);
    return;
  }

  int32_t icntl[NS23_LICNTL];
  double cntl[NS23_LCNTL];
  int32_t keep_cells[NS23_LKEEP];
  double rkeep_cells[NS23_LRKEEP];
  int32_t lkeep_cells[NS23_LLKEEP];
  NS23SetDefaults(icntl, cntl, keep_cells, rkeep_cells, lkeep_cells);
  OneBased<int32_t> keep(keep_cells);
  if (!Analyse(b, keep, OneBased<double>(rkeep_cells), info)) return;

  const bool differences = *HMAX > 0.0;  // as NS23AD: a negative or NaN HMAX means 0
  const int64_t liw = IntegerLengthNeeded(keep(kLiwNeeded), n);
  const int64_t lw = RealLengthNeeded(keep(kLwNeeded), m, n, differences);
  if (keep(kLiwNeeded) >= kMaxLength || keep(kLwNeeded) >= kMaxLength || liw > kMaxLength ||
      lw > kMaxLength) {
    info(NS23_SIZE_INFO_STATUS) = NS23_SIZE_ERR_TOO_LARGE;
    return;
  }
  *LIW = static_cast<int32_t>(liw);
  *LW = static_cast<int32_t>(lw);
  info(NS23_SIZE_INFO_PATTERN) = keep(kNzr);
  info(NS23_SIZE_INFO_NORMAL) = keep(kNe);
}
