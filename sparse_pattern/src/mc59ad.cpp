// MC59AD: argument checks, the three modes, and the printed records.
#include <algorithm>
#include <cstdint>
#include <limits>

#include "mc59_internal.h"
#include "pemric/mc59.h"
#include "pemric/record.h"

namespace pemric {
namespace {

struct MC59Args {
  const int32_t* icntl;
  int32_t nc, nr, ne, ljcn, la, lip, liw;
  int32_t* info;
};

int32_t Control(const MC59Args& g, int k) { return At(g.icntl, k); }

// Records the error in INFO(1..2) and prints its heading on the error stream.
// The returned stream (or 0 for none) receives the second line.
int32_t Fail(const MC59Args& g, int32_t status, int64_t value) {
  At(g.info, 1) = status;
  At(g.info, 2) = static_cast<int32_t>(std::min<int64_t>(value, std::numeric_limits<int32_t>::max()));
  const int32_t lp = Control(g, MC59_ICNTL_ERROR_STREAM);
  if (lp < 1) return 0;
  Record(lp).Text(" *** Error return from MC59AD *** INFO(1) = ").I(status, 3);
  return lp;
}

void FailOutOfRange(const MC59Args& g, int32_t status, const char* name, int64_t value, int w) {
  if (const int32_t lp = Fail(g, status, value))
    Record(lp).X(1).Text(name).Text(" = ").I(value, w).Text(" is out of range");
}

void FailTooShort(const MC59Args& g, int32_t status, const char* name, int64_t have, int w,
                  int64_t need) {
  if (const int32_t lp = Fail(g, status, need))
    Record(lp).X(1).Text("Increase ").Text(name).Text(" from ").I(have, w).Text(" to at least ").I(
        need, 10);
}

void FailText(const MC59Args& g, int32_t status, int64_t value, const char* text) {
  if (const int32_t lp = Fail(g, status, value)) Record(lp).X(1).Text(text);
}

// The argument checks in their fixed order; false after the first failure.
bool CheckArguments(const MC59Args& g) {
  const int32_t mode = Control(g, MC59_ICNTL_MODE);
  const int32_t sym = Control(g, MC59_ICNTL_SYMMETRIC);
  const bool values = Control(g, MC59_ICNTL_PATTERN_ONLY) == 0;
  const int64_t nmax1 = static_cast<int64_t>(std::max(g.nc, g.nr)) + 1;
  const int64_t nc1 = static_cast<int64_t>(g.nc) + 1;
  const int64_t need_jcn = mode == 2 ? 1 : g.ne;
  const int64_t need_a = values ? g.ne : 1;
  const int64_t need_ip = mode == 1 ? nmax1 : nc1;
  if (mode < 0 || mode > 2) return FailOutOfRange(g, MC59_ERROR_MODE, "ICNTL(2)", mode, 2), false;
  if (sym < -2 || sym > 2)
    return FailOutOfRange(g, MC59_ERROR_SYMMETRY, "ICNTL(6)", sym, 2), false;
  if (g.nc < 1) return FailOutOfRange(g, MC59_ERROR_NC, "NC", g.nc, 6), false;
  if (g.nr < 1) return FailOutOfRange(g, MC59_ERROR_NR, "NR", g.nr, 6), false;
  if (sym != 0 && g.nr != g.nc) {
    if (const int32_t lp = Fail(g, MC59_ERROR_NR, g.nr))
      Record(lp).X(1).Text("Symmetric case. NC = ").I(g.nc, 6).Text(" but NR = ").I(g.nr, 6);
    return false;
  }
  // NE + 1 must fit in IP(NC+1).
  if (g.ne < 1 || g.ne == std::numeric_limits<int32_t>::max())
    return FailOutOfRange(g, MC59_ERROR_NE, "NE", g.ne, 10), false;
  if (g.ljcn < need_jcn) return FailTooShort(g, MC59_ERROR_LJCN, "LJCN", g.ljcn, 10, need_jcn), false;
  if (g.la < need_a) return FailTooShort(g, MC59_ERROR_LA, "LA", g.la, 10, need_a), false;
  if (g.lip < need_ip) return FailTooShort(g, MC59_ERROR_LIP, "LIP", g.lip, 8, need_ip), false;
  if (g.liw < nmax1) return FailTooShort(g, MC59_ERROR_LIW, "LIW", g.liw, 8, nmax1), false;
  return true;
}

void PrintWarnings(const MC59Args& g, const MC59Counts& c) {
  const int32_t wp = Control(g, MC59_ICNTL_WARNING_STREAM);
  if (At(g.info, 1) <= 0 || wp < 1) return;
  Record(wp).Text(" *** Warning message from MC59AD *** INFO(1) = ").I(At(g.info, 1), 3);
  if (c.bad_rows > 0)
    Record(wp).X(1).I(c.bad_rows, 8).Text(" entries in IRN supplied by the user were ").Slash().Text(
        "       out of range and were ignored by the routine");
  if (c.bad_columns > 0)
    Record(wp).X(1).I(c.bad_columns, 8).Text(" entries in JCN supplied by the user were ").Slash().Text(
        "       out of range and were ignored by the routine");
  if (c.duplicates > 0)
    Record(wp).X(1).I(c.duplicates, 8).Text(" duplicate entries were supplied by the user");
  if (c.upper > 0)
    Record(wp).X(1).I(c.upper, 8).Text(" of these entries were in the upper triangular ").Slash().Text(
        "       part of matrix");
}

void Complete(const MC59Args& g, const MC59Counts& c, int32_t entries) {
  int32_t* info = g.info;
  At(info, 3) = c.duplicates;
  At(info, 4) = c.bad_rows;
  At(info, 5) = c.bad_columns;
  At(info, 6) = entries;
  At(info, 7) = c.upper;
  At(info, 1) = (c.duplicates > 0 ? 1 : 0) + (c.bad_rows > 0 ? 2 : 0) + (c.bad_columns > 0 ? 4 : 0);
  PrintWarnings(g, c);
}

// Mode 0: group by column; rows within a column in no set order.
// Mode 1: group by row, merge duplicates row by row, then transpose, which
// leaves rows increasing within every column.
int32_t CoordinateToColumns(const MC59Args& g, const MC59Options& opt, int32_t* irn,
                            int32_t* jcn, double* a, int32_t* ip, int32_t* iw, MC59Counts& c) {
  const int32_t kept = MC59GatherCoordinates(opt, g.nc, g.nr, g.ne, irn, jcn, a, c);
  if (kept == 0) {
    // Summed in 64 bits: an entry bad in both indices counts twice.
    FailText(g, MC59_ERROR_ALL_OUT, static_cast<int64_t>(c.bad_rows) + c.bad_columns,
             "All entries out of range");
    return -1;
  }
  if (Control(g, MC59_ICNTL_MODE) == 0) {
    MC59BucketSort(opt, kept, g.nc, jcn, irn, a, ip, iw);
    if (!opt.check) return kept;
    return MC59MergeDuplicates(opt, g.nc, g.nr, ip, irn, a, iw, c);
  }
  MC59BucketSort(opt, kept, g.nr, irn, jcn, a, iw, ip);
  if (opt.check) MC59MergeDuplicates(opt, g.nr, g.nc, iw, jcn, a, ip, c);
  MC59RowsToColumns(opt, g.nc, g.nr, iw, jcn, irn, a, ip);
  return At(ip, g.nc + 1) - 1;
}

int32_t ColumnsInPlace(const MC59Args& g, const MC59Options& opt, int32_t* irn, double* a,
                       int32_t* ip, int32_t* iw, MC59Counts& c) {
  if (const int32_t j = MC59CheckColumnStarts(opt, g.nc, g.ne, ip)) {
    FailText(g, MC59_ERROR_IP, j, "Entries in IP are not monotonic increasing");
    return -1;
  }
  if (opt.check) MC59CleanColumns(opt, g.nc, g.nr, irn, a, ip, iw, c);
  MC59SortColumns(opt, g.nc, irn, a, ip);
  return std::max(0, At(ip, g.nc + 1) - At(ip, 1));
}

}  // namespace
}  // namespace pemric

extern "C" void MC59AD(const int32_t* ICNTL,
                       const int32_t* NC,
                       const int32_t* NR,
                       const int32_t* NE,
                       int32_t* IRN,
                       const int32_t* LJCN,
                       int32_t* JCN,
                       const int32_t* LA,
                       double* A,
                       const int32_t* LIP,
                       int32_t* IP,
                       const int32_t* LIW,
                       int32_t* IW,
                       int32_t* INFO) {
  using namespace pemric;
  for (int k = 1; k <= MC59_LINFO; ++k) At(INFO, k) = 0;
  const MC59Args g{ICNTL, *NC, *NR, *NE, *LJCN, *LA, *LIP, *LIW, INFO};
  if (!CheckArguments(g)) return;
  const int32_t sym = Control(g, MC59_ICNTL_SYMMETRIC);
  const MC59Options opt{Control(g, MC59_ICNTL_NO_CHECK) == 0, Control(g, MC59_ICNTL_PATTERN_ONLY) == 0,
                        sym != 0, sym >= 0};
  MC59Counts counts;
  const int32_t entries = Control(g, MC59_ICNTL_MODE) == 2
                              ? ColumnsInPlace(g, opt, IRN, A, IP, IW, counts)
                              : CoordinateToColumns(g, opt, IRN, JCN, A, IP, IW, counts);
  if (entries < 0) {
    // The counts found so far stay visible with the error.
    At(INFO, 4) = counts.bad_rows;
    At(INFO, 5) = counts.bad_columns;
    return;
  }
  Complete(g, counts, entries);
}
