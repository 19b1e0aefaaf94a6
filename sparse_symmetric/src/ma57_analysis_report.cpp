// Printed records of the analysis phase: error and warning messages and the
// entry and exit reports. The gates: errors at ICNTL(5) >= 1 on ICNTL(1),
// warnings at >= 2 on ICNTL(2), reports at >= 3 on ICNTL(3) (arrays cut to
// ten values below level 4); a negative stream number silences its stream.
#include <algorithm>
#include <cstdint>
#include <string>

#include "ma57_analysis.h"
#include "ma57_analysis_report.h"
#include "pemric/record.h"

namespace pemric {
namespace {

int32_t Level(const int32_t* icntl) { return icntl[4]; }

void Blank(int32_t unit) { Record empty(unit); }

bool WarningsOn(const int32_t* icntl) { return Level(icntl) >= 2 && icntl[1] >= 0; }

// An I10 field that widens instead of overflowing, for bounds that can pass
// ten digits when computed in 64 bits.
int Width10(int64_t v) { return std::max<int>(10, static_cast<int>(std::to_string(v).size())); }

void WarningHeader(int32_t unit) {
  Record(unit).Text("*** Warning message from subroutine MA57AD ***");
}

// Values `per_line` to a line in fields of `width`, the first line after
// `lead`, later lines after `indent` blanks.
void PrintValues(int32_t unit, const char* lead, int indent, const int32_t* v, int64_t count,
                 int per_line, int width) {
  for (int64_t first = 0; first < count || first == 0; first += per_line) {
    Record r(unit);
    if (first == 0) {
      r.Text(lead);
    } else {
      r.X(indent);
    }
    const int64_t stop = std::min<int64_t>(count, first + per_line);
    for (int64_t k = first; k < stop; ++k) r.I(v[k], width);
    if (count == 0) break;
  }
}

}  // namespace

void MA57ReportOutOfRange(const int32_t* icntl, int32_t count, int32_t k, int32_t i, int32_t j) {
  if (!WarningsOn(icntl) || count > 10) return;
  const int32_t unit = icntl[1];
  if (count == 1) {
    Record(unit).Text("*** Warning message from subroutine MA57AD ***").Text(" INFO(1) =").I(1, 2);
  }
  Record(unit).I(k, 10).Text("th entry (in row").I(i, 10).Text(" and column").I(j, 10).Text(
      ") ignored");
}

void MA57ReportDuplicates(const int32_t* icntl, int32_t duplicates) {
  if (!WarningsOn(icntl)) return;
  WarningHeader(icntl[1]);
  Record(icntl[1]).I(duplicates, 10).Text(" off-diagonal duplicate entries found");
}

void MA57ReportError(const int32_t* icntl, int32_t code, int64_t value, int64_t bound) {
  if (Level(icntl) < 1 || icntl[0] < 0) return;
  const int32_t unit = icntl[0];
  Record(unit).Text("**** Error return from MA57AD ****  INFO(1) =").I(code, 3);
  switch (code) {
    case -1:
      Record(unit).Text("N has value ").I(value, 10);
      break;
    case -2:
      Record(unit).Text("NE has value").I(value, 10);
      break;
    case -15:
      Record(unit).Text("LKEEP has value    ").I(value, 10);
      Record(unit).Text("Should be at least ").I(bound, Width10(bound));
      break;
    case -9:
      Record(unit).Text("Invalid permutation supplied in KEEP");
      Record(unit).Text("Component").I(value, 10).Text(" is faulty");
      break;
    default:
      break;
  }
}

void MA57ReportEntry(int32_t n,
                     int32_t ne,
                     const int32_t* irn,
                     const int32_t* jcn,
                     const int32_t* keep,
                     const int32_t* icntl) {
  if (Level(icntl) < 3 || icntl[2] < 0) return;
  const int32_t unit = icntl[2];
  const bool full = Level(icntl) >= 4;
  Blank(unit);
  Blank(unit);
  Record(unit).Text("Entering analysis phase (MA57AD) with ...");
  Record(unit).Text("N         Order of matrix                     =").I(n, 12);
  Record(unit).Text("NE        Number of entries                   =").I(ne, 12);
  Record(unit).Text("ICNTL(1)  Stream for errors                   =").I(icntl[0], 12);
  Record(unit).Text(" --- (2)  Stream for warnings                 =").I(icntl[1], 12);
  Record(unit).Text(" --- (3)  Stream for monitoring               =").I(icntl[2], 12);
  Record(unit).Text(" --- (4)  Stream for statistics               =").I(icntl[3], 12);
  Record(unit).Text(" --- (5)  Level of diagnostic printing        =").I(icntl[4], 12);
  Record(unit).Text(" --- (6)  Flag for input pivot order          =").I(icntl[5], 12);
  Record(unit).Text(" --- (12) Node amalgamation parameter         =").I(icntl[11], 12);
  Blank(unit);
  Record(unit).Text(" Matrix entries:");
  const int64_t shown = full ? ne : std::min<int64_t>(ne, 10);
  for (int64_t first = 0; first < shown; first += 3) {
    Record r(unit);
    for (int64_t k = first; k < std::min<int64_t>(shown, first + 3); ++k) {
      r.I(k + 1, 6).Text(": (").I(irn[k], 8).I(jcn[k], 8).Text(")");
    }
  }
  if (shown < ne) Record(unit).Text("     . . .");
  if (icntl[5] != 1) return;
  const int64_t kshown = full ? n : std::min<int64_t>(n, 10);
  PrintValues(unit, " KEEP =", 7, keep, kshown, 10, 6);
  if (kshown < n) Record(unit).X(7).Text("     . . .");
}

namespace {

void ExitArray(int32_t unit, bool full, const char* title, const int32_t* v, int64_t count,
               const char* cut) {
  Blank(unit);
  Record(unit).Text(title);
  const int64_t shown = full ? count : std::min<int64_t>(count, 10);
  for (int64_t first = 0; first < shown; first += 5) {
    Record r(unit);
    for (int64_t k = first; k < std::min<int64_t>(shown, first + 5); ++k) r.I(v[k], 12);
  }
  if (shown < count) Record(unit).X(16).Text(cut);
}

const char* const kInfoLabels[] = {
    "INFO(3)  Number of out-of-range indices       =",
    "---- (4) Number of off-diagonal duplicates    =",
    "---- (5) Forecast real storage for factors    =",
    "---- (6) Forecast integer storage for factors =",
    "---- (7) Forecast maximum front size          =",
    "---- (8) Number of nodes in assembly tree     =",
    "---- (9) Size of FACT without compress        =",
    "----(10) Size of IFACT without compress       =",
    "----(11) Size of FACT with compress           =",
    "----(12) Size of IFACT with compress          =",
    "----(13) Number of compresses                 =",
};

}  // namespace

void MA57ReportExit(int32_t n,
                    int32_t ne,
                    const int32_t* keep,
                    const int32_t* icntl,
                    const int32_t* info,
                    const double* rinfo) {
  if (Level(icntl) < 3 || icntl[2] < 0) return;
  const int32_t unit = icntl[2];
  const bool full = Level(icntl) >= 4;
  const int64_t nn = n;
  const int64_t entries = keep[nn + 1];
  Blank(unit);
  Record(unit).Text("Leaving analysis phase (MA57AD) with ...");
  Record(unit).Text("INFO(1)  Error indicator                      =").I(info[0], 12);
  Record(unit).Text("Number of entries in matrix with diagonal     =").I(entries, 12);
  for (int k = 0; k < 11; ++k) Record(unit).Text(kInfoLabels[k]).I(info[k + 2], 12);
  Record(unit).Text("RINFO(1) Forecast additions for assembly      =").P(1).E(rinfo[0], 12, 5);
  Record(unit).Text("RINFO(2) Forecast ops for elimination         =").P(1).E(rinfo[1], 12, 5);
  const int64_t cols = 4 * nn + 42 + std::max<int64_t>(nn, ne);
  ExitArray(unit, full, "Permutation array:", keep, n, " . . .");
  ExitArray(unit, full, "Number of entries in rows of permuted matrix:", keep + nn + 42, n,
            " . . .");
  ExitArray(unit, full, "Column indices of permuted matrix:", keep + cols, entries,
            "     . . .");
  ExitArray(unit, full, "Tree nodes at which variables eliminated:", keep + 2 * nn + 42, n,
            " . . .");
  ExitArray(unit, full, "Map array:", keep + 4 * nn + 42, ne, " . . .");
}

}  // namespace pemric
