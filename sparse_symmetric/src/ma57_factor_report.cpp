// Printed records of the factorization phase: the entry, exit and
// suspension reports, behind the gates of ma57_gates.h.
#include "ma57_factor_report.h"

#include <algorithm>
#include <cstdint>

#include "ma57_frontal.h"
#include "ma57_layout.h"
#include "pemric/ma57.h"
#include "pemric/one_based.h"
#include "pemric/record.h"

namespace pemric::ma57 {
namespace {

// Ten values to a line, or all at level 4, in `per_line` fields of width 12.
void PrintList(
    const Gates& gates, const char* title, const int32_t* v, int64_t count, const char* dots) {
  Record{gates.mp};
  Record(gates.mp).Text(title);
  const int64_t shown = gates.Shown(count);
  for (int64_t start = 0; start < shown; start += 5) {
    Record r(gates.mp);
    for (int64_t k = start; k < std::min(shown, start + 5); ++k) r.I(v[k], 12);
  }
  if (shown < count) Record(gates.mp).X(16).Text(dots);
}

const Labelled kEntryControls[] = {
    {"ICNTL(1)  Stream for errors                 =", MA57_ICNTL_ERROR_STREAM},
    {" --- (2)  Stream for warnings               =", MA57_ICNTL_WARNING_STREAM},
    {" --- (3)  Stream for monitoring             =", MA57_ICNTL_MONITOR_STREAM},
    {" --- (4)  Stream for statistics             =", MA57_ICNTL_STATISTICS_STREAM},
    {" --- (5)  Level of diagnostic printing      =", MA57_ICNTL_PRINT_LEVEL},
    {" --- (7)  Numerical pivoting control        =", MA57_ICNTL_PIVOTING},
    {" --- (8)  Restart or discard factors        =", MA57_ICNTL_SUSPEND},
    {" --- (11) Block size for Level 3 BLAS       =", MA57_ICNTL_BLOCK_SIZE},
};

const Labelled kExitInformation[] = {
    {"INFO (1)                                      =", MA57_INFO_STATUS},
    {" --- (2)                                      =", MA57_INFO_VALUE},
    {" --- (14) Number of entries in factors        =", MA57_INFO_FACTOR_ENTRIES},
    {" --- (15) Real storage for factors            =", MA57_INFO_REAL_STORAGE},
    {" --- (16) Integer storage for factors         =", MA57_INFO_INTEGER_STORAGE},
    {" --- (17) Min LFACT with compresses           =", MA57_INFO_MIN_LFACT_COMPRESS},
    {" --- (18) Min LIFACT with compresses          =", MA57_INFO_MIN_LIFACT_COMPRESS},
    {" --- (19) Min LFACT without compresses        =", MA57_INFO_MIN_LFACT_NO_COMPRESS},
    {" --- (20) Min LIFACT without compresses       =", MA57_INFO_MIN_LIFACT_NO_COMPRESS},
    {" --- (21) Order of largest frontal matrix     =", MA57_INFO_LARGEST_FRONT},
    {" --- (22) Number of 2x2 pivots                =", MA57_INFO_TWO_BY_TWO},
    {" --- (23) Number of delayed pivots            =", MA57_INFO_DELAYED},
    {" --- (24) Number of negative eigenvalues      =", MA57_INFO_NEGATIVE},
    {" --- (25) Rank of factorization               =", MA57_INFO_RANK},
    {" --- (28) Number compresses on real data      =", MA57_INFO_REAL_COMPRESSES},
    {" --- (29) Number compresses on integer data   =", MA57_INFO_INTEGER_COMPRESSES},
    {" --- (31) Number of block pivots in factors   =", MA57_INFO_BLOCK_PIVOTS},
};

const Labelled kExitOperations[] = {
    {"RINFO(3)  Operations during node assembly     =  ", MA57_RINFO_ASSEMBLY_OPS},
    {"-----(4)  Operations during node elimination  =  ", MA57_RINFO_ELIMINATION_OPS},
    {"-----(5)  Extra operations because of BLAS    =  ", MA57_RINFO_BLAS_EXTRA_OPS},
};

// The input values, three to a line.
void PrintEntries(const Gates& gates, int32_t ne, const double* a) {
  const int32_t u = gates.mp;
  Record{u};
  Record(u).Text("Matrix entries:");
  const int64_t shown = gates.Shown(ne);
  for (int64_t start = 0; start < shown; start += 3) {
    Record r(u);
    r.P(1);
    for (int64_t k = start; k < std::min(shown, start + 3); ++k) {
      r.I(k + 1, 6).Text(": (").D(a[k], 16, 8).Text(")");
    }
  }
  if (shown < ne) Record(u).Text("     . . .");
}

}  // namespace

void ReportFactorEntry(const Gates& gates, const FactorArgs& f) {
  const int32_t u = gates.mp, n = f.n, ne = f.ne;
  const OneBased<const int32_t> keep(f.keep);
  const int32_t nodes = keep(KeepNodeCount(n));
  const int32_t m = keep(KeepEntryCount(n));
  Record{u};
  Record{u};
  Record(u).Text("Entering factorization phase (MA57BD) with ...");
  if (keep(KeepState(n)) > 0) Record(u).Text("Re-entry call after call to MA57ED");
  Record(u).Text("N       Order of input matrix               =").I(n, 12);
  Record(u).Text("NE      Entries in input matrix             =").I(ne, 12);
  Record(u).Text("        Entries in input matrix (inc diags) =").I(m, 12);
  for (const Labelled& c : kEntryControls) Record(u).Text(c.label).I(f.icntl(c.position), 12);
  Record(u).Text("LFACT   Size of real working space          =").I(f.lfact, 12);
  Record(u).Text("LIFACT  Size of integer working space       =").I(f.lifact, 12);
  Record(u).Text("        Number nodes in assembly tree       =").I(nodes, 12);
  Record(u)
      .Text("CNTL(1) Value of threshold parameter        =")
      .D(f.cntl(MA57_CNTL_THRESHOLD), 12, 5);
  Record(u)
      .Text("CNTL(2) Threshold for zero pivot            =")
      .D(f.cntl(MA57_CNTL_ZERO_PIVOT), 12, 5);
  if (ne >= 1) PrintEntries(gates, ne, f.a);
  PrintList(gates, "Permutation array:", keep.from(KeepOrder()), n, " . . .");
  PrintList(gates, "Number of entries in rows of permuted matrix:", keep.from(KeepRowCounts(n)), n,
            " . . .");
  PrintList(gates, "Tree nodes at which variables eliminated:", keep.from(KeepNodeOfVariable(n)),
            n, " . . .");
  if (nodes >= 1) {
    PrintList(gates, "Number of assemblies at each tree node:", keep.from(KeepChildren(n)), nodes,
              " . . .");
  }
  PrintList(gates, "Map array:", keep.from(KeepMap(n)), ne, " . . .");
  PrintList(gates, "Column indices of permuted matrix:", keep.from(KeepColumns(n, ne)), m,
            "     . . .");
}

void ReportFactorExit(const Gates& gates, const FactorArgs& f) {
  const int32_t u = gates.mp;
  Record{u};
  Record(u).Text("Leaving factorization phase (MA57BD) with ...");
  for (const Labelled& i : kExitInformation) Record(u).Text(i.label).I(f.info(i.position), 12);
  for (const Labelled& r : kExitOperations) {
    Record(u).Text(r.label).P(1).D(f.rinfo(r.position), 10, 3);
  }
  if (f.info(MA57_INFO_FIRST_MODIFIED) >= 1) {
    Record(u).Text("Matrix modification performed");
    Record(u)
        .Text("INFO (27) Step at which matrix first modified =")
        .I(f.info(MA57_INFO_FIRST_MODIFIED), 12);
    Record(u)
        .Text("RINFO(14) Maximum value added to diagonal     =  ")
        .P(1)
        .D(f.rinfo(MA57_RINFO_MAX_DIAGONAL_ADDED), 10, 3);
    Record(u)
        .Text("RINFO(15) Smallest pivot in modified matrix   =  ")
        .P(1)
        .D(f.rinfo(MA57_RINFO_SMALLEST_MODIFIED_PIVOT), 10, 3);
  }
  MA57PrintFactors(f.fact, f.lfact, f.ifact, f.lifact, f.icntl.data());
}

void ReportFactorSuspension(const Gates& gates, int32_t status) {
  Record{gates.mp};
  Record(gates.mp).Text("Leaving factorization phase (MA57BD) with ...");
  Record(gates.mp).Text(status == MA57_SUSPENDED_REAL
                            ? "Factorization suspended because of lack of real space"
                            : "Factorization suspended because of lack of integer space");
  Record(gates.mp).Text("INFO (1) = ").I(status, 3);
}

}  // namespace pemric::ma57
