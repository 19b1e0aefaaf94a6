// Printed records of the analysis phase: the warnings and the entry and exit
// reports, behind the gates of ma57_gates.h (the errors are the argument
// checks' own, in ma57_analysis.cpp).
#include "ma57_analysis_report.h"

#include <algorithm>
#include <cstdint>

#include "ma57_analysis.h"
#include "ma57_gates.h"
#include "ma57_layout.h"
#include "pemric/ma57.h"
#include "pemric/one_based.h"
#include "pemric/record.h"

namespace pemric {
namespace {

void Blank(int32_t unit) { Record empty(unit); }

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
  const ma57::Gates gates(icntl);
  if (!gates.warnings() || count > 10) return;
  const int32_t unit = gates.wp;
  if (count == 1) {
    Record(unit)
        .Text("*** Warning message from subroutine MA57AD ***")
        .Text(" INFO(1) =")
        .I(MA57_WARN_OUT_OF_RANGE, 2);
  }
  Record(unit).I(k, 10).Text("th entry (in row").I(i, 10).Text(" and column").I(j, 10).Text(
      ") ignored");
}

void MA57ReportDuplicates(const int32_t* icntl, int32_t duplicates) {
  const ma57::Gates gates(icntl);
  if (!gates.warnings()) return;
  WarningHeader(gates.wp);
  Record(gates.wp).I(duplicates, 10).Text(" off-diagonal duplicate entries found");
}

namespace {

using ma57::kStreamControls;
using ma57::Labelled;

const Labelled kOrderingControls[] = {
    {" --- (6)  Flag for input pivot order          =", MA57_ICNTL_SUPPLIED_ORDER},
    {" --- (12) Node amalgamation parameter         =", MA57_ICNTL_AMALGAMATION},
};

const Labelled kExitInformation[] = {
    {"INFO(3)  Number of out-of-range indices       =", MA57_INFO_OUT_OF_RANGE},
    {"---- (4) Number of off-diagonal duplicates    =", MA57_INFO_DUPLICATES},
    {"---- (5) Forecast real storage for factors    =", MA57_INFO_FORECAST_REAL},
    {"---- (6) Forecast integer storage for factors =", MA57_INFO_FORECAST_INTEGER},
    {"---- (7) Forecast maximum front size          =", MA57_INFO_FORECAST_FRONT},
    {"---- (8) Number of nodes in assembly tree     =", MA57_INFO_NODES},
    {"---- (9) Size of FACT without compress        =", MA57_INFO_FACT_NO_COMPRESS},
    {"----(10) Size of IFACT without compress       =", MA57_INFO_IFACT_NO_COMPRESS},
    {"----(11) Size of FACT with compress           =", MA57_INFO_FACT_COMPRESS},
    {"----(12) Size of IFACT with compress          =", MA57_INFO_IFACT_COMPRESS},
    {"----(13) Number of compresses                 =", MA57_INFO_ANALYSIS_COMPRESSES},
};

void ExitArray(
    int32_t unit, bool full, const char* title, const int32_t* v, int64_t count, const char* cut) {
  Blank(unit);
  Record(unit).Text(title);
  const int64_t shown = full ? count : std::min<int64_t>(count, 10);
  for (int64_t first = 0; first < shown; first += 5) {
    Record r(unit);
    for (int64_t k = first; k < std::min<int64_t>(shown, first + 5); ++k) r.I(v[k], 12);
  }
  if (shown < count) Record(unit).X(16).Text(cut);
}

}  // namespace

void MA57ReportEntry(int32_t n,
                     int32_t ne,
                     const int32_t* irn,
                     const int32_t* jcn,
                     const int32_t* keep,
                     const int32_t* icntl_first) {
  const ma57::Gates gates(icntl_first);
  if (!gates.monitor()) return;
  const OneBased<const int32_t> icntl(icntl_first);
  const int32_t unit = gates.mp;
  const bool full = gates.level >= 4;
  Blank(unit);
  Blank(unit);
  Record(unit).Text("Entering analysis phase (MA57AD) with ...");
  Record(unit).Text("N         Order of matrix                     =").I(n, 12);
  Record(unit).Text("NE        Number of entries                   =").I(ne, 12);
  for (const Labelled& c : kStreamControls) Record(unit).Text(c.label).I(icntl(c.position), 12);
  for (const Labelled& c : kOrderingControls) Record(unit).Text(c.label).I(icntl(c.position), 12);
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
  if (icntl(MA57_ICNTL_SUPPLIED_ORDER) != 1) return;
  const int64_t kshown = full ? n : std::min<int64_t>(n, 10);
  PrintValues(unit, " KEEP =", 7, keep, kshown, 10, 6);
  if (kshown < n) Record(unit).X(7).Text("     . . .");
}

void MA57ReportExit(int32_t n,
                    int32_t ne,
                    const int32_t* keep_first,
                    const int32_t* icntl,
                    const int32_t* info_first,
                    const double* rinfo_first) {
  const ma57::Gates gates(icntl);
  if (!gates.monitor()) return;
  const OneBased<const int32_t> keep(keep_first), info(info_first);
  const OneBased<const double> rinfo(rinfo_first);
  const int32_t unit = gates.mp;
  const bool full = gates.level >= 4;
  const int64_t entries = keep(ma57::KeepEntryCount(n));
  Blank(unit);
  Record(unit).Text("Leaving analysis phase (MA57AD) with ...");
  Record(unit)
      .Text("INFO(1)  Error indicator                      =")
      .I(info(MA57_INFO_STATUS), 12);
  Record(unit).Text("Number of entries in matrix with diagonal     =").I(entries, 12);
  for (const Labelled& i : kExitInformation) Record(unit).Text(i.label).I(info(i.position), 12);
  Record(unit)
      .Text("RINFO(1) Forecast additions for assembly      =")
      .P(1)
      .E(rinfo(MA57_RINFO_FORECAST_ASSEMBLY), 12, 5);
  Record(unit)
      .Text("RINFO(2) Forecast ops for elimination         =")
      .P(1)
      .E(rinfo(MA57_RINFO_FORECAST_ELIMINATION), 12, 5);
  ExitArray(unit, full, "Permutation array:", keep.from(ma57::KeepOrder()), n, " . . .");
  ExitArray(unit, full,
            "Number of entries in rows of permuted matrix:", keep.from(ma57::KeepRowCounts(n)), n,
            " . . .");
  ExitArray(unit, full, "Column indices of permuted matrix:", keep.from(ma57::KeepColumns(n, ne)),
            entries, "     . . .");
  ExitArray(unit, full,
            "Tree nodes at which variables eliminated:", keep.from(ma57::KeepNodeOfVariable(n)), n,
            " . . .");
  ExitArray(unit, full, "Map array:", keep.from(ma57::KeepMap(n)), ne, " . . .");
}

}  // namespace pemric
