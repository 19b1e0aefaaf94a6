// What the solver tells the host besides the messages of single steps: the
// per-iteration reports that PrintLevel selects, and the dumps of the
// numeric routines' control and information arrays on failures it cannot
// explain. Every line is one message through the formatter.
#pragma once

#include <cstdint>

#include "message_formatter.h"
#include "problem_image.h"

namespace dalvex {

// The reports whose PrintLevel bits are set, in bit order: the objective
// line (1), the variable values (2), the residual values (4) and the
// Jacobian (8). `count` is the evaluation count the objective line shows.
void PrintIterationReports(MessageFormatter& formatter,
                           const ProblemImage& problem,
                           int32_t print_level,
                           int32_t count);

// The least-squares routine's ICNTL, CNTL, INFO and RINFO, five entries each.
void PrintLeastSquaresDump(MessageFormatter& formatter,
                           const int32_t* icntl,
                           const double* cntl,
                           const int32_t* info,
                           const double* rinfo);

// The sparse solver's controls and information as the least-squares routine
// keeps them inside its KEEP and RKEEP, each shown with its own positions.
void PrintSparseSolverDump(MessageFormatter& formatter, const int32_t* keep, const double* rkeep);

}  // namespace dalvex
