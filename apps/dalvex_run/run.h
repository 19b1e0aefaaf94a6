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

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "console.h"
#include "output_file.h"
#include "problems/problem.h"
#include "solver_host.h"

namespace dalvex_run {

// The history file: one CSV row per evaluation, written and flushed as the
// evaluation arrives, so that a reader following the file sees it at once
// and an early end loses none.  The last row names the test that ended the
// solve: a file that can seek gets its last row written again with it; a
// pipe or a device gets each row once the next one arrives instead.
// Nothing here allocates once constructed: rows are added from inside the
// solver's calls.
class History {
 public:
  History(OutputFile& out, double tol, double sac);
  void Add(int64_t iter, double sum_squares, double largest, double seconds);
  // Writes the last row again (or for the first time), naming what ended
  // the solve.
  void Finish(const std::string& stopped_by);
  bool empty() const { return !have_row_; }

 private:
  void Emit(const char* stopped_by);

  OutputFile& out_;
  double tol_, sac_;
  bool seekable_ = false;
  bool have_row_ = false;   // a row has been added
  bool pending_ = false;    // (cannot seek) the last row is not written yet
  std::fpos_t last_row_{};  // (can seek) where the last row starts
  char row_[160] = "";      // the last row, without its last two fields
  double seconds_ = 0.0;
};

// What is known of a solve while it runs, kept by the solve's own thread and
// read by the heartbeat's thread and by an early end on another thread.
// The mutex also guards the history file.
class Tally {
 public:
  using Clock = std::chrono::steady_clock;
  struct Figures {
    bool started = false;       // the first Solve call has begun
    int64_t calls = 0;          // Solve calls begun
    bool in_call = false;       // one is running
    double seconds = 0.0;       // since the first call began
    double call_seconds = 0.0;  // since the running call began
    int64_t evaluations = 0;    // residual evaluations so far
    double sum_squares = 0.0;   // of the latest evaluation (NaN when a residual is)
    double largest = 0.0;       // its largest |F|
    bool differencing = false;  // the coming evaluations difference the Jacobian
  };

  std::mutex& mutex() { return mutex_; }
  // Figures as of now.
  Figures Read();

  // The solve's side; Evaluated is called with the mutex held.
  void CallBegins();
  void CallEnds(bool differencing_next);
  void Evaluated(double sum_squares, double largest);
  Clock::time_point start() const { return start_; }

 private:
  std::mutex mutex_;
  Figures figures_;
  Clock::time_point start_, call_start_;
};

struct RunSettings {
  int64_t max_calls = 1000000;     // Solve calls before the tool gives up
  Console* live = nullptr;         // where a live progress line is drawn, if anywhere
  History* history = nullptr;
  Tally* tally = nullptr;          // kept up to date when given
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

// "Iter k, sum of squares ..., largest |F| ..." for the progress lines.
std::string ProgressFigures(int64_t iter, double sum_squares, double largest, bool differencing);

// `stage` names what is being built, for an out-of-memory report.
RunOutcome Run(SolverHost& host,
               std::shared_ptr<const problems::Problem> problem,
               Console& console,
               const RunSettings& settings,
               const char** stage);

}  // namespace dalvex_run

#endif  // DALVEX_RUN_RUN_H
