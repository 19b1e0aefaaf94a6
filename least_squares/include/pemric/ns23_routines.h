// The internal routines of the sparse least-squares family, for the family
// itself and for tests. Arrays are indexed from 1 in the documented positions;
// scalars are passed by value, arrays by pointer to their first element.
#pragma once

#include <cstdint>

#include "pemric/ns23.h"

namespace pemric {

// The arrays of the difference Jacobian (NS23DiffJacobian): their lengths,
// and the positions (1-based) that the routine reads or writes.
enum : int {
  kIcntldLength = 5,
  kCntldLength = 7,
  kInfodLength = 3,
  kIsaveLength = 20,
  kRsaveLength = 10
};
// ICNTLD: only the scheme is read.
enum : int {
  kIcntldUnread = 1,  // not read; 6 by default. ICNTLD(3..5) are 0 and not read
  kIcntldScheme = 2   // 1: forward differences, steps unchanged; other: central, steps refined
};
// CNTLD(7) is not read.
enum : int {
  kCntldLowRatio = 1,       // lower end of the wanted ratio of truncation to rounding error
  kCntldTargetRatio = 2,    // the ratio a refined step aims at
  kCntldHighRatio = 3,      // upper end of the wanted ratio
  kCntldVariableError = 4,  // relative error of a variable: least step relative to |x_j|
  kCntldStepFloor = 5,      // least step relative to the largest step
  kCntldResidualError = 6   // relative error of a residual, in the rounding estimate
};
// INFOD (all cleared at a start); INFOD(2) is not set otherwise.
enum : int {
  kInfodStatus = 1,  // 0
  kInfodGroups = 3   // number of column groups
};
// ISAVE: what the routine keeps between its calls. RSAVE is not used.
enum : int {
  kIsavePass = 1,   // refinement pass under way, from 1
  kIsaveGroup = 2,  // group whose evaluation was asked for
  kIsaveGroups = 3  // number of groups
};

// Defaults of the difference-Jacobian controls: ICNTLD(1..5) = (6, 2, 0, 0, 0),
// CNTLD(1..7) = (10, 100, 1000, eps, eps, eps/2, 0); clears ISAVE(1..20) and
// RSAVE(1..10).
void NS23DiffSetDefaults(int32_t* icntld, double* cntld, int32_t* isave, double* rsave);

// Y(1..M) += V X(1..N) when the lowest bit of trans is 0, else
// Y(1..N) += V^T X(1..M). V is column-compressed (val, rowind, colptr(N+1));
// repeated positions are summed. Column pointers are read through their
// absolute values. M is not read.
void NS23SparseMatVec(int32_t m,
                      int32_t n,
                      const double* val,
                      const double* x,
                      double* y,
                      int32_t trans,
                      const int32_t* rowind,
                      const int32_t* colptr);

// The arrays of one difference Jacobian (NS23DiffJacobian), by their first
// cell, indexed from 1 in their contents.
struct DiffProblem {
  int32_t m = 0, n = 0;
  const int32_t* irn = nullptr;   // pattern, column by column
  int32_t* ip = nullptr;          // (N+1) entries negated as marks while the routine
                                  // runs and made positive when it finishes
  double* h = nullptr;            // (N) difference steps, in/out (positive on return)
  double* x = nullptr;            // (N) the point
  double* f = nullptr;            // (M) the residuals the caller evaluated at x
  const double* hmaxv = nullptr;  // hmaxv(1) > 0: hmaxv(j) per variable; else
                                  // -hmaxv(1) for all
  double* fjac = nullptr;         // (NNZ) the estimate, in the order of irn
  int32_t* iwd = nullptr;         // (2N+1) groups; iwd(1) = 0 asks for them to be formed
  double* wd = nullptr;           // (M+2N) base residuals, base point, error ratios
};

// Its controls, its information and what it keeps between calls.
struct DiffState {
  const int32_t* icntld = nullptr;  // ICNTLD(5)
  const double* cntld = nullptr;    // CNTLD(7)
  int32_t* infod = nullptr;         // INFOD(3)
  int32_t* isave = nullptr;         // ISAVE(20)
  double* rsave = nullptr;          // RSAVE(10)
};

// Grouped finite-difference Jacobian by reverse communication (Curtis, Powell
// and Reid grouping; central differences with the step refinement of
// Stewart / Gill-Murray when icntld(2) != 1).
//   dflag   1 to start; returns 2 or 3 (evaluate f at x, call again)
//           or 0 (finished: x and f are the base point again)
void NS23DiffJacobian(const DiffProblem& d, int32_t* dflag, const DiffState& state);

}  // namespace pemric
