// The arguments of the factorization and solution phases, unpacked once at
// their entries (MA57BD and MA57FactorizeTrusted, MA57CD and
// MA57SolveTrusted) from the caller's references, so that the checks, the
// reports and the drivers inside take one struct. Arrays keep their
// documented lengths and are indexed from 1 through the views.
#pragma once

#include <cstdint>

#include "pemric/one_based.h"

namespace pemric::ma57 {

// MA57BD(N, NE, A, FACT, LFACT, IFACT, LIFACT, LKEEP, KEEP, PIVSEQ, ICNTL,
// CNTL, INFO, RINFO).
struct FactorArgs {
  int32_t n = 0;                  // order of the matrix
  int32_t ne = 0;                 // entries given to the analysis
  const double* a = nullptr;      // (ne) values, in the analysis' entry order
  double* fact = nullptr;         // (lfact) factors on exit
  int32_t lfact = 0;
  int32_t* ifact = nullptr;       // (lifact) factors on exit
  int32_t lifact = 0;
  int32_t lkeep = 0;
  OneBased<int32_t> keep;         // (lkeep) the analysis; KEEP(1..N) scratch meanwhile
  OneBased<int32_t> pivseq;       // (n) variables in pivot order
  OneBased<const int32_t> icntl;  // (20) controls
  OneBased<const double> cntl;    // (5) controls
  OneBased<int32_t> info;         // (40) information
  OneBased<double> rinfo;         // (20) information
};

// MA57CD(JOB, N, FACT, LFACT, IFACT, LIFACT, NRHS, RHS, LRHS, W, LW, IWBLK,
// ICNTL, INFO).
struct SolveArgs {
  int32_t job = 0;                // stages to run
  int32_t n = 0;                  // order of the matrix
  const double* fact = nullptr;   // (lfact) factors, read only
  int32_t lfact = 0;
  const int32_t* ifact = nullptr;  // (lifact) factors, read only
  int32_t lifact = 0;
  int32_t nrhs = 0;               // right-hand sides
  double* rhs = nullptr;          // (lrhs, nrhs) right-hand sides, solutions on exit
  int32_t lrhs = 0;
  double* w = nullptr;            // (lw) workspace
  int32_t lw = 0;
  int32_t* iwblk = nullptr;       // (n) workspace: start of each block's record
  OneBased<const int32_t> icntl;  // (20) controls
  int32_t* info = nullptr;        // (40) information, written on error only
};

}  // namespace pemric::ma57
