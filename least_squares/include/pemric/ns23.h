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

/* Lengths of the argument arrays. CNTL, INFO and RINFO are the lengths the
 * routine uses; a caller may pass longer arrays. */
enum {
  NS23_LICNTL = 5,
  NS23_LCNTL = 5,
  NS23_LINFO = 5,
  NS23_LRINFO = 1,
  NS23_LKEEP = 130,
  NS23_LRKEEP = 72,
  NS23_LLKEEP = 10
};

/* ICNTL positions (1-based). ICNTL(3..5) are not read. */
enum {
  NS23_ICNTL_STREAM = 1,   /* stream of every message and print; <= 0 silences all */
  NS23_ICNTL_STOP_RULE = 2 /* 0: stop when the SAC or the STPMIN test holds; other: both */
};

/* CNTL positions (1-based). */
enum {
  NS23_CNTL_LINEARITY = 1,      /* factor in the linearity test of the difference mode */
  NS23_CNTL_POOR_RATIO = 2,     /* actual / predicted reduction below which the bound shrinks */
  NS23_CNTL_GOOD_RATIO = 3,     /* ratio above which the bound may grow */
  NS23_CNTL_RESIDUAL_ERROR = 4, /* > 0: relative error of a residual for the difference
                                   Jacobian, copied into RKEEP at the start of a problem */
  NS23_CNTL_INITIAL_STEP = 5    /* > 0: first difference step of every variable */
};

/* INFO positions (1-based), written at every return. */
enum {
  NS23_INFO_STATUS = 1,      /* IFLAG when negative, else 0 */
  NS23_INFO_VALUE = 2,       /* MAXFUN after -1, LIW after -2, LW after -3, else 0 */
  NS23_INFO_EVALUATIONS = 3, /* residual evaluations so far */
  NS23_INFO_LIW_NEEDED = 4,  /* length of IW needed */
  NS23_INFO_LW_NEEDED = 5    /* length of W needed */
};

/* RINFO positions (1-based). */
enum { NS23_RINFO_MARQUARDT = 1 /* the current Marquardt parameter */ };

/* IFLAG values. On entry every value but the four requests 2..5 starts a
 * new problem; on return a positive value asks for an evaluation at X, after
 * which the caller calls again with IFLAG unchanged. */
enum {
  NS23_START = 1,                /* entry: start a problem at X with F (and FJAC) given */
  NS23_EVALUATE_CURRENT = 2,     /* HMAX = 0: evaluate F and FJAC at X (best point so far) */
  NS23_EVALUATE_DIFFERENCE = 3,  /* HMAX > 0: evaluate F at X (a difference-Jacobian point) */
  NS23_EVALUATE_LINE_SEARCH = 4, /* HMAX > 0: evaluate F at X (a point along the last step) */
  NS23_EVALUATE_TRIAL = 5,       /* evaluate F, and FJAC when HMAX = 0, at X (trial point) */
  NS23_FINISHED = 0,             /* X is the best point found */
  NS23_ERR_MAXFUN = -1,          /* more than MAXFUN evaluations would be needed */
  NS23_ERR_LIW = -2,             /* LIW too small for the analysis; INFO(4) needed so far */
  NS23_ERR_WORKSPACE = -3,       /* LIW and/or LW too small; INFO(4), INFO(5) needed */
  NS23_ERR_SIZES = -4,           /* N < 1 or M < N */
  NS23_ERR_NOT_FINITE = -7,      /* residuals, Jacobian or step not finite at the current point */
  NS23_ERR_FACTORIZATION = -9    /* the shifted normal matrix failed to factorize ten times */
};

/* The lengths of IW and W that NS23AD asks for at the start of a problem,
 * found before the first call (and so before the first evaluation). The
 * lengths depend on the analysis of the normal matrix's pattern (the
 * forecast size of its factors), which no formula in M, N and the number of
 * entries gives; so the routine runs the very analysis that the start runs,
 * in memory of its own that it frees before it returns: the one routine of
 * the family that allocates. It costs about what one start costs. A caller
 * that passes at least these lengths never sees -2 or -3.
 *   M, N, IRN, IP(N+1), AIRN, AIP(N+1), HMAX   in   as for NS23AD (IP is read
 *                       through absolute values, as NS23AD reads it)
 *   LIW, LW     out     the lengths needed: INFO(4) and INFO(5) of NS23AD's start
 *   INFO(5)     out     INFO(1) status:
 *                          0  success; INFO(3) = distinct positions of J and A
 *                             together, INFO(4) = entries in the lower
 *                             triangle of the normal matrix's pattern
 *                         -4  N < 1 or M < N (NS23_ERR_SIZES)
 *                        -11  column starts: IP(1) != 1 or IP(j+1) < IP(j)
 *                             (INFO(2) = j), in J (INFO(3) = 1) or in A
 *                             (AIP, INFO(3) = 2)
 *                        -12  a row index outside 1..M: IRN(k) (INFO(2) = k,
 *                             INFO(3) = 1) or AIRN(k) (INFO(3) = 2)
 *                        -13  a length needed exceeds 2^31 - 1
 *                        -14  the analysis's workspace could not be allocated
 *                       LIW and LW are 0 on any error. Nothing is printed. */
enum {
  NS23_SIZE_INFO_STATUS = 1,    /* INFO positions of NS23WorkspaceSize: the status */
  NS23_SIZE_INFO_VALUE = 2,     /* the column or entry at fault */
  NS23_SIZE_INFO_PATTERN = 3,   /* success: distinct positions; error: 1 J, 2 A */
  NS23_SIZE_INFO_NORMAL = 4,    /* success: entries of the normal matrix's lower triangle */
  NS23_SIZE_ERR_COLUMN_STARTS = -11,
  NS23_SIZE_ERR_ROW_INDEX = -12,
  NS23_SIZE_ERR_TOO_LARGE = -13,
  NS23_SIZE_ERR_NO_MEMORY = -14
};
PEMRIC_API void NS23WorkspaceSize(const int32_t* M,
                                  const int32_t* N,
                                  const int32_t* IRN,
                                  const int32_t* IP,
                                  const int32_t* AIRN,
                                  const int32_t* AIP,
                                  const double* HMAX,
                                  int32_t* LIW,
                                  int32_t* LW,
                                  int32_t* INFO);

/* Defaults for NS23AD: ICNTL(1..5) = (6, 0, 0, 0, 0); CNTL(1..5) =
 * (0.25, 0.25, 0.75, 0, 0); KEEP(1..40), RKEEP(1..30) and LKEEP(1..10)
 * cleared; the controls of the difference Jacobian and of the sparse solver
 * set in their places in KEEP and RKEEP, with the solver's printing off
 * (MA57 ICNTL(5) = 0) and its pivoting control ICNTL(7) = 2.
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

/* The sparse symmetric solver's controls and information (pemric/ma57.h),
 * which NS23AD keeps inside its private arrays: after a -9 return, the
 * solver's INFO(1) and RINFO tell why the shifted normal matrix did not
 * factorize. Read-only views, each at position 1 of its array, valid as long
 * as KEEP and RKEEP are. */
typedef struct NS23SparseSolverArrays {
  const int32_t* ICNTL; /* ICNTL(1..MA57_LICNTL), the solver's integer controls */
  const double* CNTL;   /* CNTL(1..MA57_LCNTL), its real controls */
  const int32_t* INFO;  /* INFO(1..MA57_LINFO), its integer information */
  const double* RINFO;  /* RINFO(1..MA57_LRINFO), its real information */
} NS23SparseSolverArrays;

/* Where the sparse solver's arrays lie inside NS23AD's private ones.
 *   KEEP(130), RKEEP(72)  in   NS23AD's private arrays
 *   ARRAYS                out  the four views; those into a null KEEP or
 *                              RKEEP are null. A null ARRAYS is ignored. */
PEMRIC_API void NS23GetSparseSolverArrays(const int32_t* KEEP,
                                          const double* RKEEP,
                                          NS23SparseSolverArrays* ARRAYS);

/* A short text for a status of NS23AD: an IFLAG value on return or INFO(1)
 * (the values above), such as "N < 1 or M < N". A value NS23AD never returns
 * gives "unknown NS23AD status". The text is constant, never null; STATUS
 * alone is passed by value. */
PEMRIC_API const char* NS23StatusText(int32_t STATUS);

#ifdef __cplusplus
}
#endif

#endif
