// One solve of one problem through the plug-in, as a host performs it:
// create the solver on the problem's ESO, call Solve until it stops asking to
// be called again, and watch the residuals as they are evaluated.
#ifndef DALVEX_RUN_RUN_H
#define DALVEX_RUN_RUN_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "console.h"
#include "problems/problem.h"
#include "solver_host.h"

namespace dalvex_run {

struct RunLimits {
  int64_t max_calls = 1000000;  // Solve calls before the tool gives up
};

struct RunOutcome {
  bool created = false;        // CreateNLASystem succeeded
  int32_t result = 0;          // the last Solve result
  int32_t iterations = 0;      // as Solve last reported them
  int64_t calls = 0;           // Solve calls made
  int64_t evaluations = 0;     // residual evaluations the ESO answered
  bool call_limit = false;     // stopped by max_calls while Solve still said 1
  double seconds = 0.0;        // wall time of the Solve calls
  std::vector<double> x;       // the point the ESO holds at the end
};

RunOutcome Run(SolverHost& host,
               std::shared_ptr<const problems::Problem> problem,
               Console& console,
               const RunLimits& limits);

}  // namespace dalvex_run

#endif  // DALVEX_RUN_RUN_H
