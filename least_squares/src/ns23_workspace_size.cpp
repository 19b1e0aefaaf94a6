// NS23WorkspaceSize: the lengths of IW and W that NS23AD's start will ask
// for, by running the start's own analysis (NS23Analyse) on memory of its
// own. The analysis asks for more integer space in stages (row marks, then
// the rows of B, then the normal pattern and its MA57 analysis), so the
// workspace grows to each length it names until the analysis completes:
// at most three rounds, the first two of them cheap counts.
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <new>
#include <vector>

#include "ns23_layout.h"
#include "pemric/ns23.h"
#include "pemric/ns23_routines.h"

namespace pemric::ns23 {
namespace {

constexpr int64_t kMaxLength = std::numeric_limits<int32_t>::max();

// A column pointer read as NS23AD reads it, through its absolute value; the
// one value without one (INT_MIN) reads as -1, which no check accepts.
int64_t Pointer(const int32_t* p, int32_t j) {
  return p[j] == std::numeric_limits<int32_t>::min() ? -1 : std::abs(int64_t{p[j]});
}

// Checks one column-compressed pattern (pointers ptr(N+1), row indices);
// `which` is 1 for J and 2 for A. False with INFO set at the first fault.
bool CheckPattern(int32_t m,
                  int32_t n,
                  const int32_t* rows,
                  const int32_t* ptr,
                  int32_t which,
                  OneBased<int32_t> info) {
  auto fail = [&](int32_t status, int64_t position) {
    info(NS23_SIZE_INFO_STATUS) = status;
    info(NS23_SIZE_INFO_VALUE) = Saturate(position);
    info(NS23_SIZE_INFO_PATTERN) = which;
    return false;
  };
  if (Pointer(ptr, 0) != 1) return fail(NS23_SIZE_ERR_COLUMN_STARTS, 1);
  for (int32_t j = 1; j <= n; ++j) {
    if (Pointer(ptr, j) < Pointer(ptr, j - 1)) return fail(NS23_SIZE_ERR_COLUMN_STARTS, j);
  }
  const int64_t entries = Pointer(ptr, n) - 1;
  for (int64_t k = 0; k < entries; ++k) {
    if (rows[k] < 1 || rows[k] > m) return fail(NS23_SIZE_ERR_ROW_INDEX, k + 1);
  }
  return true;
}

// Runs the analysis until it fits; false when memory runs out or a stage
// asks for more than a 32-bit length.
bool Analyse(int32_t m,
             int32_t n,
             const int32_t* irn,
             const int32_t* ip,
             const int32_t* airn,
             const int32_t* aip,
             OneBased<int32_t> keep,
             OneBased<double> rkeep,
             OneBased<int32_t> info) {
  int64_t liw = 2 * int64_t{m} + 1;  // the first stage's need: row marks and pointers
  std::vector<int32_t> iw;
  for (;;) {
    if (liw > kMaxLength) {
      info(NS23_SIZE_INFO_STATUS) = NS23_SIZE_ERR_TOO_LARGE;
      return false;
    }
    try {
      iw.assign(static_cast<size_t>(liw), 0);
    } catch (const std::bad_alloc&) {
      info(NS23_SIZE_INFO_STATUS) = NS23_SIZE_ERR_NO_MEMORY;
      return false;
    }
    int32_t status = 0;
    NS23Analyse(m, n, irn, ip, airn, aip, static_cast<int32_t>(liw), iw.data(), &status,
                keep.from(1), rkeep.from(1));
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
  if (n < 1 || m < n) {
    info(NS23_SIZE_INFO_STATUS) = NS23_ERR_SIZES;
    return;
  }
  if (!CheckPattern(m, n, IRN, IP, 1, info) || !CheckPattern(m, n, AIRN, AIP, 2, info)) return;

  int32_t icntl[NS23_LICNTL];
  double cntl[NS23_LCNTL];
  int32_t keep_cells[NS23_LKEEP];
  double rkeep_cells[NS23_LRKEEP];
  int32_t lkeep_cells[NS23_LLKEEP];
  NS23SetDefaults(icntl, cntl, keep_cells, rkeep_cells, lkeep_cells);
  OneBased<int32_t> keep(keep_cells);
  if (!Analyse(m, n, IRN, IP, AIRN, AIP, keep, OneBased<double>(rkeep_cells), info)) return;

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
