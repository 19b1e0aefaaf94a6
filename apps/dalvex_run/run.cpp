#include "run.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>

#include "problems/host_problem.h"
#include "vorn_host/reference_eso.h"

namespace dalvex_run {
namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// What the tool sees of the evaluations, kept up to date from inside the
// solver's calls.  All storage is sized before the solve: nothing here may
// throw while the solver is on the stack.
struct Watch {
  int32_t m = 0, n = 0;
  Clock::time_point start;
  int64_t evaluations = 0;
  double sum_squares = 0.0;  // of the latest evaluation; NaN when a residual is NaN
  double largest = 0.0;      // likewise
  double evaluation_seconds = 0.0;
  double tool_seconds = 0.0;
  bool differencing_next = false;  // the coming evaluation is a difference step
  bool have_best = false;
  double best_sum = std::numeric_limits<double>::infinity();
  std::vector<double> best;  // n values
  History* history = nullptr;
  Tally* tally = nullptr;
};

// Residual statistics of one evaluation, then the bookkeeping: the best point
// outside difference steps (ties go to the later point, as the method accepts
// them) and the history row.
void Observe(Watch& w, const double* x, const double* f) {
  double s = 0.0, big = 0.0;
  for (int32_t i = 0; i < w.m; ++i) {
    s += f[i] * f[i];
    if (std::isnan(f[i]) || std::fabs(f[i]) > big) big = std::fabs(f[i]);
    if (std::isnan(big)) break;
  }
  w.sum_squares = std::isnan(big) ? big : s;
  w.largest = big;
  const int64_t iter = w.evaluations++;
  if (!w.differencing_next && std::isfinite(w.sum_squares) && w.sum_squares <= w.best_sum) {
    w.best_sum = w.sum_squares;
    std::copy(x, x + w.n, w.best.begin());
    w.have_best = true;
  }
  std::unique_lock<std::mutex> lock;
  if (w.tally) {
    lock = std::unique_lock<std::mutex>(w.tally->mutex());
    w.tally->Evaluated(w.sum_squares, w.largest);
  }
  if (w.history) w.history->Add(iter, w.sum_squares, w.largest, Seconds(Clock::now() - w.start));
}

// The problem as an ESO whose evaluations are timed and watched.
vorn_host::ReferenceEso* WatchedEso(std::shared_ptr<const problems::Problem> problem, Watch& w) {
  vorn_host::ProblemDescription d = problems::DescribeForHost(std::move(problem));
  auto residuals = std::move(d.residuals);
  d.residuals = [&w, residuals](const double* x, double* f) {
    const auto t0 = Clock::now();
    residuals(x, f);
    const auto t1 = Clock::now();
    Observe(w, x, f);
    w.evaluation_seconds += Seconds(t1 - t0);
    w.tool_seconds += Seconds(Clock::now() - t1);
  };
  auto jacobian = std::move(d.jacobian);
  d.jacobian = [&w, jacobian](const double* x, double* values) {
    const auto t0 = Clock::now();
    jacobian(x, values);
    w.evaluation_seconds += Seconds(Clock::now() - t0);
  };
  return vorn_host::ReferenceEso::Create(std::move(d));
}

// The method's last flag, through the extension face.
std::optional<int32_t> Status(VornNumericSolverExtension* ext) {
  int32_t flag = 0;
  if (ext == nullptr || ext->GetInfo("Status", &flag) != kVornOk) return std::nullopt;
  return flag;
}

std::string ProgressLine(const Watch& w, bool in_jacobian) {
  return "  " + ProgressFigures(w.evaluations - 1, w.sum_squares, w.largest, in_jacobian);
}

// The live line at most 20 times a second (a terminal is slower than a small
// solve); while one call runs long, the heartbeat's thread redraws it.
struct Progress {
  const RunSettings& settings;
  Clock::time_point drawn;

  void Show(const Watch& w, bool in_jacobian, Clock::time_point now) {
    if (settings.live && now - drawn > std::chrono::milliseconds(50)) {
      settings.live->Progress(ProgressLine(w, in_jacobian));
      drawn = now;
    }
  }
};

// Calls Solve until it stops asking to be called again (or the call limit).
void SolveLoop(VornNumericNLASystem* solver,
               VornNumericSolverExtension* ext,
               Console& console,
               const RunSettings& settings,
               Watch& w,
               RunOutcome& out) {
  Progress progress{settings, w.start};
  int32_t start = 0, count = 0;
  do {
    console.MarkCall();
    if (settings.tally) settings.tally->CallBegins();
    out.result = solver->Solve(start, &count);
    start = 1;
    ++out.calls;
    out.status = Status(ext);
    w.differencing_next = out.status && *out.status == 3;
    if (settings.tally) settings.tally->CallEnds(w.differencing_next);
    if (out.result == kVornCallAgain) {
      const auto now = Clock::now();
      progress.Show(w, w.differencing_next, now);
      w.tool_seconds += Seconds(Clock::now() - now);
    }
  } while (out.result == kVornCallAgain && out.calls < settings.max_calls);
  out.call_limit = out.result == kVornCallAgain;
  console.EndLine();
  if (settings.live && settings.live != &console) settings.live->EndLine();
}

}  // namespace

std::string ProgressFigures(int64_t iter, double sum_squares, double largest, bool differencing) {
  char buf[160];
  std::snprintf(buf, sizeof buf, "Iter %lld, sum of squares %.5e, largest |F| %.3e%s",
                static_cast<long long>(iter), sum_squares, largest, differencing ? " (differencing)" : "");
  return buf;
}

History::History(OutputFile& out, double tol, double sac) : out_(out), tol_(tol), sac_(sac) {
  out_.Write("iter,sum_of_squares,largest_abs_residual,tests_met,stopped_by,elapsed_seconds\r\n");
  std::fpos_t at;
  seekable_ = out_.Tell(&at);
  out_.Flush();
}

void History::Add(int64_t iter, double sum_squares, double largest, double seconds) {
  if (pending_) Emit("");
  const bool tol = largest < tol_, sac = sum_squares <= sac_;
  std::snprintf(row_, sizeof row_, "%lld,%.17g,%.17g,%s", static_cast<long long>(iter),
                sum_squares, largest, tol && sac ? "Tol Sac" : tol ? "Tol" : sac ? "Sac" : "");
  seconds_ = seconds;
  have_row_ = true;
  if (seekable_ && out_.Tell(&last_row_)) {
    Emit("");
  } else {
    pending_ = true;
  }
  out_.Flush();
}

void History::Finish(const std::string& stopped_by) {
  if (!have_row_) return;
  // The row written last is written again, longer by the name: nothing of
  // the old one is left after it.
  if (!pending_ && !out_.Seek(last_row_)) return;
  Emit(stopped_by.c_str());
  pending_ = false;
  out_.Flush();
}

void History::Emit(const char* stopped_by) {
  char tail[64];
  std::snprintf(tail, sizeof tail, ",%s,%.6f\r\n", stopped_by, seconds_);
  out_.Write(row_);
  out_.Write(tail);
  pending_ = false;
}

Tally::Figures Tally::Read() {
  const std::lock_guard<std::mutex> lock(mutex_);
  Figures f = figures_;
  if (f.started) {
    const auto now = Clock::now();
    f.seconds = Seconds(now - start_);
    if (f.in_call) f.call_seconds = Seconds(now - call_start_);
  }
  return f;
}

void Tally::CallBegins() {
  const auto now = Clock::now();
  const std::lock_guard<std::mutex> lock(mutex_);
  if (!figures_.started) start_ = now;
  figures_.started = true;
  call_start_ = now;
  ++figures_.calls;
  figures_.in_call = true;
}

void Tally::CallEnds(bool differencing_next) {
  const std::lock_guard<std::mutex> lock(mutex_);
  figures_.in_call = false;
  figures_.differencing = differencing_next;
}

void Tally::Evaluated(double sum_squares, double largest) {
  ++figures_.evaluations;
  figures_.sum_squares = sum_squares;
  figures_.largest = largest;
}

RunOutcome Run(SolverHost& host,
               std::shared_ptr<const problems::Problem> problem,
               Console& console,
               const RunSettings& settings,
               const char** stage) {
  RunOutcome out;
  Watch w;
  w.m = problem->NEqs();
  w.n = problem->NVars();
  w.history = settings.history;
  w.tally = settings.tally;
  *stage = "the equation set object";
  w.best.resize(static_cast<size_t>(w.n));
  out.x.resize(static_cast<size_t>(w.n));
  vorn_host::ReferenceEso* eso = WatchedEso(problem, w);

  *stage = "the solver";
  VornNumericNLASystem* solver = nullptr;
  const int32_t created =
      host.factory()->CreateNLASystem(static_cast<VornNumericESO*>(eso), &console, &solver);
  out.created = created == kVornOk && solver != nullptr;
  if (!out.created) {
    out.result = created;
    std::copy(eso->values().begin(), eso->values().end(), out.x.begin());
    eso->Release();
    return out;
  }
  void* face = nullptr;
  auto* ext = solver->QueryInterface(kIID_VornNumericSolverExtension, &face) == kVornOk
                  ? static_cast<VornNumericSolverExtension*>(face)
                  : nullptr;

  w.start = Clock::now();
  SolveLoop(solver, ext, console, settings, w, out);
  out.seconds = Seconds(Clock::now() - w.start);
  out.evaluation_seconds = w.evaluation_seconds;
  out.tool_seconds = w.tool_seconds;
  out.evaluations = eso->evaluations();
  out.message = console.Message();

  // The solver goes first: after a failure for want of memory it may still
  // hold most of the address space.
  if (ext) ext->Release();
  solver->Release();

  const bool residual_test = out.result == kVornOk && out.status && *out.status > 0;
  const auto& last = eso->values();
  const auto& finished = settings.differencing && !residual_test && w.have_best ? w.best : last;
  std::copy(finished.begin(), finished.end(), out.x.begin());
  eso->Release();
  return out;
}

}  // namespace dalvex_run
