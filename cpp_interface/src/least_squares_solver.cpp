// LeastSquaresSolver: NS23AD's reverse communication answered from the
// problem's callbacks.
//
// The routine's workspace is sized once, at construction, by
// NS23WorkspaceSize from the analysis of the pattern, so a solve starts
// without a workspace return and before any evaluation. Each Solve starts a
// new problem at the caller's x. Between the routine's returns the solver
// evaluates where it is asked, keeps the best point evaluated (the least
// sum of squares, difference points aside), applies the caller's residual
// tolerance, and calls the iteration callback once per step tried.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "dalvex/error.hpp"
#include "dalvex/least_squares.hpp"
#include "least_squares_data.h"
#include "pemric.h"
#include "routine_status.h"
#include "uninitialized_buffer.h"

namespace dalvex {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double SumOfSquares(Span<const double> f) {
  double s = 0.0;
  for (double v : f) s += v * v;
  return s;
}

double LargestMagnitude(Span<const double> f) {
  double s = 0.0;
  for (double v : f) s = std::isnan(v) || std::isnan(s) ? NAN : std::max(s, std::fabs(v));
  return s;
}

// An empty `a` (no point recorded) counts as the same point.
bool SamePoint(Span<const double> a, const double* b) {
  return a.empty() || std::memcmp(a.data(), b, a.size() * sizeof(double)) == 0;
}

// One of the solver's arrays, placed in its block: a fixed number of cells,
// all of them holding values or none (unset).
class Cells {
 public:
  void Place(double* at, size_t length) { at_ = at, length_ = length, size_ = 0; }
  void assign(const double* first, const double* last) {
    size_ = static_cast<size_t>(last - first);  // at most length_
    std::copy(first, last, at_);
  }
  void assign(Span<const double> v) { assign(v.begin(), v.end()); }
  void Fill(double value) { std::fill_n(at_, size_ = length_, value); }
  void SetAll() { size_ = length_; }  // the caller writes every cell
  void clear() { size_ = 0; }
  bool empty() const { return size_ == 0; }
  double* data() { return at_; }
  double& operator[](size_t i) { return at_[i]; }
  const double* begin() const { return at_; }
  const double* end() const { return at_ + size_; }
  operator Span<double>() { return Span<double>(at_, size_); }  // NOLINT
  operator Span<const double>() const { return Span<const double>(at_, size_); }  // NOLINT

 private:
  double* at_ = nullptr;
  size_t length_ = 0, size_ = 0;
};

std::string Formatted(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Formatted(const char* format, ...) {
  char line[400];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  return line;
}

}  // namespace

const char* to_string(Termination termination) {
  switch (termination) {
    case Termination::kResidualTolerance: return "residual tolerance";
    case Termination::kSumOfSquaresTolerance: return "sum-of-squares tolerance";
    case Termination::kSmallStep: return "small step";
    case Termination::kMaxEvaluations: return "evaluation limit";
    case Termination::kUserStop: return "stopped by the callback";
    case Termination::kFactorizationFailed: return "factorization failed";
    case Termination::kNonFinite: return "non-finite values";
    case Termination::kRoutineFailure: return "routine failure";
  }
  return "unknown";
}

std::string LeastSquaresSummary::BriefReport() const {
  std::string s = "Dalvex least squares: " + std::string(to_string(termination)) +
                  (converged ? ", converged" : ", not converged") +
                  Formatted(" (largest |F| %.3g). %d iterations, %d residual", max_abs_residual,
                            iterations, residual_evaluations);
  if (jacobian_evaluations > 0) s += Formatted(" and %d Jacobian", jacobian_evaluations);
  s += Formatted(
      " evaluations; sum of squares %.6g at the start, %.6g at the end; Marquardt "
      "parameter %.3g. Time %.3g s: %.3g s in the evaluations, %.3g s in the routine.",
      initial_sum_of_squares, final_sum_of_squares, marquardt_parameter, total_seconds,
      evaluation_seconds, solver_seconds);
  if (routine_status < 0 && termination == Termination::kRoutineFailure) {
    s += Formatted(" NS23AD returned %d.", routine_status);
  }
  return s;
}

struct LeastSquaresSolver::State {
  LeastSquaresProblem problem;
  LeastSquaresOptions options;
  IterationCallback callback;
  // The routine's arrays: workspace sized at construction (its start writes
  // every cell before reading it, so it is not filled), the column pointers
  // (which it marks while differencing), an empty constant A.
  int32_t liw = 0, lw = 0;
  internal::UninitializedBuffer<int32_t> iw;
  internal::UninitializedBuffer<double> w;
  std::vector<int32_t> ip, aip, airn{1};
  std::vector<double> aval{0.0};
  // The arrays below, of a length fixed by the problem, in one block: its
  // pages are faulted together (as one huge page where the block is large
  // enough), not array by array in 4 KiB pages on their first touch.
  internal::UninitializedBuffer<double> block;
  Cells f;  // residuals
  // The Jacobian's values in the routine's order, and in the caller's when
  // the two differ and the caller's function writes them (else it writes
  // fjac itself, or views its own values).
  Cells fjac, values;
  Span<const double> viewed;  // the caller's view of its last values
  Cells jacobian_x;  // where fjac was last evaluated
  Cells best_x, best_f;  // the best point evaluated and its residuals
  double best_ss = std::numeric_limits<double>::infinity();
  Cells final_f, final_jacobian;
  LeastSquaresSummary summary;
  int32_t icntl[NS23_LICNTL] = {}, info[NS23_LINFO] = {}, keep[NS23_LKEEP] = {},
          lkeep[NS23_LLKEEP] = {};
  double cntl[NS23_LCNTL] = {}, rinfo[NS23_LRINFO] = {}, rkeep[NS23_LRKEEP] = {};

  const LeastSquaresProblem::Data& data() const { return *problem.data_; }
  double hmax() const { return data().differences ? options.max_difference_step : 0.0; }

  State(LeastSquaresProblem p, LeastSquaresOptions o)
      : problem(std::move(p)), options(std::move(o)) {}

  void SizeWorkspace();
  void SetControls();
  void Evaluate(double* x, bool jacobian);
  void Remember(const double* x);
  int32_t CallRoutine(double* x, int32_t flag);
  bool AfterStep(const double* x);
  // The Jacobian's values as the caller's function writes them: in fjac
  // itself when the caller's order is the routine's.
  Span<double> CallerJacobian() {
    const auto& d = data();
    return Span<double>(d.order.empty() ? fjac.data() : values.data(), d.rows.size());
  }
  // The last Jacobian values in the caller's order, where they lie.
  Span<const double> CallerValues() {
    return data().jacobian_view ? viewed : Span<const double>(CallerJacobian());
  }
  void Finish(double* x, int32_t flag, bool stopped_here);
  void Log(const std::string& line) const {
    if (options.log) options.log(line);
  }
};

void LeastSquaresSolver::State::SizeWorkspace() {
  const auto& d = data();
  ip.assign(d.ip.begin(), d.ip.end());
  aip.assign(ip.size(), 1);
  const double h = hmax();
  int32_t size_info[NS23_LINFO];
  NS23WorkspaceSize(&d.m, &d.n, d.irn.data(), ip.data(), airn.data(), aip.data(), &h, &liw, &lw,
                    size_info);
  if (size_info[NS23_SIZE_INFO_STATUS - 1] == NS23_SIZE_ERR_NO_MEMORY) throw std::bad_alloc();
  if (size_info[NS23_SIZE_INFO_STATUS - 1] == NS23_SIZE_ERR_TOO_LARGE) {
    throw Error(ErrorCode::kTooLarge,
                "the least-squares routine's workspace exceeds 32-bit lengths");
  }
  if (size_info[NS23_SIZE_INFO_STATUS - 1] != 0)
    internal::ThrowRoutineStatus("NS23WorkspaceSize", size_info[NS23_SIZE_INFO_STATUS - 1],
                                 size_info[NS23_SIZE_INFO_VALUE - 1]);
  iw.Resize(static_cast<size_t>(liw));
  w.Resize(static_cast<size_t>(lw));
  const size_t m = static_cast<size_t>(d.m), n = static_cast<size_t>(d.n);
  const size_t nnz = d.rows.size(), nvalues = d.order.empty() || d.jacobian_view ? 0 : nnz;
  block.Resize(internal::CellCount(uint64_t{d.irn.size()} + nvalues + nnz + 3 * uint64_t{m} + 2 * uint64_t{n}));
  double* at = block.data();
  const auto place = [&at](Cells& c, size_t length) { c.Place(at, length), at += length; };
  place(fjac, d.irn.size());
  place(values, nvalues);
  place(final_jacobian, nnz);
  place(f, m);
  place(best_f, m);
  place(final_f, m);
  place(best_x, n);
  place(jacobian_x, n);
  f.Fill(0.0);
  // Cleared all the same: a caller's function that leaves some values
  // unwritten must still give the same answer every time.
  fjac.Fill(0.0);
  values.Fill(0.0);
}

void LeastSquaresSolver::State::SetControls() {
  NS23SetDefaults(icntl, cntl, keep, rkeep, lkeep);
  icntl[NS23_ICNTL_STREAM - 1] = 0;  // the routine prints nothing
  icntl[NS23_ICNTL_STOP_RULE - 1] = options.require_both_tests ? 1 : 0;
  cntl[NS23_CNTL_LINEARITY - 1] = options.linearity_factor;
  cntl[NS23_CNTL_POOR_RATIO - 1] = options.poor_reduction_ratio;
  cntl[NS23_CNTL_GOOD_RATIO - 1] = options.good_reduction_ratio;
  cntl[NS23_CNTL_RESIDUAL_ERROR - 1] = options.residual_relative_error;
  cntl[NS23_CNTL_INITIAL_STEP - 1] = options.initial_difference_step;
}

// F at x, and the Jacobian (carried into the routine's order) when asked.
void LeastSquaresSolver::State::Evaluate(double* x, bool jacobian) {
  const auto& d = data();
  const auto start = Clock::now();
  const Span<const double> point(x, static_cast<size_t>(d.n));
  d.residuals(point, f);
  ++summary.residual_evaluations;
  if (jacobian && d.jacobian_view) {
    viewed = d.jacobian_view(point);
  } else if (jacobian) {
    d.jacobian(point, CallerJacobian());
  }
  // The callbacks' time only: what follows is this interface's own work.
  summary.evaluation_seconds += SecondsSince(start);
  if (jacobian) {
    const Span<const double> given = CallerValues();
    if (given.size() != d.rows.size()) {
      throw Error(ErrorCode::kInvalidArgument,
                  "the Jacobian function viewed " + std::to_string(given.size()) +
                      " values for a pattern of " + std::to_string(d.rows.size()) + " entries");
    }
    const double* from = given.data();
    double* to = fjac.data();
    if (!d.order.empty()) {
      for (size_t q = 0; q < d.rows.size(); ++q) to[q] = from[d.order[q]];
    } else if (from != to) {
      std::copy(from, from + d.rows.size(), to);
    }
    ++summary.jacobian_evaluations;
    jacobian_x.assign(x, x + d.n);
  }
}

// Keeps x when its sum of squares is the least so far (the first point
// always, even when not finite, so that there is one).
void LeastSquaresSolver::State::Remember(const double* x) {
  const double ss = SumOfSquares(f);
  if (!best_f.empty() && !(ss < best_ss)) return;
  best_ss = std::isnan(ss) ? std::numeric_limits<double>::infinity() : ss;
  best_x.assign(x, x + data().n);
  best_f.assign(f);
}

int32_t LeastSquaresSolver::State::CallRoutine(double* x, int32_t flag) {
  const auto& d = data();
  const double sac = options.sum_of_squares_tolerance, stpmin = options.step_tolerance;
  const double h = hmax();
  const int32_t maxfun = options.max_evaluations, iprint = 0;
  const auto start = Clock::now();
  NS23AD(&d.m, &d.n, &sac, &stpmin, &maxfun, &iprint, d.irn.data(), ip.data(), aval.data(),
         airn.data(), aip.data(), &h, &liw, iw.data(), &lw, w.data(), x, f.data(), fjac.data(),
         &flag, icntl, cntl, info, rinfo, keep, rkeep, lkeep);
  summary.solver_seconds += SecondsSince(start);
  summary.marquardt_parameter = rinfo[NS23_RINFO_MARQUARDT - 1];
  return flag;
}

// After a step tried at x (just evaluated): the log line and the callback;
// false to stop.
bool LeastSquaresSolver::State::AfterStep(const double* x) {
  IterationReport r;
  r.iteration = summary.iterations;
  r.evaluations = summary.residual_evaluations;
  r.sum_of_squares = best_ss;
  r.max_abs_residual = LargestMagnitude(best_f);
  r.trial_sum_of_squares = SumOfSquares(f);
  r.marquardt_parameter = summary.marquardt_parameter;
  r.x = Span<const double>(best_x);
  r.trial_x = Span<const double>(x, static_cast<size_t>(data().n));
  r.trial_residuals = Span<const double>(f);
  if (!data().differences) r.trial_jacobian = CallerValues();
  Log(
      Formatted("iteration %d: sum of squares %.6e (step tried: %.6e), largest |F| %.3e, "
                "Marquardt parameter %.3e, %d evaluations",
                r.iteration, r.sum_of_squares, r.trial_sum_of_squares, r.max_abs_residual,
                r.marquardt_parameter, r.evaluations));
  return !callback || callback(r) == IterationAction::kContinue;
}

// The summary from the routine's last flag, with x, the residuals and the
// Jacobian at the final point. `stopped_here`: the solver ended the solve
// itself (tolerance or callback), at the best point.
void LeastSquaresSolver::State::Finish(double* x, int32_t flag, bool stopped_here) {
  const auto& d = data();
  if (stopped_here) std::copy(best_x.begin(), best_x.end(), x);
  if (SamePoint(best_x, x)) {
    f.assign(best_f);
  } else {
    Evaluate(x, false);
  }
  if (!d.differences && !SamePoint(jacobian_x, x)) Evaluate(x, true);
  final_f.assign(f);
  const size_t nnz = d.rows.size();
  final_jacobian.SetAll();
  for (size_t q = 0; q < nnz; ++q) {
    final_jacobian[d.order.empty() ? q : d.order[q]] = fjac.data()[q];
  }
  summary.routine_status = flag;
  summary.final_sum_of_squares = SumOfSquares(f);
  summary.max_abs_residual = LargestMagnitude(f);
  summary.converged = summary.max_abs_residual <= options.residual_tolerance;
  if (!stopped_here) {
    switch (flag) {
      case NS23_FINISHED:
        summary.termination = summary.final_sum_of_squares <= options.sum_of_squares_tolerance
                                  ? Termination::kSumOfSquaresTolerance
                                  : Termination::kSmallStep;
        break;
      case NS23_ERR_MAXFUN: summary.termination = Termination::kMaxEvaluations; break;
      case NS23_ERR_FACTORIZATION: summary.termination = Termination::kFactorizationFailed; break;
      case NS23_ERR_NOT_FINITE: summary.termination = Termination::kNonFinite; break;
      default: summary.termination = Termination::kRoutineFailure; break;
    }
  }
}

LeastSquaresSolver::LeastSquaresSolver(LeastSquaresProblem problem, LeastSquaresOptions options) {
  options.Validate();
  state_ = std::make_unique<State>(std::move(problem), std::move(options));
  state_->SizeWorkspace();
}

LeastSquaresSolver::~LeastSquaresSolver() = default;
LeastSquaresSolver::LeastSquaresSolver(LeastSquaresSolver&&) noexcept = default;
LeastSquaresSolver& LeastSquaresSolver::operator=(LeastSquaresSolver&&) noexcept = default;

void LeastSquaresSolver::SetIterationCallback(IterationCallback callback) {
  state_->callback = std::move(callback);
}

LeastSquaresSummary LeastSquaresSolver::Solve(Span<double> x) {
  State& s = *state_;
  const auto& d = s.data();
  if (static_cast<int64_t>(x.size()) != d.n) {
    throw Error(ErrorCode::kInvalidArgument, "x has " + std::to_string(x.size()) + " values for " +
                                                 std::to_string(d.n) + " variables");
  }
  for (size_t j = 0; j < x.size(); ++j) {
    if (!std::isfinite(x[j])) {
      throw Error(ErrorCode::kNotFinite, "x[" + std::to_string(j) + "] is not finite");
    }
  }
  const auto start = Clock::now();
  s.summary = LeastSquaresSummary();
  s.summary.integer_workspace = s.liw;
  s.summary.real_workspace = s.lw;
  s.best_ss = std::numeric_limits<double>::infinity();
  s.best_x.assign(x.begin(), x.end());
  s.best_f.clear();
  s.jacobian_x.clear();
  s.viewed = Span<const double>();
  s.final_f.clear();
  s.final_jacobian.clear();
  s.SetControls();
  try {
    s.Evaluate(x.data(), !d.differences);
    s.Remember(x.data());
    s.summary.initial_sum_of_squares = SumOfSquares(s.f);
    bool stopped_here = LargestMagnitude(s.f) <= s.options.residual_tolerance;
    if (stopped_here) s.summary.termination = Termination::kResidualTolerance;
    int32_t flag = NS23_START;
    while (!stopped_here) {
      flag = s.CallRoutine(x.data(), flag);
      if (flag == NS23_ERR_LIW || flag == NS23_ERR_WORKSPACE) {  // not expected: sized exactly
        s.liw = std::max(s.liw, s.info[NS23_INFO_LIW_NEEDED - 1]);
        s.lw = std::max(s.lw, s.info[NS23_INFO_LW_NEEDED - 1]);
        s.iw.Resize(static_cast<size_t>(s.liw));
        s.w.Resize(static_cast<size_t>(s.lw));
        continue;
      }
      if (flag <= 0) break;
      const bool jacobian =
          !d.differences && (flag == NS23_EVALUATE_CURRENT || flag == NS23_EVALUATE_TRIAL);
      s.Evaluate(x.data(), jacobian);
      if (flag == NS23_EVALUATE_DIFFERENCE) continue;  // a perturbed point, not a candidate
      if (flag == NS23_EVALUATE_TRIAL) ++s.summary.iterations;
      s.Remember(x.data());
      if (LargestMagnitude(s.f) <= s.options.residual_tolerance) {
        s.summary.termination = Termination::kResidualTolerance;
        stopped_here = true;
      } else if (flag == NS23_EVALUATE_TRIAL && !s.AfterStep(x.data())) {
        s.summary.termination = Termination::kUserStop;
        stopped_here = true;
      }
    }
    s.Finish(x.data(), flag, stopped_here);
  } catch (...) {
    // A callback's exception: x goes back to the best point evaluated.
    std::copy(s.best_x.begin(), s.best_x.end(), x.begin());
    throw;
  }
  s.summary.integer_workspace = s.liw;
  s.summary.real_workspace = s.lw;
  s.summary.total_seconds = SecondsSince(start);
  s.Log(s.summary.BriefReport());
  return s.summary;
}

Span<const double> LeastSquaresSolver::residuals() const { return state_->final_f; }
Span<const double> LeastSquaresSolver::jacobian_values() const { return state_->final_jacobian; }
const LeastSquaresProblem& LeastSquaresSolver::problem() const { return state_->problem; }
const LeastSquaresOptions& LeastSquaresSolver::options() const { return state_->options; }

}  // namespace dalvex
