/* A program that knows the numeric routines only as an installation gives
 * them: pemric.h and libpemric. The three MA57 phases solve a small symmetric
 * indefinite system whose solution is chosen in advance, and the result must
 * match it to a few units of MachineConstant's precision.
 * Exits 0 when it does. */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>

#include "pemric.h"

enum { N = 6, NE = 12 };

int main(void) {
  /* Upper triangle of a symmetric matrix with diagonal entries of both signs:
   * a tridiagonal band and one entry (1, 6) that closes it into a ring. */
  int32_t irn[NE] = {1, 2, 3, 4, 5, 6, 1, 2, 3, 4, 5, 1};
  int32_t jcn[NE] = {1, 2, 3, 4, 5, 6, 2, 3, 4, 5, 6, 6};
  const double a[NE] = {4, -3, 5, -2, 6, -1, 1, 1, 1, 1, 1, 2};
  const double solution[N] = {1, -2, 3, -4, 5, -6};
  double rhs[N] = {0};
  for (int k = 0; k < NE; ++k) {
    const int i = irn[k] - 1, j = jcn[k] - 1;
    rhs[i] += a[k] * solution[j];
    if (i != j) rhs[j] += a[k] * solution[i];
  }

  int32_t n = N, ne = NE, icntl[MA57_LICNTL], info[MA57_LINFO];
  double cntl[MA57_LCNTL], rinfo[MA57_LRINFO];
  MA57SetDefaults(cntl, icntl);
  int32_t lkeep = 5 * N + NE + NE + 42, keep[5 * N + NE + NE + 42], iwork[5 * N];
  MA57AD(&n, &ne, irn, jcn, &lkeep, keep, iwork, icntl, info, rinfo);
  if (info[MA57_INFO_STATUS - 1] != 0) {
    fprintf(stderr, "solve: MA57AD status %d\n", info[MA57_INFO_STATUS - 1]);
    return 1;
  }
  /* Twice the forecast sizes without compression leave room for pivoting. */
  int32_t lfact = 2 * info[MA57_INFO_FACT_NO_COMPRESS - 1];
  int32_t lifact = 2 * info[MA57_INFO_IFACT_NO_COMPRESS - 1];
  double* fact = malloc(sizeof(double) * (size_t)lfact);
  int32_t* ifact = malloc(sizeof(int32_t) * (size_t)lifact);
  int32_t pivots[N];
  if (fact == NULL || ifact == NULL) return 1;
  MA57BD(&n, &ne, a, fact, &lfact, ifact, &lifact, &lkeep, keep, pivots, icntl, cntl, info, rinfo);
  if (info[MA57_INFO_STATUS - 1] != 0) {
    fprintf(stderr, "solve: MA57BD status %d\n", info[MA57_INFO_STATUS - 1]);
    return 1;
  }
  int32_t job = 1, nrhs = 1, lrhs = N, lw = N, iwblk[N];
  double w[N];
  MA57CD(&job, &n, fact, &lfact, ifact, &lifact, &nrhs, rhs, &lrhs, w, &lw, iwblk, icntl, info);
  free(fact);
  free(ifact);

  const int32_t precision = 1;
  const double tolerance = 64 * MachineConstant(&precision);
  double error = 0;
  for (int i = 0; i < N; ++i) error = fmax(error, fabs(rhs[i] - solution[i]) / fabs(solution[i]));
  printf("solve: largest relative error %.3g (tolerance %.3g), %d negative pivots\n", error,
         tolerance, info[MA57_INFO_NEGATIVE - 1]);
  return info[MA57_INFO_STATUS - 1] == 0 && error <= tolerance ? 0 : 1;
}
