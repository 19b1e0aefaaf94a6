// MA57BD: numerical factorization P A P^T = L D L^T of a sparse symmetric
// matrix whose pattern MA57AD analysed. This file holds the driver: argument
// checks, loading of the permuted matrix into the top of FACT and IFACT, and
// the monitoring reports; the numerical work is MA57FrontalFactor.
#include <algorithm>

#include "ma57_frontal.h"
#include "ma57_layout.h"
#include "pemric/ma57.h"
#include "pemric/record.h"

namespace pemric {
namespace {

struct Reporting {
  int32_t lp, mp, level;
  bool errors() const { return level >= 1 && lp >= 0; }
  bool monitor() const { return level >= 3 && mp >= 0; }
  int64_t Shown(int64_t count) const { return level >= 4 ? count : std::min<int64_t>(count, 10); }
};

void ErrorHeader(const Reporting& rep, int32_t status) {
  Record(rep.lp).Text("**** Error return from MA57BD ****  INFO(1) =").I(status, 3);
}

// Argument checks in their fixed order. Returns false after an error.
bool CheckArguments(int32_t n, int32_t ne, int32_t lfact, int32_t lifact, int32_t lkeep,
                    const int32_t* keep, const int32_t* icntl, int32_t* info,
                    const Reporting& rep) {
  auto fail = [&](int32_t status, int64_t value) {
    info[0] = status;
    info[1] = static_cast<int32_t>(value);
    if (rep.errors()) ErrorHeader(rep, status);
    return false;
  };
  if (n < 1) {
    fail(MA57_ERR_N, n);
    if (rep.errors()) Record(rep.lp).Text("N has value ").I(n, 10);
    return false;
  }
  if (ne < 0) {
    fail(MA57_ERR_NE, ne);
    if (rep.errors()) Record(rep.lp).Text("NE has value").I(ne, 10);
    return false;
  }
  const int64_t bound = ma57::MinimumLkeep(n, ne);
  if (lkeep < bound) {
    fail(MA57_ERR_LKEEP, lkeep);
    if (rep.errors()) {
      Record(rep.lp).Text("LKEEP has value    ").I(lkeep, 10);
      Record(rep.lp).Text("Should be at least ").I(bound, 10);
    }
    return false;
  }
  const int32_t mode = icntl[6];
  if (mode < 1 || mode > 4) {
    fail(MA57_ERR_ICNTL7, mode);
    if (rep.errors()) Record(rep.lp).Text("ICNTL(7) has value").I(mode, 10);
    return false;
  }
  const int64_t m = keep[ma57::KeepEntryCount(n) - 1];
  const int64_t int_need = m + n + 5;
  if (lifact < int_need) {
    fail(MA57_ERR_LIFACT, lifact);
    info[17] = static_cast<int32_t>(std::min<int64_t>(int_need, INT32_MAX));
    if (rep.errors()) Record(rep.lp).Text("Insufficient integer space in IFACT, LIFACT = ").I(lifact, 10);
    return false;
  }
  const int64_t real_need = mode == 4 ? m + n + 6 : m + 1;
  if (lfact < real_need) {
    fail(MA57_ERR_LFACT, lfact);
    info[16] = static_cast<int32_t>(std::min<int64_t>(real_need, INT32_MAX));
    if (rep.errors()) Record(rep.lp).Text("Insufficient real space in FACT, LFACT = ").I(lfact, 10);
    return false;
  }
  return true;
}

// Ten values to a line, or all at level 4, in `per_line` fields of width 12.
void PrintList(const Reporting& rep, const char* title, const int32_t* v, int64_t count,
               const char* dots) {
  Record{rep.mp};
  Record(rep.mp).Text(title);
  const int64_t shown = rep.Shown(count);
  for (int64_t start = 0; start < shown; start += 5) {
    Record r(rep.mp);
    for (int64_t k = start; k < std::min(shown, start + 5); ++k) r.I(v[k], 12);
  }
  if (shown < count) Record(rep.mp).X(16).Text(dots);
}

void EntryReport(const Reporting& rep, int32_t n, int32_t ne, const double* a, int32_t lfact,
                 int32_t lifact, const int32_t* keep, const int32_t* icntl, const double* cntl) {
  const int32_t u = rep.mp;
  auto K = [&](int64_t k) { return keep[k - 1]; };
  const int32_t nodes = K(ma57::KeepNodeCount(n));
  const int32_t m = K(ma57::KeepEntryCount(n));
  Record{u};
  Record{u};
  Record(u).Text("Entering factorization phase (MA57BD) with ...");
  if (K(ma57::KeepState(n)) > 0) Record(u).Text("Re-entry call after call to MA57ED");
  Record(u).Text("N       Order of input matrix               =").I(n, 12);
  Record(u).Text("NE      Entries in input matrix             =").I(ne, 12);
  Record(u).Text("        Entries in input matrix (inc diags) =").I(m, 12);
  Record(u).Text("ICNTL(1)  Stream for errors                 =").I(icntl[0], 12);
  Record(u).Text(" --- (2)  Stream for warnings               =").I(icntl[1], 12);
  Record(u).Text(" --- (3)  Stream for monitoring             =").I(icntl[2], 12);
  Record(u).Text(" --- (4)  Stream for statistics             =").I(icntl[3], 12);
  Record(u).Text(" --- (5)  Level of diagnostic printing      =").I(icntl[4], 12);
  Record(u).Text(" --- (7)  Numerical pivoting control        =").I(icntl[6], 12);
  Record(u).Text(" --- (8)  Restart or discard factors        =").I(icntl[7], 12);
  Record(u).Text(" --- (11) Block size for Level 3 BLAS       =").I(icntl[10], 12);
  Record(u).Text("LFACT   Size of real working space          =").I(lfact, 12);
  Record(u).Text("LIFACT  Size of integer working space       =").I(lifact, 12);
  Record(u).Text("        Number nodes in assembly tree       =").I(nodes, 12);
  Record(u).Text("CNTL(1) Value of threshold parameter        =").D(cntl[0], 12, 5);
  Record(u).Text("CNTL(2) Threshold for zero pivot            =").D(cntl[1], 12, 5);
  if (ne >= 1) {
    Record{u};
    Record(u).Text("Matrix entries:");
    const int64_t shown = rep.Shown(ne);
    for (int64_t start = 0; start < shown; start += 3) {
      Record r(u);
      r.P(1);
      for (int64_t k = start; k < std::min(shown, start + 3); ++k) {
        r.I(k + 1, 6).Text(": (").D(a[k], 16, 8).Text(")");
      }
    }
    if (shown < ne) Record(u).Text("     . . .");
  }
  PrintList(rep, "Permutation array:", keep, n, " . . .");
  PrintList(rep, "Number of entries in rows of permuted matrix:",
            &keep[ma57::KeepRowCounts(n) - 1], n, " . . .");
  PrintList(rep, "Tree nodes at which variables eliminated:",
            &keep[ma57::KeepNodeOfVariable(n) - 1], n, " . . .");
  if (nodes >= 1) {
    PrintList(rep, "Number of assemblies at each tree node:", &keep[ma57::KeepChildren(n) - 1],
              nodes, " . . .");
  }
  PrintList(rep, "Map array:", &keep[ma57::KeepMap(n) - 1], ne, " . . .");
  PrintList(rep, "Column indices of permuted matrix:", &keep[ma57::KeepColumns(n, ne) - 1], m,
            "     . . .");
}

void ExitReport(const Reporting& rep, const int32_t* info, const double* rinfo) {
  const int32_t u = rep.mp;
  Record{u};
  Record(u).Text("Leaving factorization phase (MA57BD) with ...");
  struct Line {
    const char* label;
    int pos;
  };
  static const Line kLines[] = {
      {"INFO (1)                                      =", 1},
      {" --- (2)                                      =", 2},
      {" --- (14) Number of entries in factors        =", 14},
      {" --- (15) Real storage for factors            =", 15},
      {" --- (16) Integer storage for factors         =", 16},
      {" --- (17) Min LFACT with compresses           =", 17},
      {" --- (18) Min LIFACT with compresses          =", 18},
      {" --- (19) Min LFACT without compresses        =", 19},
      {" --- (20) Min LIFACT without compresses       =", 20},
      {" --- (21) Order of largest frontal matrix     =", 21},
      {" --- (22) Number of 2x2 pivots                =", 22},
      {" --- (23) Number of delayed pivots            =", 23},
      {" --- (24) Number of negative eigenvalues      =", 24},
      {" --- (25) Rank of factorization               =", 25},
      {" --- (28) Number compresses on real data      =", 28},
      {" --- (29) Number compresses on integer data   =", 29},
      {" --- (31) Number of block pivots in factors   =", 31}};
  for (const Line& line : kLines) Record(u).Text(line.label).I(info[line.pos - 1], 12);
  Record(u).Text("RINFO(3)  Operations during node assembly     =  ").P(1).D(rinfo[2], 10, 3);
  Record(u).Text("-----(4)  Operations during node elimination  =  ").P(1).D(rinfo[3], 10, 3);
  Record(u).Text("-----(5)  Extra operations because of BLAS    =  ").P(1).D(rinfo[4], 10, 3);
  if (info[26] >= 1) {
    Record(u).Text("Matrix modification performed");
    Record(u).Text("INFO (27) Step at which matrix first modified =").I(info[26], 12);
    Record(u).Text("RINFO(14) Maximum value added to diagonal     =  ").P(1).D(rinfo[13], 10, 3);
    Record(u).Text("RINFO(15) Smallest pivot in modified matrix   =  ").P(1).D(rinfo[14], 10, 3);
  }
}

void SuspensionReport(const Reporting& rep, int32_t status) {
  Record{rep.mp};
  Record(rep.mp).Text("Leaving factorization phase (MA57BD) with ...");
  Record(rep.mp).Text(status == MA57_SUSPENDED_REAL
                          ? "Factorization suspended because of lack of real space"
                          : "Factorization suspended because of lack of integer space");
  Record(rep.mp).Text("INFO (1) = ").I(status, 3);
}

// The permuted matrix, row after row, at the top of FACT(1..la) and IFACT.
// Out-of-range input entries (map 0) land in FACT(la - m), never read.
void LoadPermutedMatrix(int32_t n, int32_t ne, const double* a, double* fact, int64_t la,
                        int32_t* ifact, int32_t lifact, const int32_t* keep, int32_t* pivseq) {
  const int64_t m = keep[ma57::KeepEntryCount(n) - 1];
  double* values = fact + (la - m);  // values[k - 1] is FACT(la - m + k)
  std::fill(values, values + m, 0.0);
  const int32_t* map = &keep[ma57::KeepMap(n) - 1];
  for (int32_t k = 0; k < ne; ++k) {
    if (map[k] > 0) {
      values[map[k] - 1] = a[k];
    } else {
      fact[la - m - 1] = a[k];
    }
  }
  const int32_t* cols = &keep[ma57::KeepColumns(n, ne) - 1];
  std::copy(cols, cols + m, ifact + (lifact - m));
  for (int32_t i = 1; i <= n; ++i) pivseq[keep[i - 1] - 1] = i;
}

}  // namespace
}  // namespace pemric

extern "C" PEMRIC_API void MA57BD(const int32_t* N,
                                  const int32_t* NE,
                                  const double* A,
                                  double* FACT,
                                  const int32_t* LFACT,
                                  int32_t* IFACT,
                                  const int32_t* LIFACT,
                                  const int32_t* LKEEP,
                                  int32_t* KEEP,
                                  int32_t* PIVSEQ,
                                  const int32_t* ICNTL,
                                  const double* CNTL,
                                  int32_t* INFO,
                                  double* RINFO) {
  using namespace pemric;
  const Reporting rep{ICNTL[0], ICNTL[2], ICNTL[4]};
  const int32_t n = *N, ne = *NE;
  if (!CheckArguments(n, ne, *LFACT, *LIFACT, *LKEEP, KEEP, ICNTL, INFO, rep)) return;
  if (rep.monitor()) EntryReport(rep, n, ne, A, *LFACT, *LIFACT, KEEP, ICNTL, CNTL);
  const int32_t mode = ICNTL[6];
  const int64_t la = mode == 4 ? static_cast<int64_t>(*LFACT) - n - 5 : *LFACT;
  const int32_t m = KEEP[ma57::KeepEntryCount(n) - 1];
  int32_t* saved = &KEEP[ma57::KeepState(n) - 1];
  if (saved[0] <= 0) {
    saved[0] = 0;
    LoadPermutedMatrix(n, ne, A, FACT, la, IFACT, *LIFACT, KEEP, PIVSEQ);
  }
  // Modification data sits after FACT(la); outside mode 4 both designate
  // FACT(1) and are never touched.
  double* moddiag = mode == 4 ? FACT + la + 5 : FACT;
  double* modscal = mode == 4 ? FACT + la : FACT;
  MA57FrontalFactor(n, m, FACT, la, IFACT, *LIFACT, &KEEP[ma57::KeepRowCounts(n) - 1], PIVSEQ,
                    KEEP[ma57::KeepNodeCount(n) - 1], &KEEP[ma57::KeepChildren(n) - 1],
                    &KEEP[ma57::KeepNodeOfVariable(n) - 1], moddiag, modscal, KEEP, CNTL, ICNTL,
                    INFO, RINFO, saved);
  const int32_t status = INFO[0];
  if (status == MA57_SUSPENDED_REAL || status == MA57_SUSPENDED_INTEGER) {
    if (rep.monitor()) SuspensionReport(rep, status);
    return;
  }
  for (int32_t k = 1; k <= n; ++k) KEEP[PIVSEQ[k - 1] - 1] = k;
  if (rep.monitor() && status >= 0) {
    ExitReport(rep, INFO, RINFO);
    MA57PrintFactors(FACT, *LFACT, IFACT, *LIFACT, ICNTL);
  }
}
