#include "run.h"

#include <chrono>
#include <cmath>
#include <cstdio>

#include "problems/host_problem.h"
#include "vorn_host/reference_eso.h"

namespace dalvex_run {
namespace {

using Clock = std::chrono::steady_clock;

// What the progress line shows: the residuals of the latest evaluation.
struct Watch {
  int64_t evaluations = 0;
  double sum_squares = 0.0;
  double largest = 0.0;  // NaN when any residual is NaN
};

void Observe(Watch& w, const double* f, int32_t m) {
  ++w.evaluations;
  double s = 0.0, big = 0.0;
  for (int32_t i = 0; i < m; ++i) {
    s += f[i] * f[i];
    if (std::isnan(f[i]) || std::fabs(f[i]) > big) big = std::fabs(f[i]);
    if (std::isnan(big)) break;
  }
  w.sum_squares = std::isnan(big) ? big : s;
  w.largest = big;
}

std::string ProgressLine(int32_t iterations, const Watch& w, bool in_jacobian) {
  char buf[160];
  std::snprintf(buf, sizeof buf, "  iter %7d   sum of squares %12.5e   largest |F| %10.3e%s",
                iterations, w.sum_squares, w.largest, in_jacobian ? "   (differencing)" : "");
  return buf;
}

// 1 when the solver is evaluating for a difference Jacobian.
bool InJacobian(VornNumericNLASystem* solver) {
  void* face = nullptr;
  if (solver->QueryInterface(kIID_VornNumericSolverExtension, &face) != kVornOk) return false;
  auto* ext = static_cast<VornNumericSolverExtension*>(face);
  int32_t flag = 0;
  const bool yes = ext->GetInfo("InJacobian", &flag) == kVornOk && flag == 1;
  ext->Release();
  return yes;
}

}  // namespace

RunOutcome Run(SolverHost& host,
               std::shared_ptr<const problems::Problem> problem,
               Console& console,
               const RunLimits& limits) {
  RunOutcome out;
  Watch watch;
  const int32_t m = problem->NEqs();
  vorn_host::ReferenceEso* eso = vorn_host::ReferenceEso::Create(problems::DescribeForHost(
      problem, [&watch, m](const double*, const double* f) { Observe(watch, f, m); }));

  VornNumericNLASystem* solver = nullptr;
  const int32_t created =
      host.factory()->CreateNLASystem(static_cast<VornNumericESO*>(eso), &console, &solver);
  out.created = created == kVornOk && solver != nullptr;
  if (!out.created) {
    out.result = created;
    eso->Release();
    return out;
  }

  const auto t0 = Clock::now();
  auto drawn = t0;
  int32_t start = 0;
  do {
    out.result = solver->Solve(start, &out.iterations);
    start = 1;
    ++out.calls;
    const auto now = Clock::now();
    // Redraw at most 20 times a second: a terminal is slower than a small solve.
    if (out.result == kVornCallAgain && now - drawn > std::chrono::milliseconds(50)) {
      console.Progress(ProgressLine(out.iterations, watch, InJacobian(solver)));
      drawn = now;
    }
  } while (out.result == kVornCallAgain && out.calls < limits.max_calls);
  out.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
  out.call_limit = out.result == kVornCallAgain;
  console.EndLine();

  // The solver goes first: after a failure for want of memory it may still
  // hold most of the address space, and the copy of the point needs some.
  solver->Release();
  out.evaluations = eso->evaluations();
  out.x = eso->values();
  eso->Release();
  return out;
}

}  // namespace dalvex_run
