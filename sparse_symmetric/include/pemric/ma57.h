/* Sparse symmetric indefinite systems A x = b by a multifrontal LDL^T
 * factorization with 1x1 and 2x2 pivots (Duff and Reid, "The multifrontal
 * solution of indefinite sparse symmetric linear equations", ACM TOMS 9, 1983),
 * in three phases that share only caller-owned arrays:
 *
 *   MA57AD  analysis: ordering, assembly tree, permuted structure, forecasts
 *   MA57BD  numerical factorization of a matrix with the analysed pattern
 *   MA57CD  solution with one or more right-hand sides
 *
 * Every argument is passed by reference; arrays are indexed from 1 in the
 * positions documented below; integers are signed 32-bit; nothing is
 * allocated. Status goes to INFO(1): 0 success, > 0 warning, < 0 error, with
 * INFO(2) holding the offending value. */
#ifndef PEMRIC_MA57_H
#define PEMRIC_MA57_H

#include "pemric/common.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Lengths of the control and information arrays. */
enum {
  MA57_LICNTL = 20,
  MA57_LCNTL = 5,
  MA57_LINFO = 40,
  MA57_LRINFO = 20
};

/* ICNTL positions (1-based). */
enum {
  MA57_ICNTL_ERROR_STREAM = 1,      /* stream for error messages; < 0 silences */
  MA57_ICNTL_WARNING_STREAM = 2,    /* stream for warnings; < 0 silences */
  MA57_ICNTL_MONITOR_STREAM = 3,    /* stream for entry/exit reports; < 0 silences */
  MA57_ICNTL_STATISTICS_STREAM = 4, /* only echoed in entry reports */
  MA57_ICNTL_PRINT_LEVEL = 5,       /* 0 none, 1 errors, 2 warnings, 3 monitoring, >= 4 full arrays */
  MA57_ICNTL_SUPPLIED_ORDER = 6,    /* 1: KEEP(1..N) holds the caller's pivot order */
  MA57_ICNTL_PIVOTING = 7,          /* pivoting mode of the factorization, 1..4 */
  MA57_ICNTL_SUSPEND = 8,           /* nonzero: suspend instead of failing on lack of space */
  MA57_ICNTL_REFINEMENT_STEPS = 9,  /* not read */
  MA57_ICNTL_ERROR_ANALYSIS = 10,   /* not read */
  MA57_ICNTL_BLOCK_SIZE = 11,       /* block size of the Level 3 BLAS updates */
  MA57_ICNTL_AMALGAMATION = 12,     /* node amalgamation parameter of the assembly tree */
  MA57_ICNTL_BLAS_THRESHOLD = 13,   /* solve uses BLAS only above this many columns */
  MA57_ICNTL_RESERVED = 14          /* not read; 100 by default. ICNTL(15..20) are 0 and not read */
};

/* CNTL positions (1-based). */
enum {
  MA57_CNTL_THRESHOLD = 1,   /* relative pivot threshold, clamped to [0, 0.5] */
  MA57_CNTL_ZERO_PIVOT = 2,  /* |pivot| <= CNTL(2) counts as zero */
  MA57_CNTL_CONVERGENCE = 3  /* not read */
};

/* INFO positions (1-based). */
enum {
  MA57_INFO_STATUS = 1,
  MA57_INFO_VALUE = 2,
  MA57_INFO_OUT_OF_RANGE = 3,
  MA57_INFO_DUPLICATES = 4,
  MA57_INFO_FORECAST_REAL = 5,
  MA57_INFO_FORECAST_INTEGER = 6,
  MA57_INFO_FORECAST_FRONT = 7,
  MA57_INFO_NODES = 8,
  MA57_INFO_FACT_NO_COMPRESS = 9,
  MA57_INFO_IFACT_NO_COMPRESS = 10,
  MA57_INFO_FACT_COMPRESS = 11,
  MA57_INFO_IFACT_COMPRESS = 12,
  MA57_INFO_ANALYSIS_COMPRESSES = 13,
  MA57_INFO_FACTOR_ENTRIES = 14,
  MA57_INFO_REAL_STORAGE = 15,
  MA57_INFO_INTEGER_STORAGE = 16,
  MA57_INFO_MIN_LFACT_COMPRESS = 17,
  MA57_INFO_MIN_LIFACT_COMPRESS = 18,
  MA57_INFO_MIN_LFACT_NO_COMPRESS = 19,
  MA57_INFO_MIN_LIFACT_NO_COMPRESS = 20,
  MA57_INFO_LARGEST_FRONT = 21,
  MA57_INFO_TWO_BY_TWO = 22,
  MA57_INFO_DELAYED = 23,
  MA57_INFO_NEGATIVE = 24,
  MA57_INFO_RANK = 25,
  MA57_INFO_SIGN_CHANGES = 26,
  MA57_INFO_FIRST_MODIFIED = 27,
  MA57_INFO_REAL_COMPRESSES = 28,
  MA57_INFO_INTEGER_COMPRESSES = 29,
  MA57_INFO_BLOCK_PIVOTS = 31
};

/* RINFO positions (1-based). */
enum {
  MA57_RINFO_FORECAST_ASSEMBLY = 1,
  MA57_RINFO_FORECAST_ELIMINATION = 2,
  MA57_RINFO_ASSEMBLY_OPS = 3,
  MA57_RINFO_ELIMINATION_OPS = 4,
  MA57_RINFO_BLAS_EXTRA_OPS = 5,
  MA57_RINFO_MAX_DIAGONAL_ADDED = 14,
  MA57_RINFO_SMALLEST_MODIFIED_PIVOT = 15
};

/* Pivoting modes, the values of ICNTL(7). */
enum {
  MA57_PIVOT_THRESHOLD = 1, /* threshold partial pivoting, 1x1 and 2x2 pivots, delays */
  MA57_PIVOT_ONE_SIGN = 2,  /* no pivoting; every pivot of the first one's sign (else -6) */
  MA57_PIVOT_ANY_SIGN = 3,  /* no pivoting; changes of sign counted in INFO(26) */
  MA57_PIVOT_MODIFIED = 4   /* no pivoting; diagonal raised so that every pivot is positive */
};

/* What MA57CD solves, the values of JOB. */
enum {
  MA57_JOB_FULL = 1,     /* A X = B (any JOB <= 1) */
  MA57_JOB_FORWARD = 2,  /* P L Y = B */
  MA57_JOB_DIAGONAL = 3, /* D Y = B */
  MA57_JOB_BACKWARD = 4  /* L^T P^T X = B (any JOB >= 4) */
};

/* Status codes in INFO(1). */
enum {
  MA57_SUCCESS = 0,
  MA57_WARN_OUT_OF_RANGE = 1,     /* analysis: some entries out of range, ignored */
  MA57_WARN_DUPLICATES = 2,       /* analysis: some off-diagonal duplicates */
  MA57_WARN_RANGE_AND_DUPLICATES = 3,
  MA57_WARN_SINGULAR = 4,         /* factorization: rank < N */
  MA57_SUSPENDED_REAL = 10,       /* factorization suspended, FACT too small */
  MA57_SUSPENDED_INTEGER = 11,    /* factorization suspended, IFACT too small */
  MA57_ERR_N = -1,                /* N < 1; INFO(2) = N */
  MA57_ERR_NE = -2,               /* NE < 0; INFO(2) = NE */
  MA57_ERR_LFACT = -3,            /* FACT too small */
  MA57_ERR_LIFACT = -4,           /* IFACT too small */
  MA57_ERR_ZERO_PIVOT = -5,       /* zero pivot forbidden by the pivoting mode */
  MA57_ERR_SIGN_CHANGE = -6,      /* change of pivot sign forbidden by the mode */
  MA57_ERR_PERMUTATION = -9,      /* supplied KEEP(1..N) not a permutation; INFO(2) = i */
  MA57_ERR_ICNTL7 = -10,          /* ICNTL(7) not in 1..4 */
  MA57_ERR_LRHS = -11,            /* LRHS < N */
  MA57_ERR_LKEEP = -15,           /* LKEEP below 5N + NE + max(N, NE) + 42 */
  MA57_ERR_NRHS = -16,            /* NRHS < 1 */
  MA57_ERR_LW = -17,              /* LW < N*NRHS */
  /* Checks of what one phase hands the next. A phase that fails one of them
   * has written nothing but INFO(1) and INFO(2); each comes after every check
   * listed above, so that input those checks refuse keeps its code. */
  MA57_ERR_VALUE = -7,            /* MA57BD: A(k) is NaN or infinite for an entry the
                                     analysis kept (in range); INFO(2) = k, the first */
  MA57_ERR_FACTORS_NOT_FINITE = -8, /* MA57BD: a factor is NaN or infinite (a pivot whose
                                     reciprocal overflows, a multiplier or an update that
                                     overflows); INFO(2) = pivot step of the first such
                                     value. FACT and IFACT hold no factors */
  MA57_ERR_NOT_ANALYSED = -12,    /* MA57BD: KEEP does not hold a successful analysis of
                                     order N with NE entries (none, a failed one, another
                                     N or NE), or its pivot order KEEP(1..N) or its map
                                     was changed since; INFO(2) = position of the first
                                     faulty word of KEEP */
  MA57_ERR_RESUME = -13,          /* MA57BD: KEEP(N+3) > 0 asks to resume a suspended
                                     factorization, but none is suspended for that reason
                                     (1 real, 2 integer space) with this ICNTL(7) (INFO(2) =
                                     KEEP(N+3)), or LFACT or LIFACT is shorter than the
                                     suspended call's (INFO(2) = LFACT or LIFACT) */
  MA57_ERR_FACTORS = -18          /* MA57CD: FACT and IFACT do not hold the factors of a
                                     successful factorization of order N that fit in
                                     LFACT and LIFACT (never factorized, the factorization
                                     failed or is suspended, another N); INFO(2) =
                                     position of the first missing or faulty word of IFACT
                                     (3 when the blocks do not pivot each variable once) */
};

/* Fills CNTL(1..5) and ICNTL(1..20) with the default controls:
 *   ICNTL = 6, 6, 6, -1, 2, 0, 1, 0, 1, 0, 16, 1, 10, 100, 0, 0, 0, 0, 0, 0
 *   CNTL  = 0.01 (single precision, widened), 0, 0.5, 0, 0
 * Prints nothing and cannot fail. */
PEMRIC_API void MA57SetDefaults(double* CNTL, int32_t* ICNTL);

/* Analysis of the pattern of a symmetric matrix of order N given as NE
 * coordinate entries (IRN(k), JCN(k)), either or both triangles.
 *   N          in   order, >= 1
 *   NE         in   number of entries, >= 0
 *   IRN, JCN   in   (NE) row and column indices; entries outside 1..N are
 *                   ignored (and set to 0 when ICNTL(6) = 1)
 *   LKEEP      in   length of KEEP, >= 5N + NE + max(N, NE) + 42
 *   KEEP       in/out (LKEEP) analysis result; on input KEEP(1..N) holds the
 *                   pivot positions when ICNTL(6) = 1
 *   IWRK       work (5N)
 *   ICNTL      in   (20) controls
 *   INFO       out  (40) information; RINFO out (20). */
PEMRIC_API void MA57AD(const int32_t* N,
                       const int32_t* NE,
                       int32_t* IRN,
                       int32_t* JCN,
                       const int32_t* LKEEP,
                       int32_t* KEEP,
                       int32_t* IWRK,
                       const int32_t* ICNTL,
                       int32_t* INFO,
                       double* RINFO);

/* Numerical factorization of a matrix whose pattern MA57AD analysed.
 *   A       in   (NE) values, in the order of the analysed index pairs
 *   FACT    out  (LFACT) real factors;  IFACT out (LIFACT) integer factors
 *   KEEP    in/out (LKEEP) analysis result, restored on return
 *   PIVSEQ  work (N)
 * Controls in ICNTL(20), CNTL(5); information in INFO(40), RINFO(20).
 * With OpenBLAS running several threads, fronts of order 256 and more share
 * their work outside BLAS with as many helper threads, started at the first
 * such front and kept for the process; the factors are bitwise the same for
 * any thread count. One factorization uses them at a time; another meanwhile
 * works alone. With one BLAS thread, or another BLAS, it starts none. */
PEMRIC_API void MA57BD(const int32_t* N,
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
                       double* RINFO);

/* The factors that MA57BD leaves (INFO(1) = 0 or 4) are the only data that
 * pass to MA57CD, in this format. b block pivots, each of c columns and
 * p <= c pivots:
 *   IFACT(1)    r + 1, where FACT(1..r) holds the blocks (r = INFO(14))
 *   IFACT(2)    r + t, t the number of 2x2 pivots
 *   IFACT(3)    b
 *   IFACT(4..)  a record per block: c, p, then c variables (from 1); the
 *               first p are the pivots in order, both members of a 2x2
 *               pivot negated
 *   FACT        per block: the p x p pivot block by rows, upper triangle
 *               (row i: the diagonal, then (i, i+1..p)), whose diagonal holds
 *               D^-1 (1/d for a 1x1 pivot; for a 2x2 pivot [a b; b c] with
 *               delta = ac - b^2, c/delta and a/delta) and whose other
 *               positions hold the multipliers; then the p x (c - p)
 *               rectangle of negated multipliers; after the last block, at
 *               FACT(r+1..r+t), the off-diagonal -b/delta of each 2x2
 *               pivot's D^-1, in their order.
 * A singular factorization (INFO(1) = 4) ends with a 1x1 block holding 1.0
 * for each variable never eliminated. */

/* Solution with the factors of MA57BD, NRHS right-hand sides in RHS(LRHS, NRHS)
 * overwritten by the solutions. JOB <= 1 full solve, 2 forward, 3 diagonal,
 * >= 4 backward stage. W(LW) and IWBLK(N) are workspace. INFO(1..2) are
 * written only on error. */
PEMRIC_API void MA57CD(const int32_t* JOB,
                       const int32_t* N,
                       const double* FACT,
                       const int32_t* LFACT,
                       const int32_t* IFACT,
                       const int32_t* LIFACT,
                       const int32_t* NRHS,
                       double* RHS,
                       const int32_t* LRHS,
                       double* W,
                       const int32_t* LW,
                       int32_t* IWBLK,
                       const int32_t* ICNTL,
                       int32_t* INFO);

/* A short text for a status of the MA57 phases, INFO(1) (the codes above),
 * such as "N < 1". A value no phase returns gives "unknown MA57 status". The
 * text is constant, never null; STATUS alone is passed by value. */
PEMRIC_API const char* MA57StatusText(int32_t STATUS);

#ifdef __cplusplus
}
#endif

#endif
