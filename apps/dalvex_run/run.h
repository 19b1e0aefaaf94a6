// One solve of one problem through the plug-in, as a host performs it:
// create the solver on the problem's ESO, call Solve until it stops asking to
// be called again, and watch the residuals as they are evaluated.
//
// Counting: evaluation k (k = 0, 1, ...) is the k-th residual evaluation
// after the one at the starting point, which is evaluation 0.  The solver's
// own "(Obj) Iter k" line reports the same evaluation, and so do the progress
// line and the history's "iter" column.  Evaluations made for a difference
// Jacobian count like any other.
#ifndef DALVEX_RUN_RUN_H
#define DALVEX_RUN_RUN_H

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "console.h"
#include "output_file.h"
#include "problems/problem.h"
#include "solver_host.h"

namespace dalvex_run {

// The history file: one CSV row per evaluation.  A row is written when the
// next evaluation arrives, so that the last one can name the test that ended
// the solve.  Nothing here allocates once constructed: rows are added from
// inside the solver's calls.
class History {
 public:
  History(OutputFile& out, double tol, double sac);
  void Add(int64_t iter, double sum_squares, double largest, double seconds);
  // Writes the last row, naming what ended the solve.
  void Finish(const std::string& stopped_by);

 private:
  void Flush(const char* stopped_by);

  OutputFile& out_;
  double tol_, sac_;
  bool pending_ = false;
  char row_[160] = "";  // the pending row, without its last two fields
  double seconds_ = 0.0;
};

struct RunSettings {
  int64_t max_calls = 1000000;     // Solve calls before the tool gives up
  Console* live = nullptr;         // where a live progress line is drawn, if anywhere
  std::FILE* heartbeat = nullptr;  // where a progress line is printed now and then, if anywhere
  double heartbeat_seconds = 5.0;  // ... this often
  History* history = nullptr;
  bool differencing = false;       // Hmax > 0: the solver differences the Jacobian itself
};

struct RunOutcome {
  bool created = false;             // CreateNLASystem succeeded
  int32_t result = 0;               // the last Solve result (CreateNLASystem's when not created)
  std::optional<int32_t> status;    // GetInfo "Status" after the last call
  int64_t calls = 0;                // Solve calls made
  int64_t evaluations = 0;          // residual evaluations the ESO answered
  bool call_limit = false;          // stopped by max_calls while Solve still said 1
  double seconds = 0.0;             // wall time of the Solve calls, of which:
  double evaluation_seconds = 0.0;  //   in the problem's residuals and Jacobian
  double tool_seconds = 0.0;        //   in this tool's progress and history
  // The point the solve came to: the last one evaluated, which with an
  // analytic Jacobian is the one the method stopped at, or the one whose
  // residuals passed the residual test.  A differencing solver
  // may end on a perturbed point or a trial it did not take, so then, unless
  // the residual test ended the solve, it is the evaluated point with the
  // least sum of squares outside difference steps.
  std::vector<double> x;
  std::string message;              // the solver's message of its last call
};

// `stage` names what is being built, for an out-of-memory report.
RunOutcome Run(SolverHost& host,
               std::shared_ptr<const problems::Problem> problem,
               Console& console,
               const RunSettings& settings,
               const char** stage);

}  // namespace dalvex_run

#endif  // DALVEX_RUN_RUN_H
