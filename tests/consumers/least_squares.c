/* Least squares from C with NS23AD: a smooth curve through noisy data.
 *
 * The unknowns are x_1..x_N, the logarithms of a positive profile sampled at
 * N points. The residuals are
 *   r_j     = exp(x_j) - d_j                        j = 1..N    (fit to the data d)
 *   r_{N+j} = W (x_j - 2 x_{j+1} + x_{j+2})         j = 1..N-2  (smoothness)
 * so M = 2N - 2 > N and the Jacobian is sparse: column j has the entry
 * (j, j) = exp(x_j) and at most three smoothness entries. The problem is
 * solved twice: with the Jacobian computed here, then with NS23AD's
 * difference Jacobian on the same pattern. Both must reach a point where
 * the gradient J^T r of the sum of squares vanishes, and the same sum.
 * Exits 0 when they do. */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>

#include "pemric.h"

enum { N = 30, M = 2 * N - 2, NNZ = N + 3 * (N - 2) };
static const double W = 2.0;

/* The data: a smooth profile with a deterministic ripple as its noise. */
static double Data(int j) { return exp(sin(j / 5.0)) * (1.0 + 0.05 * cos(7.0 * j)); }

static void Residuals(const double* x, double* f) {
  for (int j = 1; j <= N; ++j) f[j - 1] = exp(x[j - 1]) - Data(j);
  for (int j = 1; j <= N - 2; ++j) f[N + j - 1] = W * (x[j - 1] - 2.0 * x[j] + x[j + 1]);
}

/* The pattern, column after column with increasing rows (indices from 1):
 * column j holds row j, then the smoothness rows N+j-2, N+j-1, N+j that
 * exist. The values follow the same order. */
static void Pattern(int32_t* irn, int32_t* ip) {
  int32_t k = 0;
  for (int j = 1; j <= N; ++j) {
    ip[j - 1] = k + 1;
    irn[k++] = j;
    for (int r = j - 2; r <= j; ++r) {
      if (r >= 1 && r <= N - 2) irn[k++] = N + r;
    }
  }
  ip[N] = k + 1;
}

static void Jacobian(const double* x, double* fjac) {
  int32_t k = 0;
  for (int j = 1; j <= N; ++j) {
    fjac[k++] = exp(x[j - 1]);
    for (int r = j - 2; r <= j; ++r) {
      if (r < 1 || r > N - 2) continue;
      fjac[k++] = r == j - 1 ? -2.0 * W : W; /* x_j is the middle point of row N+j-1 */
    }
  }
}

/* Solves from x = 0; hmax = 0 uses Jacobian(), hmax > 0 differences.
 * Returns the final flag and leaves the solution in x, its residuals in f. */
static int Solve(double hmax, double* x, double* f, double* fjac, int32_t* evaluations) {
  int32_t m = M, n = N, irn[NNZ], ip[N + 1];
  Pattern(irn, ip);
  /* No constant matrix A: its column starts are all 1. */
  int32_t aip[N + 1], airn[1] = {1};
  double aval[1] = {0.0};
  for (int j = 0; j <= N; ++j) aip[j] = 1;

  /* The workspace, sized before the first evaluation: these are the
   * lengths the start will ask for, so no -2 or -3 return follows. */
  int32_t liw, lw, size_info[NS23_LINFO];
  NS23WorkspaceSize(&m, &n, irn, ip, airn, aip, &hmax, &liw, &lw, size_info);
  if (size_info[0] != 0) {
    fprintf(stderr, "NS23WorkspaceSize: status %d\n", size_info[0]);
    return size_info[0];
  }
  int32_t* iw = malloc(sizeof(int32_t) * (size_t)liw);
  double* w = malloc(sizeof(double) * (size_t)lw);
  if (iw == NULL || w == NULL) return -100;

  int32_t icntl[NS23_LICNTL], info[NS23_LINFO], keep[NS23_LKEEP], lkeep[NS23_LLKEEP];
  double cntl[NS23_LCNTL], rinfo[NS23_LRINFO], rkeep[NS23_LRKEEP];
  NS23SetDefaults(icntl, cntl, keep, rkeep, lkeep);
  icntl[NS23_ICNTL_STREAM - 1] = 0; /* no messages */
  const double sac = 0.0, stpmin = 1e-12;
  const int32_t maxfun = 500, iprint = 0;

  for (int j = 0; j < N; ++j) x[j] = 0.0;
  /* The start needs F (and, with an analytic Jacobian, FJAC) at x. */
  Residuals(x, f);
  if (hmax == 0.0) Jacobian(x, fjac);
  *evaluations = 1;
  int32_t iflag = NS23_START;
  for (;;) {
    NS23AD(&m, &n, &sac, &stpmin, &maxfun, &iprint, irn, ip, aval, airn, aip, &hmax, &liw, iw,
           &lw, w, x, f, fjac, &iflag, icntl, cntl, info, rinfo, keep, rkeep, lkeep);
    if (iflag <= 0) break; /* 0: finished, x the best point; < 0: an error */
    /* 2 and 5 ask for F and, with an analytic Jacobian, FJAC at x;
     * 3 and 4 (differences only) for F alone. Then call with IFLAG unchanged. */
    Residuals(x, f);
    if (hmax == 0.0 && (iflag == NS23_EVALUATE_CURRENT || iflag == NS23_EVALUATE_TRIAL)) {
      Jacobian(x, fjac);
    }
    ++*evaluations;
  }
  /* At the end F may hold the residuals of a rejected trial: evaluate
   * them at the solution again. */
  Residuals(x, f);
  free(iw);
  free(w);
  return iflag;
}

/* The largest component of J^T r relative to |J| |r|, at x. */
static double RelativeGradient(const double* x, const double* f) {
  int32_t irn[NNZ], ip[N + 1];
  double fjac[NNZ], worst = 0.0;
  Pattern(irn, ip);
  Jacobian(x, fjac);
  for (int j = 0; j < N; ++j) {
    double g = 0.0, scale = 0.0;
    for (int32_t k = ip[j] - 1; k < ip[j + 1] - 1; ++k) {
      g += fjac[k] * f[irn[k] - 1];
      scale += fabs(fjac[k] * f[irn[k] - 1]);
    }
    if (scale > 0.0) worst = fmax(worst, fabs(g) / scale);
  }
  return worst;
}

int main(void) {
  double x[N], f[M], fjac[NNZ], ss[2];
  const double hmax[2] = {0.0, 1e-2};
  const char* name[2] = {"analytic Jacobian", "difference Jacobian"};
  int ok = 1;
  for (int run = 0; run < 2; ++run) {
    int32_t evaluations = 0;
    const int flag = Solve(hmax[run], x, f, fjac, &evaluations);
    ss[run] = 0.0;
    for (int i = 0; i < M; ++i) ss[run] += f[i] * f[i];
    const double gradient = RelativeGradient(x, f);
    printf("%s: flag %d, %d evaluations, sum of squares %.10g, relative gradient %.2g\n",
           name[run], flag, evaluations, ss[run], gradient);
    ok = ok && flag == 0 && gradient < 1e-6;
  }
  ok = ok && fabs(ss[0] - ss[1]) <= 1e-8 * ss[0];
  return ok ? 0 : 1;
}
