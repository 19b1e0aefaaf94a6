// Large sparse systems solved by NS23AD through its reverse-communication
// protocol, with analytic Jacobians (HMAX = 0) and with difference
// Jacobians (HMAX > 0). Each run reports residual evaluations, Jacobian
// evaluations, steps, factorizations and the final sum of squares as
// counters, and "solved" when the final point meets the plug-in's rule (the
// largest |F_i| at most 1e-8 max(1, largest |F_i| at the start)).
//
// The *ThroughPlugin rows solve the same systems with the same controls
// through the plug-in module and the reference host (one Solve call per
// evaluation, the problem as the host's equation set object): the cost of
// the boundary is their time over the direct rows'. The direct rows find
// their workspace lengths before the timing; the plug-in grows its workspace
// inside each timed solve, as a host would see it.
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

#include "ns23_solve.h"
#include "pemric/ns23.h"
#include "problems/host_problem.h"
#include "problems/registry.h"
#include "vorn_host/message_sinks.h"
#include "vorn_host/module_loader.h"
#include "vorn_host/reference_eso.h"

namespace {

// What a solve through the plug-in ends with.
struct Counts {
  int32_t iflag = 0;
  int32_t evaluations = 0;
  int32_t steps = 0;
  double ss = 0.0;
};

// The plug-in with the controls of the direct rows: no residual test (Tol = 0),
// SAC 1e-20, STPMIN 0, 10000 evaluations, no printing.
class PluginSolver {
 public:
  bool Open(double hmax) {
    if (!module_.Load(DALVEX_MODULE_PATH)) return false;
    factory_ = module_.CreateFactory();
    void* face = nullptr;
    if (factory_ == nullptr || factory_->QueryInterface(kIID_VornSolverParameters, &face) != kVornOk) {
      return false;
    }
    auto* parameters = static_cast<VornSolverParameters*>(face);
    bool ok = true;
    auto set_real = [&](const char* name, double value) {
      VornValueCell cell{};
      cell.real = value;
      ok = ok && parameters->SetParameterValue(name, kVornReal, cell) == kVornOk;
    };
    auto set_integer = [&](const char* name, int32_t value) {
      VornValueCell cell{};
      cell.integer = value;
      ok = ok && parameters->SetParameterValue(name, kVornInteger, cell) == kVornOk;
    };
    set_real("Tol", 0.0);
    set_real("Sac", 1e-20);
    set_real("Acc", 0.0);
    set_real("Hmax", hmax);
    set_integer("MaxIters", 10000);
    set_integer("PrintLevel", 0);
    parameters->Release();
    return ok;
  }
  ~PluginSolver() {
    if (factory_ != nullptr) factory_->Release();
  }

  // One whole solve; the evaluation count is the host's.
  Counts Solve(const std::shared_ptr<const problems::Problem>& problem) {
    Counts c;
    vorn_host::ReferenceEso* eso = vorn_host::ReferenceEso::Create(problems::DescribeForHost(problem));
    VornNumericNLASystem* solver = nullptr;
    if (factory_->CreateNLASystem(eso->problem(), &sink_, &solver) == kVornOk && solver != nullptr) {
      int32_t iterations = 0;
      int32_t result = solver->Solve(0, &iterations);
      while (result == kVornCallAgain) result = solver->Solve(1, &iterations);
      c.iflag = result;
      c.steps = iterations;
      solver->Release();
    }
    c.evaluations = eso->evaluations();
    std::vector<double> f(problem->NEqs());
    problem->Residuals(eso->values().data(), f.data());
    for (double v : f) c.ss += v * v;
    eso->Release();
    return c;
  }

 private:
  vorn_host::PluginModule module_;  // unloaded after the factory is released
  VornFactoryNLASystem* factory_ = nullptr;
  vorn_host::RecordingSink sink_;
};

void RunThroughPlugin(benchmark::State& state, const std::string& name, double hmax) {
  std::shared_ptr<const problems::Problem> problem = ns23_bench::SizedProblem(state, name);
  if (!problem) return;
  PluginSolver plugin;
  if (!plugin.Open(hmax)) {
    state.SkipWithError("the module did not load");
    return;
  }
  Counts c;
  for (auto _ : state) c = plugin.Solve(problem);
  state.counters["result"] = c.iflag;
  state.counters["evals"] = c.evaluations;
  state.counters["calls"] = c.steps;
  state.counters["ss"] = ns23_bench::SumOfSquaresCounter(c.ss);
}

void Run(benchmark::State& state, const std::string& name, double hmax) {
  const auto problem = ns23_bench::SizedProblem(state, name);
  if (!problem) return;
  ns23_bench::Ns23Run run(*problem, hmax);
  run.SizeWorkspace();  // once, outside the timing
  ns23_bench::Result r;
  for (auto _ : state) r = run.Solve();
  if (r.factorizations >= 0) state.counters["factorizations"] = static_cast<double>(r.factorizations);
  state.counters["flag"] = r.iflag;
  state.counters["evals"] = r.evaluations;
  state.counters["jacobians"] = r.jacobians;
  state.counters["steps"] = r.steps;
  state.counters["ss"] = ns23_bench::SumOfSquaresCounter(r.ss);
  state.counters["solved"] = r.max_residual <= ns23_bench::SolvedBar(*problem) ? 1 : 0;
  if (ns23_bench::StepsTimed()) ns23_bench::ReportSplit(state, r.seconds);
}

void BroydenTridiagonal(benchmark::State& s) { Run(s, "broyden-tridiagonal", 0.0); }
void BroydenBanded(benchmark::State& s) { Run(s, "broyden-banded", 0.0); }
void Bratu(benchmark::State& s) { Run(s, "bratu-2d", 0.0); }
void ReactorChain(benchmark::State& s) { Run(s, "reactor-flash", 0.0); }
void BroydenTridiagonalDifferences(benchmark::State& s) { Run(s, "broyden-tridiagonal", 1.0); }
void BratuDifferences(benchmark::State& s) { Run(s, "bratu-2d", 1.0); }

void BroydenTridiagonalThroughPlugin(benchmark::State& s) { RunThroughPlugin(s, "broyden-tridiagonal", 0.0); }
void BroydenBandedThroughPlugin(benchmark::State& s) { RunThroughPlugin(s, "broyden-banded", 0.0); }
void BratuThroughPlugin(benchmark::State& s) { RunThroughPlugin(s, "bratu-2d", 0.0); }
void ReactorChainThroughPlugin(benchmark::State& s) { RunThroughPlugin(s, "reactor-flash", 0.0); }
void BratuDifferencesThroughPlugin(benchmark::State& s) { RunThroughPlugin(s, "bratu-2d", 1.0); }

BENCHMARK(BroydenTridiagonal)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BroydenBanded)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(Bratu)->Arg(300)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(ReactorChain)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BroydenTridiagonalDifferences)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BratuDifferences)->Arg(300)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK(BroydenTridiagonalThroughPlugin)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BroydenBandedThroughPlugin)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BratuThroughPlugin)->Arg(300)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(ReactorChainThroughPlugin)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BratuDifferencesThroughPlugin)->Arg(300)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
