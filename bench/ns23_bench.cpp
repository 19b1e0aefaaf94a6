// Large sparse systems solved by NS23AD through its reverse-communication
// protocol, with analytic Jacobians (HMAX = 0) and with difference
// Jacobians (HMAX > 0). Each run reports residual evaluations, Jacobian
// evaluations, steps and the final sum of squares as counters.
//
//   bench_ns23 --benchmark_filter=broyden
//
// Sizes follow the problem library's meaning of "size" (unknowns, or grid
// points per side for Bratu, or reactors for the reactor chain).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "pemric/ns23.h"
#include "problems/registry.h"

namespace {

struct Counts {
  int32_t iflag = 0;
  int32_t evaluations = 0;
  int32_t jacobians = 0;
  int32_t steps = 0;
  double ss = 0.0;
};

Counts SolveOnce(const problems::Problem& problem, double hmax) {
  const int32_t m = problem.NEqs(), n = problem.NVars();
  std::vector<int32_t> irn = problem.JacobianRows();
  std::vector<int32_t> ip(n + 1, 0);
  for (int32_t c : problem.JacobianCols()) ip[c] += 1;
  ip[0] = 1;
  for (int32_t j = 1; j <= n; ++j) ip[j] += ip[j - 1];
  std::vector<int32_t> aip(n + 1, 1), airn(1, 1);
  std::vector<double> aval(1, 0.0);
  std::vector<double> x(n), f(m), fjac(std::max<size_t>(irn.size(), 1));
  problem.StartingPoint(x.data());
  problem.Residuals(x.data(), f.data());
  Counts c;
  if (hmax == 0.0) {
    problem.JacobianValues(x.data(), fjac.data());
    c.jacobians = 1;
  }
  int32_t icntl[5], keep[130] = {}, lkeep[10] = {}, info[10] = {};
  double cntl[10] = {}, rkeep[72] = {}, rinfo[5] = {};
  NS23SetDefaults(icntl, cntl, keep, rkeep, lkeep);
  icntl[0] = 0;
  // A first guess of the workspace; NS23AD asks for more when it needs it.
  int32_t liw = static_cast<int32_t>(std::min<int64_t>(INT32_MAX, 20 * int64_t{m} + 10 * irn.size()));
  int32_t lw = static_cast<int32_t>(std::min<int64_t>(INT32_MAX, 10 * int64_t{m} + 10 * irn.size()));
  std::vector<int32_t> iw(liw);
  std::vector<double> w(lw);
  const double sac = 1e-20, stpmin = 0.0;
  const int32_t maxfun = 10000, iprint = 0;
  int32_t iflag = 1;
  for (;;) {
    NS23AD(&m, &n, &sac, &stpmin, &maxfun, &iprint, irn.data(), ip.data(), aval.data(),
           airn.data(), aip.data(), &hmax, &liw, iw.data(), &lw, w.data(), x.data(), f.data(),
           fjac.data(), &iflag, icntl, cntl, info, rinfo, keep, rkeep, lkeep);
    if (iflag == -2 || iflag == -3) {
      liw = std::max(liw, info[3]);
      lw = std::max(lw, info[4]);
      iw.assign(liw, 0);
      w.assign(lw, 0.0);
      continue;
    }
    if (iflag <= 0) break;
    problem.Residuals(x.data(), f.data());
    if (hmax == 0.0 && (iflag == 2 || iflag == 5)) {
      problem.JacobianValues(x.data(), fjac.data());
      c.jacobians += 1;
    }
    c.steps += iflag == 5 ? 1 : 0;
  }
  c.iflag = iflag;
  c.evaluations = info[2];
  problem.Residuals(x.data(), f.data());
  for (double v : f) c.ss += v * v;
  return c;
}

void Run(benchmark::State& state, const std::string& name, double hmax) {
  problems::ProblemOptions options;
  options.size = static_cast<int32_t>(state.range(0));
  const auto problem = problems::MakeProblem(name, options);
  if (!problem) {
    state.SkipWithError("unknown problem or size");
    return;
  }
  Counts c;
  for (auto _ : state) c = SolveOnce(*problem, hmax);
  state.counters["flag"] = c.iflag;
  state.counters["evals"] = c.evaluations;
  state.counters["jacobians"] = c.jacobians;
  state.counters["steps"] = c.steps;
  state.counters["ss"] = c.ss;
  state.counters["solved"] = c.ss <= 1e-16 ? 1 : 0;
}

void BroydenTridiagonal(benchmark::State& s) { Run(s, "broyden-tridiagonal", 0.0); }
void BroydenBanded(benchmark::State& s) { Run(s, "broyden-banded", 0.0); }
void Bratu(benchmark::State& s) { Run(s, "bratu-2d", 0.0); }
void ReactorChain(benchmark::State& s) { Run(s, "reactor-flash", 0.0); }
void BroydenTridiagonalDifferences(benchmark::State& s) { Run(s, "broyden-tridiagonal", 1.0); }
void BratuDifferences(benchmark::State& s) { Run(s, "bratu-2d", 1.0); }

BENCHMARK(BroydenTridiagonal)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BroydenBanded)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(Bratu)->Arg(300)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(ReactorChain)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BroydenTridiagonalDifferences)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BratuDifferences)->Arg(300)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
