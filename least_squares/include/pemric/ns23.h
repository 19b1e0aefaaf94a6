/* Sparse nonlinear least squares by a Levenberg-Marquardt (trust-region)
 * method with reverse communication: minimise ||F(x) + A x||^2 for M residuals
 * in N variables, with a sparse Jacobian given by its pattern. The caller
 * evaluates F (and, unless the routine differences numerically, the Jacobian)
 * at the points the routine asks for. Every argument by reference; arrays
 * indexed from 1 in the positions documented below; signed 32-bit integers. */
#ifndef PEMRIC_NS23_H
#define PEMRIC_NS23_H

#include "pemric/common.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Defaults for NS23AD: ICNTL(1..5) = (6, 0, 0, 0, 0); CNTL(1..5) =
 * (0.25, 0.25, 0.75, 0, 0); KEEP(1..40), RKEEP(1..30) and LKEEP(1..10)
 * cleared; the difference-Jacobian controls in KEEP(61..65), RKEEP(41..47);
 * the MA57 controls in KEEP(71..90), RKEEP(48..52), with MA57 printing off
 * (ICNTL(5) = 0) and pivoting control ICNTL(7) = 2.
 *   ICNTL  int[5]     out    CNTL   double[5]  out
 *   KEEP   int[130]   out    RKEEP  double[72] out   LKEEP int[10] out */
PEMRIC_API void NS23SetDefaults(int32_t* ICNTL,
                                double* CNTL,
                                int32_t* KEEP,
                                double* RKEEP,
                                int32_t* LKEEP);

/* One step of the reverse-communication protocol.
 *   M, N          in      residuals and variables, 1 <= N <= M
 *   SAC           in      stop when the sum of squares is <= SAC
 *   STPMIN        in      stop when the length of a new step is <= STPMIN
 *                         (ICNTL(2) = 0: either test; otherwise both)
 *   MAXFUN        in      budget of residual evaluations (and iterations)
 *   IPRINT        in      0: no monitoring; k: summary every |k| iterations,
 *                         k < 0 also X and the residuals
 *   IRN(NNZ)      in      row indices of the Jacobian pattern, column after column
 *   IP(N+1)       in/out  column pointers of IRN; negated temporarily as marks
 *                         while a difference Jacobian is built (read through
 *                         absolute values; restored at every problem start)
 *   AVAL, AIRN, AIP(N+1)  in  a constant matrix A added to the Jacobian
 *                         (column-compressed; an empty A has AIP = 1..1)
 *   HMAX          in      0: caller supplies the Jacobian; > 0: differences
 *   LIW, IW(LIW)  work    integer workspace, untouched between calls
 *   LW, W(LW)     work    real workspace, untouched between calls
 *   X(N)          in/out  the variables; the point to evaluate on return > 0
 *   F(M)          in/out  residuals at X
 *   FJAC(NNZ)     in/out  Jacobian values in the order of IRN
 *   IFLAG         in/out  entry: 2..5 resume, anything else starts a problem.
 *                         Return:  2 evaluate F and FJAC at X (current point)
 *                                  3 evaluate F at X (difference Jacobian)
 *                                  4 evaluate F at X (line-search point)
 *                                  5 evaluate F (and FJAC if HMAX = 0) at X
 *                                  0 finished; X is the best point found
 *                                 -1 more than MAXFUN evaluations needed
 *                                 -2 LIW too small (INFO(4) needed so far)
 *                                 -3 LIW and/or LW too small (INFO(4), INFO(5))
 *                                 -4 N < 1 or M < N
 *                                 -7 residuals or Jacobian not finite at the
 *                                    current point (never a converged return)
 *                                 -9 the shifted normal matrix failed to
 *                                    factorize ten times
 *   ICNTL(5), CNTL(5)     in   controls (NS23SetDefaults)
 *   INFO(5)       out     IFLAG if negative; the offending value; evaluations;
 *                         LIW needed; LW needed
 *   RINFO(1)      out     the Marquardt parameter
 *   KEEP(130), RKEEP(72), LKEEP(10)  private state */
PEMRIC_API void NS23AD(const int32_t* M,
                       const int32_t* N,
                       const double* SAC,
                       const double* STPMIN,
                       const int32_t* MAXFUN,
                       const int32_t* IPRINT,
                       const int32_t* IRN,
                       int32_t* IP,
                       const double* AVAL,
                       const int32_t* AIRN,
                       const int32_t* AIP,
                       const double* HMAX,
                       const int32_t* LIW,
                       int32_t* IW,
                       const int32_t* LW,
                       double* W,
                       double* X,
                       double* F,
                       double* FJAC,
                       int32_t* IFLAG,
                       const int32_t* ICNTL,
                       const double* CNTL,
                       int32_t* INFO,
                       double* RINFO,
                       int32_t* KEEP,
                       double* RKEEP,
                       int32_t* LKEEP);

#ifdef __cplusplus
}
#endif

#endif
