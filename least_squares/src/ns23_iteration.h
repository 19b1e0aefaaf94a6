// The phases of NS23AD and the view of its arguments that they share.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "ns23_layout.h"
#include "ns23_step.h"
#include "pemric/ns23_routines.h"

namespace pemric::ns23 {

// What runs next within one call; kReturn hands control back to the caller
// with IFLAG already set.
enum class Phase {
  kReturn,
  kEndIteration,
  kCurrentEvaluated,
  kJacobianDecision,
  kDifferences,
  kMonitor,
  kLineSearchTrial,
  kLineSearchEvaluated,
  kNewStep,
  kTrialEvaluated,
};

// The arguments of one call, scalars read once, arrays by their first cell.
// NS23AD fills it field by field, by name.
struct Problem {
  int32_t m = 0, n = 0;
  double sac = 0.0, stpmin = 0.0;
  int32_t maxfun = 0, iprint = 0;
  const int32_t* irn = nullptr;
  int32_t* ip = nullptr;
  const double* aval = nullptr;
  const int32_t* airn = nullptr;
  const int32_t* aip = nullptr;
  double hmax = 0.0;        // HMAX when > 0 (differences); 0 for any other value
  double hmax_given = 0.0;  // HMAX as passed, for the header record
  int32_t liw = 0;
  int32_t* iw = nullptr;
  int32_t lw = 0;
  double* w = nullptr;
  double* x = nullptr;
  double* f = nullptr;
  double* fjac = nullptr;
  int32_t* iflag = nullptr;
  OneBased<const int32_t> icntl;
  OneBased<const double> cntl;
  OneBased<int32_t> keep;
  OneBased<double> rkeep;
  OneBased<int32_t> lkeep;
  int32_t* error_value = nullptr;  // INFO(2) of the errors that name a position or an argument

  // Sections of W whose start positions the start of a problem recorded.
  double* section(Keep slot) const { return w + (int64_t{keep(slot)} - 1); }
  int32_t stream() const { return icntl(NS23_ICNTL_STREAM); }  // <= 0: silent
  double* rt() const { return section(kRt); }  // r at the trial (M); row sums; direction
  double* sx() const { return section(kSx); }  // step, previous point or other point (N)
  double* df() const { return section(kDf); }  // F at the trial, then a change of F (M)
  double* fc() const { return section(kFc); }  // F at the current point (M)
  double* rc() const { return section(kRc); }  // r at the current point (M)
  double* h() const { return section(kH); }    // difference steps (N)
  int64_t nnz() const { return int64_t{std::abs(ip[n])} - 1; }
  Patterns patterns() const {
    Patterns b;
    b.m = m;
    b.n = n;
    b.irn = irn;
    b.ip = ip;
    b.airn = airn;
    b.aip = aip;
    return b;
  }
  // The linear-algebra sections ILA and LA that the start of a problem divided.
  Workspace linear_algebra() const {
    Workspace la;
    la.liw = keep(kLiwa);
    la.iw = iw;
    la.lw = keep(kLwa);
    la.w = w;
    return la;
  }
};

Phase FinalReturn(const Problem& p, int32_t flag);
Phase NotFinite(const Problem& p, const char* what);
Phase AskFor(const Problem& p, int32_t flag);
Phase Start(const Problem& p);
Phase EndIteration(const Problem& p);
Phase CurrentEvaluated(const Problem& p);
Phase JacobianDecision(const Problem& p);
Phase Differences(const Problem& p);
Phase Monitor(const Problem& p);
Phase LineSearchTrial(const Problem& p);
Phase LineSearchEvaluated(const Problem& p);
Phase NewStep(const Problem& p);
Phase TrialEvaluated(const Problem& p);

}  // namespace pemric::ns23
