/* Sorting, checking and compression of a sparse pattern: coordinate form
 * (one row and column number per entry) to column form (entries grouped by
 * column, with column starts), in place and in time linear in NE + NC + NR.
 * The grouping is a counting sort by buckets, done in place by following
 * permutation cycles with one fill pointer per bucket (Gustavson, "Two fast
 * algorithms for sparse matrices: multiplication and permuted
 * transposition", ACM TOMS 4, 1978).
 *
 * Every argument is passed by reference; arrays are indexed from 1; integers
 * are signed 32-bit; nothing is allocated. */
#ifndef PEMRIC_MC59_H
#define PEMRIC_MC59_H

#include "pemric/common.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Lengths of the control and information arrays. */
enum { MC59_LICNTL = 10, MC59_LINFO = 10 };

/* ICNTL positions (1-based). ICNTL(7..10) are not read. */
enum {
  MC59_ICNTL_NO_CHECK = 1,       /* 0: drop out-of-range entries, merge duplicates;
                                    other: entries taken as valid, no checks */
  MC59_ICNTL_MODE = 2,           /* 0: coordinate in, column out, rows unordered;
                                    1: coordinate in, column out, rows increasing;
                                    2: column form in (IRN, IP), checked and rows ordered */
  MC59_ICNTL_PATTERN_ONLY = 3,   /* 0: values in A move with their entries; other: A untouched */
  MC59_ICNTL_ERROR_STREAM = 4,   /* stream for error messages; none when < 1 */
  MC59_ICNTL_WARNING_STREAM = 5, /* stream for warnings; none when < 1 */
  MC59_ICNTL_SYMMETRIC = 6       /* 0 unsymmetric; +-1, +-2 symmetric (NC = NR), folded into
                                    the lower triangle; negative: duplicate values discarded
                                    instead of summed */
};

/* The modes, the values of ICNTL(2). */
enum {
  MC59_MODE_COORDINATE = 0,         /* coordinate in, column out, rows unordered */
  MC59_MODE_COORDINATE_ORDERED = 1, /* coordinate in, column out, rows increasing */
  MC59_MODE_COLUMNS = 2             /* column form in, checked and rows ordered */
};

/* INFO positions (1-based). INFO(8..10) are set to 0. */
enum {
  MC59_INFO_STATUS = 1,       /* 0 success; < 0 error (below); > 0 warnings, the sum of
                                 1 duplicates, 2 bad row numbers, 4 bad column numbers */
  MC59_INFO_VALUE = 2,        /* the value that goes with an error */
  MC59_INFO_DUPLICATES = 3,   /* duplicate entries removed */
  MC59_INFO_BAD_ROWS = 4,     /* entries with a row number outside 1..NR (removed) */
  MC59_INFO_BAD_COLUMNS = 5,  /* entries with a column number outside 1..NC (removed) */
  MC59_INFO_ENTRIES = 6,      /* entries in the output */
  MC59_INFO_UPPER = 7         /* symmetric column-form input: removed entries above the diagonal */
};

/* INFO(1) warnings: the sum of these bits. */
enum {
  MC59_WARN_DUPLICATES = 1, /* duplicate entries merged (INFO(3)) */
  MC59_WARN_BAD_ROWS = 2,   /* entries with bad row numbers removed (INFO(4)) */
  MC59_WARN_BAD_COLUMNS = 4 /* entries with bad column numbers removed (INFO(5)) */
};

/* INFO(1) error values; INFO(2) holds the value named. */
enum {
  MC59_ERROR_MODE = -1,        /* ICNTL(2) outside 0..2; INFO(2) = ICNTL(2) */
  MC59_ERROR_NC = -2,          /* NC < 1; INFO(2) = NC */
  MC59_ERROR_NR = -3,          /* NR < 1, or symmetric with NR != NC; INFO(2) = NR */
  MC59_ERROR_NE = -4,          /* NE < 1, or NE so large that NE + 1 overflows; INFO(2) = NE */
  MC59_ERROR_LJCN = -5,        /* LJCN too small; INFO(2) = its least value */
  MC59_ERROR_LA = -6,          /* LA too small; INFO(2) = its least value */
  MC59_ERROR_LIP = -7,         /* LIP too small; INFO(2) = its least value */
  MC59_ERROR_LIW = -8,         /* LIW too small; INFO(2) = its least value */
  MC59_ERROR_IP = -9,          /* column-form input: IP(j+1) < IP(j), INFO(2) = j; or IP(j)
                                  outside 1..NE+1, INFO(2) = j */
  MC59_ERROR_ALL_OUT = -10,    /* coordinate input with every entry out of range;
                                  INFO(2) = INFO(4) + INFO(5) */
  MC59_ERROR_SYMMETRY = -11    /* ICNTL(6) outside -2..2; INFO(2) = ICNTL(6) */
};

/* Sorts, checks and compresses a sparse pattern (see the top of this file).
 *   ICNTL(10)  in      controls (MC59_ICNTL_*)
 *   NC         in      number of columns, >= 1
 *   NR         in      number of rows, >= 1 (= NC when symmetric)
 *   NE         in      number of entries supplied, >= 1
 *   IRN(NE)    in/out  row numbers; on exit the rows of the output, column by column
 *   LJCN       in      length of JCN: >= NE for coordinate input, >= 1 for column form
 *   JCN(LJCN)  in/out  column numbers of coordinate input; undefined on exit
 *   LA         in      length of A: >= NE with values, >= 1 for a pattern only
 *   A(LA)      in/out  values, when ICNTL(3) = 0; on exit in the order of IRN
 *   LIP        in      length of IP: >= max(NC, NR) + 1 in mode 1, >= NC + 1 otherwise
 *   IP(LIP)    in/out  on exit IP(j) is the first position of column j and IP(NC+1) one
 *                      past the last; the column starts of column-form input
 *   LIW        in      length of IW, >= max(NC, NR) + 1
 *   IW(LIW)    work    integer workspace
 *   INFO(10)   out     results (MC59_INFO_*) */
PEMRIC_API void MC59AD(const int32_t* ICNTL,
                       const int32_t* NC,
                       const int32_t* NR,
                       const int32_t* NE,
                       int32_t* IRN,
                       const int32_t* LJCN,
                       int32_t* JCN,
                       const int32_t* LA,
                       double* A,
                       const int32_t* LIP,
                       int32_t* IP,
                       const int32_t* LIW,
                       int32_t* IW,
                       int32_t* INFO);

/* A short text for a status of MC59AD, INFO(1): an error above, 0, or a
 * warning, the sum of the MC59_WARN_* bits, whose text names each one. A
 * value MC59AD never returns gives "unknown MC59AD status". The text is
 * constant, never null; STATUS alone is passed by value. */
PEMRIC_API const char* MC59StatusText(int32_t STATUS);

#ifdef __cplusplus
}
#endif

#endif
