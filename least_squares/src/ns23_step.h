// The linear algebra of NS23AD: the analysis of the patterns once per
// problem, and at each step the shifted normal matrix formed and factorized
// and the step solved for, on the sections of IW and W that the analysis
// placed (slots in ns23_layout.h).
#pragma once

#include <cstdint>

#include "ns23_pattern.h"
#include "pemric/one_based.h"

namespace pemric::ns23 {

// The linear-algebra sections of the caller's workspaces: ILA = IW(1..liw)
// and LA = W(1..lw).
struct Workspace {
  int32_t liw = 0;
  int32_t* iw = nullptr;
  int32_t lw = 0;
  double* w = nullptr;
};

// The sections of IW and W that the step uses, from the analysis slots, and
// the sparse solver's controls and information at their places in KEEP and
// RKEEP.
struct StepArrays {
  int32_t m, n;
  OneBased<const int32_t> irn, ip, airn, aip;
  OneBased<int32_t> rowptr;  // row starts between the passes; cursors within one
  OneBased<const int32_t> rowcol, nptr, nrow;
  int32_t nzr, ne;
  int32_t* makeep;
  int32_t lkeep_ma57;
  int32_t* mawork;
  int32_t* ifact;
  int32_t lifact;
  OneBased<double> nval;
  double* fact;
  int32_t lfact;
  OneBased<double> rowval, acc;
  const int32_t* ma_icntl;  // MA57 ICNTL(20)
  const double* ma_cntl;    // MA57 CNTL(5)
  int32_t* ma_info;         // MA57 INFO(40)
  double* ma_rinfo;         // MA57 RINFO(20)
};

// The vectors of one step.
struct StepVectors {
  const double* fjac = nullptr;  // in: J's values, in the order of IRN
  const double* aval = nullptr;  // in: A's values, in the order of AIRN
  const double* r = nullptr;     // in: residuals at the current point (M)
  double* g = nullptr;           // out: B^T r (N), then work
  double* s = nullptr;           // out: the step (N)
};

// What the step is measured by (g = B^T r, D = B^T B + delta I).
struct StepMeasures {
  double pred = 0.0;   // predicted reduction, lamda s^T s - s^T g
  double ssq = 0.0;    // s^T s
  double slope = 0.0;  // s^T g
  double curv = 0.0;   // s^T D^-1 (-s)
};

// The monitoring of a step: state > 1 prints the norm of B^T r, state > 2
// the vector too, on unit when unit > 0 (state as KEEP's print state).
struct StepPrinting {
  int32_t unit = 0;
  int32_t state = 1;
};

// Pattern of B = J + A row by row, the lower triangle of B^T B and its MA57
// analysis, all in iw(1..liw). Returns 0 on success, NS23_ERR_LIW when liw
// is short (KEEP(2) then holds the length needed at the stage that failed).
int32_t NS23Analyse(const Patterns& b,
                    int32_t liw,
                    int32_t* iw,
                    OneBased<int32_t> keep,
                    OneBased<double> rkeep);

// The step's arrays in the linear-algebra sections `la`, once the analysis
// has recorded their starts in KEEP.
StepArrays Carve(const Patterns& b,
                 const Workspace& la,
                 OneBased<int32_t> keep,
                 OneBased<double> rkeep);

// Forms B^T B + delta I in the normal values and factorizes it, doubling the
// relative shift after each failure (delta at least lamda). Returns 0, or
// NS23_ERR_FACTORIZATION after ten failures, NS23_ERR_NOT_FINITE when the
// shifted matrix is not finite (it overflowed).
int32_t NS23Factorize(const StepArrays& a, const double* fjac, const double* aval, double lamda);

// The Marquardt step s = -(B^T B + delta I)^-1 B^T r from the factors.
StepMeasures NS23SolveStep(const StepArrays& a,
                           const StepVectors& v,
                           double lamda,
                           const StepPrinting& printing);

}  // namespace pemric::ns23
