/* A C program that calls the numeric routines through the shared library and
 * its one public header. Exits non-zero on the first wrong result. */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "pemric.h"

static int Fail(const char* what) {
  fprintf(stderr, "c_caller: %s\n", what);
  return 1;
}

int main(void) {
  int32_t one = 1;
  double eps = MachineConstant(&one);
  uint64_t bits;
  memcpy(&bits, &eps, sizeof bits);
  if (bits != 0x3CB0000000000002ULL) return Fail("MachineConstant(1)");

  /* 2 x 3 pattern (1,1) (2,3) (1,3) (2,1) to column form with ordered rows. */
  int32_t icntl[MC59_LICNTL] = {0};
  icntl[MC59_ICNTL_NO_CHECK - 1] = 0;
  icntl[MC59_ICNTL_MODE - 1] = MC59_MODE_COORDINATE_ORDERED;
  icntl[MC59_ICNTL_PATTERN_ONLY - 1] = 1;
  icntl[MC59_ICNTL_ERROR_STREAM - 1] = 6;
  icntl[MC59_ICNTL_WARNING_STREAM - 1] = 6;
  icntl[MC59_ICNTL_SYMMETRIC - 1] = 0;
  int32_t nc = 3, nr = 2, ne = 4, ljcn = 4, la = 1, lip = 4, liw = 4;
  int32_t irn[4] = {1, 2, 1, 2}, jcn[4] = {1, 3, 3, 1}, ip[4], iw[4], info[MC59_LINFO];
  double a[1] = {0.0};
  const int32_t want_ip[4] = {1, 3, 3, 5}, want_irn[4] = {1, 2, 1, 2};
  MC59AD(icntl, &nc, &nr, &ne, irn, &ljcn, jcn, &la, a, &lip, ip, &liw, iw, info);
  if (info[MC59_INFO_STATUS - 1] != 0 || info[MC59_INFO_ENTRIES - 1] != 4)
    return Fail("MC59AD status");
  if (memcmp(ip, want_ip, sizeof ip) != 0) return Fail("MC59AD column starts");
  if (memcmp(irn, want_irn, sizeof irn) != 0) return Fail("MC59AD rows");
  if (strcmp(MC59StatusText(info[MC59_INFO_STATUS - 1]), "success") != 0)
    return Fail("MC59StatusText");

  /* The sparse solver's controls inside the least-squares routine's state. */
  int32_t ns23_icntl[NS23_LICNTL], keep[NS23_LKEEP], lkeep[NS23_LLKEEP];
  double ns23_cntl[NS23_LCNTL], rkeep[NS23_LRKEEP];
  NS23SparseSolverArrays sparse;
  NS23SetDefaults(ns23_icntl, ns23_cntl, keep, rkeep, lkeep);
  NS23GetSparseSolverArrays(keep, rkeep, &sparse);
  if (sparse.ICNTL[MA57_ICNTL_PIVOTING - 1] != MA57_PIVOT_ONE_SIGN) return Fail("NS23GetSparseSolverArrays");
  if (strcmp(NS23StatusText(NS23_ERR_SIZES), "N < 1 or M < N") != 0) return Fail("NS23StatusText");
  if (strcmp(MA57StatusText(MA57_ERR_N), "N < 1") != 0) return Fail("MA57StatusText");
  return 0;
}
