// MC59AD: argument checks, the three modes, and the printed records.
#include <algorithm>
#include <cstdint>
#include <limits>

#include "mc59_internal.h"
#include "pemric/error_report.h"
#include "pemric/mc59.h"
#include "pemric/record.h"

namespace pemric {
namespace {

struct MC59Args {
  ConstInts icntl;
  int32_t nc, nr, ne, ljcn, la, lip, liw;
  Ints info;
};

int32_t Control(const MC59Args& g, int position) { return g.icntl(position); }

// Errors go to INFO(1..2) and, from stream ICNTL(4) >= 1, as the heading
// " *** Error return from MC59AD *** INFO(1) = " with the status, then one
// record of detail.
ErrorReport Errors(const MC59Args& g) {
  const int32_t lp = Control(g, MC59_ICNTL_ERROR_STREAM);
  return ErrorReport(g.info.from(MC59_INFO_STATUS), g.info.from(MC59_INFO_VALUE),
                     ErrorStream{lp, lp >= 1}, " *** Error return from MC59AD *** INFO(1) = ", 3);
}

// The detail records of the checks.
auto OutOfRange(const char* name, int64_t value, int width) {
  return [=](int32_t u) {
    Record(u).X(1).Text(name).Text(" = ").I(value, width).Text(" is out of range");
  };
}
auto TooShort(const char* name, int64_t have, int width, int64_t need) {
  return [=](int32_t u) {
    Record(u)
        .X(1)
        .Text("Increase ")
        .Text(name)
        .Text(" from ")
        .I(have, width)
        .Text(" to at least ")
        .I(need, 10);
  };
}
auto Says(const char* text) {
  return [=](int32_t u) { Record(u).X(1).Text(text); };
}

// The argument checks in their fixed order; false after the first failure.
bool CheckArguments(const MC59Args& g) {
  const ErrorReport report = Errors(g);
  const int32_t mode = Control(g, MC59_ICNTL_MODE);
  const int32_t sym = Control(g, MC59_ICNTL_SYMMETRIC);
  const bool values = Control(g, MC59_ICNTL_PATTERN_ONLY) == 0;
  const int64_t nmax1 = static_cast<int64_t>(std::max(g.nc, g.nr)) + 1;
  const int64_t nc1 = static_cast<int64_t>(g.nc) + 1;
  const int64_t need_jcn = mode == MC59_MODE_COLUMNS ? 1 : g.ne;
  const int64_t need_a = values ? g.ne : 1;
  const int64_t need_ip = mode == MC59_MODE_COORDINATE_ORDERED ? nmax1 : nc1;
  if (mode < MC59_MODE_COORDINATE || mode > MC59_MODE_COLUMNS) {
    return report.Fail(MC59_ERROR_MODE, mode, OutOfRange("ICNTL(2)", mode, 2));
  }
  if (sym < -2 || sym > 2) {
    return report.Fail(MC59_ERROR_SYMMETRY, sym, OutOfRange("ICNTL(6)", sym, 2));
  }
  if (g.nc < 1) return report.Fail(MC59_ERROR_NC, g.nc, OutOfRange("NC", g.nc, 6));
  if (g.nr < 1) return report.Fail(MC59_ERROR_NR, g.nr, OutOfRange("NR", g.nr, 6));
  if (sym != 0 && g.nr != g.nc) {
    return report.Fail(MC59_ERROR_NR, g.nr, [&](int32_t u) {
      Record(u).X(1).Text("Symmetric case. NC = ").I(g.nc, 6).Text(" but NR = ").I(g.nr, 6);
    });
  }
  // NE + 1 must fit in IP(NC+1).
  if (g.ne < 1 || g.ne == std::numeric_limits<int32_t>::max())
    return report.Fail(MC59_ERROR_NE, g.ne, OutOfRange("NE", g.ne, 10));
  if (g.ljcn < need_jcn)
    return report.Fail(MC59_ERROR_LJCN, need_jcn, TooShort("LJCN", g.ljcn, 10, need_jcn));
  if (g.la < need_a) return report.Fail(MC59_ERROR_LA, need_a, TooShort("LA", g.la, 10, need_a));
  if (g.lip < need_ip)
    return report.Fail(MC59_ERROR_LIP, need_ip, TooShort("LIP", g.lip, 8, need_ip));
  if (g.liw < nmax1) return report.Fail(MC59_ERROR_LIW, nmax1, TooShort("LIW", g.liw, 8, nmax1));
  return true;
}

void PrintWarnings(const MC59Args& g, const MC59Counts& c) {
  const int32_t wp = Control(g, MC59_ICNTL_WARNING_STREAM);
  const int32_t status = g.info(MC59_INFO_STATUS);
  if (status <= 0 || wp < 1) return;
  Record(wp).Text(" *** Warning message from MC59AD *** INFO(1) = ").I(status, 3);
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
  const Ints info = g.info;
  info(MC59_INFO_DUPLICATES) = c.duplicates;
  info(MC59_INFO_BAD_ROWS) = c.bad_rows;
  info(MC59_INFO_BAD_COLUMNS) = c.bad_columns;
  info(MC59_INFO_ENTRIES) = entries;
  info(MC59_INFO_UPPER) = c.upper;
  info(MC59_INFO_STATUS) = (c.duplicates > 0 ? MC59_WARN_DUPLICATES : 0) +
                           (c.bad_rows > 0 ? MC59_WARN_BAD_ROWS : 0) +
                           (c.bad_columns > 0 ? MC59_WARN_BAD_COLUMNS : 0);
  PrintWarnings(g, c);
}

// Mode 0: group by column; rows within a column in no set order.
// Mode 1: group by row, merge duplicates row by row, then transpose, which
// leaves rows increasing within every column.
int32_t CoordinateToColumns(const MC59Args& g,
                            const MC59Options& opt,
                            Ints irn,
                            Ints jcn,
                            Reals a,
                            Ints ip,
                            Ints iw,
                            MC59Counts& c) {
  const int32_t kept = MC59GatherCoordinates(opt, g.nc, g.nr, g.ne, irn, jcn, a, c);
  if (kept == 0) {
    // Summed in 64 bits: an entry bad in both indices counts twice.
    Errors(g).Fail(MC59_ERROR_ALL_OUT, static_cast<int64_t>(c.bad_rows) + c.bad_columns,
                   Says("All entries out of range"));
    return -1;
  }
  if (Control(g, MC59_ICNTL_MODE) == MC59_MODE_COORDINATE) {
    MC59BucketSort(opt, kept, g.nc, jcn, irn, a, ip, iw);
    if (!opt.check) return kept;
    return MC59MergeDuplicates(opt, g.nc, g.nr, ip, irn, a, iw, c);
  }
  MC59BucketSort(opt, kept, g.nr, irn, jcn, a, iw, ip);
  if (opt.check) MC59MergeDuplicates(opt, g.nr, g.nc, iw, jcn, a, ip, c);
  MC59RowsToColumns(opt, g.nc, g.nr, iw, jcn, irn, a, ip);
  return ip(g.nc + 1) - 1;
}

int32_t ColumnsInPlace(
    const MC59Args& g, const MC59Options& opt, Ints irn, Reals a, Ints ip, Ints iw, MC59Counts& c) {
  if (const int32_t j = MC59CheckColumnStarts(opt, g.nc, g.ne, ip)) {
    Errors(g).Fail(MC59_ERROR_IP, j, Says("Entries in IP are not monotonic increasing"));
    return -1;
  }
  if (opt.check) MC59CleanColumns(opt, g.nc, g.nr, irn, a, ip, iw, c);
  MC59SortColumns(opt, g.nc, irn, a, ip);
  return std::max(0, ip(g.nc + 1) - ip(1));
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
  const Ints info(INFO);
  for (int k = 1; k <= MC59_LINFO; ++k) info(k) = 0;
  const MC59Args g{ConstInts(ICNTL), *NC, *NR, *NE, *LJCN, *LA, *LIP, *LIW, info};
  if (!CheckArguments(g)) return;
  const int32_t sym = Control(g, MC59_ICNTL_SYMMETRIC);
  const MC59Options opt{Control(g, MC59_ICNTL_NO_CHECK) == 0, Control(g, MC59_ICNTL_PATTERN_ONLY) == 0,
                        sym != 0, sym >= 0};
  MC59Counts counts;
  const int32_t entries =
      Control(g, MC59_ICNTL_MODE) == MC59_MODE_COLUMNS
          ? ColumnsInPlace(g, opt, Ints(IRN), Reals(A), Ints(IP), Ints(IW), counts)
          : CoordinateToColumns(g, opt, Ints(IRN), Ints(JCN), Reals(A), Ints(IP), Ints(IW), counts);
  if (entries < 0) {
    // The counts found so far stay visible with the error.
    info(MC59_INFO_BAD_ROWS) = counts.bad_rows;
    info(MC59_INFO_BAD_COLUMNS) = counts.bad_columns;
    return;
  }
  Complete(g, counts, entries);
}
