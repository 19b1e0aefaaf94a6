// NS23AD side by side with two solvers of similar purpose on the same large
// sparse systems, all with analytic Jacobians and one BLAS thread:
//   - Ceres Solver's Levenberg-Marquardt, sparse normal Cholesky, one
//     residual block per equation;
//   - KINSOL's Newton iteration with line search, KLU sparse LU.
// All three stop by one rule, the plug-in's: at the first point where the
// largest |F_i| is at most 1e-8 max(1, largest |F_i| at the start) (for
// Ceres a callback checks it after every successful step, for KINSOL it is
// the function-norm tolerance), besides their own tests.
// Counters: residual evaluations, Jacobian evaluations, factorizations, final flag or
// termination, the final sum of squares and "solved" (the rule was met); for
// NS23AD also the split of its time in percent: analysis (patterns and
// MA57AD, once), forming the normal matrix, MA57BD, the solutions of each
// step, the problem's evaluations, and the rest (the iteration itself).
//
//   DALVEX_NUM_THREADS=1 OPENBLAS_NUM_THREADS=1 bench_ns23_baselines --benchmark_filter=Broyden
//   DALVEX_BENCH_SLOW_PEERS=1 ... also times the peers on Bratu 1000 x 1000
#include <benchmark/benchmark.h>

#include <ceres/ceres.h>
#include <kinsol/kinsol.h>
#include <nvector/nvector_serial.h>
#include <sundials/sundials_context.h>
#include <sunlinsol/sunlinsol_klu.h>
#include <sunmatrix/sunmatrix_sparse.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "ns23_solve.h"
#include "problems/registry.h"

namespace {

// ---------------------------------------------------------------------------
// The systems row by row, for Ceres's one-block-per-equation form. Each row
// lists its variables and evaluates its residual and derivatives from their
// values; the formulas are those of the problem library.

struct RowModel {
  std::string name;
  std::vector<std::vector<int32_t>> vars;  // per row, variables from 0
  // residual of `row` from the values v of its variables; d gets derivatives
  std::function<double(int32_t row, const double* v, double* d)> eval;
};

RowModel BroydenTridiagonalRows(int32_t n) {
  RowModel r{"broyden-tridiagonal", std::vector<std::vector<int32_t>>(n), {}};
  for (int32_t i = 0; i < n; ++i) {
    if (i > 0) r.vars[i].push_back(i - 1);
    r.vars[i].push_back(i);
    if (i + 1 < n) r.vars[i].push_back(i + 1);
  }
  r.eval = [n](int32_t i, const double* v, double* d) {
    const int32_t c = i > 0 ? 1 : 0;
    const double xi = v[c];
    const double left = i > 0 ? v[0] : 0.0, right = i + 1 < n ? v[c + 1] : 0.0;
    if (d) {
      if (i > 0) d[0] = -1.0;
      d[c] = 3.0 - 4.0 * xi;
      if (i + 1 < n) d[c + 1] = -2.0;
    }
    return (3.0 - 2.0 * xi) * xi - left - 2.0 * right + 1.0;
  };
  return r;
}

RowModel BroydenBandedRows(int32_t n) {
  RowModel r{"broyden-banded", std::vector<std::vector<int32_t>>(n), {}};
  for (int32_t i = 1; i <= n; ++i) {
    for (int32_t j = std::max(1, i - 5); j <= std::min(n, i + 1); ++j) r.vars[i - 1].push_back(j - 1);
  }
  r.eval = [n](int32_t row, const double* v, double* d) {
    const int32_t i = row + 1, first = std::max(1, i - 5), last = std::min(n, i + 1);
    double f = 1.0;
    for (int32_t j = first; j <= last; ++j) {
      const double xj = v[j - first];
      if (j == i) {
        f += xj * (2.0 + 5.0 * xj * xj);
        if (d) d[j - first] = 2.0 + 15.0 * xj * xj;
      } else {
        f -= xj * (1.0 + xj);
        if (d) d[j - first] = -(1.0 + 2.0 * xj);
      }
    }
    return f;
  };
  return r;
}

RowModel BratuRows(int32_t side, double lambda) {
  const int32_t n = side * side;
  RowModel r{"bratu-2d", std::vector<std::vector<int32_t>>(n), {}};
  const double rh2 = static_cast<double>(side + 1) * (side + 1);
  std::vector<int32_t> centre(n);
  for (int32_t j = 1; j <= side; ++j) {
    for (int32_t i = 1; i <= side; ++i) {
      auto& v = r.vars[(j - 1) * side + i - 1];
      const int32_t p = (j - 1) * side + i - 1;
      if (j > 1) v.push_back(p - side);
      if (i > 1) v.push_back(p - 1);
      centre[p] = static_cast<int32_t>(v.size());
      v.push_back(p);
      if (i < side) v.push_back(p + 1);
      if (j < side) v.push_back(p + side);
    }
  }
  auto sizes = std::make_shared<std::vector<int32_t>>(n);
  for (int32_t p = 0; p < n; ++p) (*sizes)[p] = static_cast<int32_t>(r.vars[p].size());
  r.eval = [rh2, lambda, sizes, centre](int32_t p, const double* v, double* d) {
    const int32_t c = centre[p], count = (*sizes)[p];
    const double u = v[c], e = lambda * std::exp(u);
    double lap = 4.0 * u;
    for (int32_t k = 0; k < count; ++k) {
      if (k == c) continue;
      lap -= v[k];
      if (d) d[k] = -rh2;
    }
    if (d) d[c] = 4.0 * rh2 - e;
    return lap * rh2 - e;
  };
  return r;
}

class RowCost final : public ceres::CostFunction {
 public:
  RowCost(const RowModel& model, int32_t row) : model_(model), row_(row) {
    set_num_residuals(1);
    for (size_t k = 0; k < model.vars[row].size(); ++k) mutable_parameter_block_sizes()->push_back(1);
  }
  bool Evaluate(double const* const* parameters, double* residuals, double** jacobians) const override {
    const size_t count = model_.vars[row_].size();
    double v[8], d[8];
    for (size_t k = 0; k < count; ++k) v[k] = parameters[k][0];
    residuals[0] = model_.eval(row_, v, jacobians != nullptr ? d : nullptr);
    if (jacobians != nullptr) {
      for (size_t k = 0; k < count; ++k) {
        if (jacobians[k] != nullptr) jacobians[k][0] = d[k];
      }
    }
    return std::isfinite(residuals[0]);
  }

 private:
  const RowModel& model_;
  int32_t row_;
};

// Largest |F_i| at x.
// Ends a Ceres solve successfully once the stopping rule is met.
class StopAtTolerance final : public ceres::IterationCallback {
 public:
  StopAtTolerance(const problems::Problem& problem, const double* x, double tol)
      : problem_(problem), x_(x), tol_(tol) {}
  ceres::CallbackReturnType operator()(const ceres::IterationSummary& summary) override {
    if (summary.iteration > 0 && !summary.step_is_successful) return ceres::SOLVER_CONTINUE;
    return ns23_bench::MaxResidual(problem_, x_) <= tol_ ? ceres::SOLVER_TERMINATE_SUCCESSFULLY
                                             : ceres::SOLVER_CONTINUE;
  }

 private:
  const problems::Problem& problem_;
  const double* x_;
  double tol_;
};

void CeresLM(benchmark::State& state, const RowModel& model, const problems::Problem& problem,
             double tol) {
  const int32_t n = problem.NVars();
  std::vector<double> x(n);
  ceres::Solver::Summary summary;
  StopAtTolerance stop(problem, x.data(), tol);
  for (auto _ : state) {
    problem.StartingPoint(x.data());
    ceres::Problem cp;
    std::vector<double*> blocks;
    for (int32_t i = 0; i < problem.NEqs(); ++i) {
      blocks.clear();
      for (int32_t j : model.vars[i]) blocks.push_back(&x[j]);
      cp.AddResidualBlock(new RowCost(model, i), nullptr, blocks);
    }
    ceres::Solver::Options options;
    options.minimizer_type = ceres::TRUST_REGION;
    options.trust_region_strategy_type = ceres::LEVENBERG_MARQUARDT;
    options.linear_solver_type = ceres::SPARSE_NORMAL_CHOLESKY;
    options.num_threads = 1;
    options.max_num_iterations = 500;
    options.function_tolerance = 1e-16;
    options.gradient_tolerance = 1e-16;
    options.parameter_tolerance = 1e-14;
    options.logging_type = ceres::SILENT;
    options.update_state_every_iteration = true;  // the callback reads x
    options.callbacks.push_back(&stop);
    ceres::Solve(options, &cp, &summary);
  }
  state.counters["evals"] = summary.num_residual_evaluations;
  state.counters["jacobians"] = summary.num_jacobian_evaluations;
  // One linear system (a sparse Cholesky factorization) per step tried.
  state.counters["factorizations"] =
      summary.num_successful_steps + summary.num_unsuccessful_steps;
  state.counters["ss"] = ns23_bench::SumOfSquaresCounter(2.0 * summary.final_cost);
  state.counters["solved"] = ns23_bench::MaxResidual(problem, x.data()) <= tol ? 1 : 0;
}

// ---------------------------------------------------------------------------
// KINSOL, Newton with line search and KLU.

struct KinsolData {
  const problems::Problem* problem;
  std::vector<double> values;
  std::vector<int32_t> colptr;  // from 0
  int64_t fevals = 0;
};

int KinsolResiduals(N_Vector u, N_Vector f, void* data) {
  auto* k = static_cast<KinsolData*>(data);
  k->problem->Residuals(N_VGetArrayPointer(u), N_VGetArrayPointer(f));
  k->fevals += 1;
  const double* fv = N_VGetArrayPointer(f);
  for (sunindextype i = 0; i < N_VGetLength(f); ++i) {
    if (!std::isfinite(fv[i])) return 1;  // recoverable: step outside the domain
  }
  return 0;
}

int KinsolJacobian(N_Vector u, N_Vector, SUNMatrix jac, void* data, N_Vector, N_Vector) {
  auto* k = static_cast<KinsolData*>(data);
  const auto& rows = k->problem->JacobianRows();
  k->problem->JacobianValues(N_VGetArrayPointer(u), k->values.data());
  sunindextype* ptr = SUNSparseMatrix_IndexPointers(jac);
  sunindextype* idx = SUNSparseMatrix_IndexValues(jac);
  double* val = SUNSparseMatrix_Data(jac);
  for (size_t c = 0; c < k->colptr.size(); ++c) ptr[c] = k->colptr[c];
  for (size_t e = 0; e < rows.size(); ++e) {
    idx[e] = rows[e] - 1;
    val[e] = k->values[e];
  }
  return 0;
}

void KinsolNewton(benchmark::State& state, const problems::Problem& problem, double tol) {
  const int32_t n = problem.NVars();
  const auto& cols = problem.JacobianCols();
  KinsolData data{&problem, std::vector<double>(cols.size()), std::vector<int32_t>(n + 1, 0), 0};
  for (int32_t c : cols) data.colptr[c] += 1;
  for (int32_t j = 1; j <= n; ++j) data.colptr[j] += data.colptr[j - 1];
  long nje = 0, iters = 0;
  int flag = 0;
  double fnorm = 0.0, final_max = 0.0;
  for (auto _ : state) {
    SUNContext ctx;
    SUNContext_Create(nullptr, &ctx);
    N_Vector u = N_VNew_Serial(n, ctx), scale = N_VNew_Serial(n, ctx);
    problem.StartingPoint(N_VGetArrayPointer(u));
    N_VConst(1.0, scale);
    void* kmem = KINCreate(ctx);
    KINInit(kmem, KinsolResiduals, u);
    KINSetUserData(kmem, &data);
    SUNMatrix jac = SUNSparseMatrix(n, n, static_cast<sunindextype>(cols.size()), CSC_MAT, ctx);
    SUNLinearSolver ls = SUNLinSol_KLU(u, jac, ctx);
    KINSetLinearSolver(kmem, ls, jac);
    KINSetJacFn(kmem, KinsolJacobian);
    KINSetMaxSetupCalls(kmem, 1);  // a fresh Jacobian at every Newton step
    KINSetFuncNormTol(kmem, tol);  // the max norm of F, the scaling being 1
    KINSetNumMaxIters(kmem, 500);
    KINSetMaxNewtonStep(kmem, 1e12);  // the default bound stalls Bratu from u = 0
    data.fevals = 0;
    flag = KINSol(kmem, u, KIN_LINESEARCH, scale, scale);
    KINGetNumJacEvals(kmem, &nje);
    KINGetNumNonlinSolvIters(kmem, &iters);
    KINGetFuncNorm(kmem, &fnorm);
    state.PauseTiming();
    final_max = ns23_bench::MaxResidual(problem, N_VGetArrayPointer(u));
    state.ResumeTiming();
    SUNLinSolFree(ls);
    SUNMatDestroy(jac);
    N_VDestroy(u);
    N_VDestroy(scale);
    KINFree(&kmem);
    SUNContext_Free(&ctx);
  }
  state.counters["evals"] = static_cast<double>(data.fevals);
  state.counters["jacobians"] = static_cast<double>(nje);
  // A fresh Jacobian at every Newton step, each factorized once by KLU.
  state.counters["factorizations"] = static_cast<double>(nje);
  state.counters["iterations"] = static_cast<double>(iters);
  state.counters["flag"] = flag;
  state.counters["fnorm"] = fnorm;
  state.counters["solved"] = flag >= 0 && final_max <= tol ? 1 : 0;
}

// ---------------------------------------------------------------------------
// NS23AD, as in ns23_bench.cpp.

void Ns23(benchmark::State& state, const problems::Problem& problem, double tol) {
  ns23_bench::Ns23Run run(problem, 0.0);
  run.SizeWorkspace();  // once, outside the timing
  ns23_bench::Result r;
  for (auto _ : state) r = run.Solve(10000, tol);
  state.counters["evals"] = r.evaluations;
  state.counters["jacobians"] = r.jacobians;
  state.counters["flag"] = r.iflag;
  state.counters["ss"] = ns23_bench::SumOfSquaresCounter(r.ss);
  state.counters["solved"] = r.max_residual <= tol ? 1 : 0;
  if (r.factorizations >= 0) state.counters["factorizations"] = static_cast<double>(r.factorizations);
  if (ns23_bench::StepsTimed()) ns23_bench::ReportSplit(state, r.seconds);
}

// ---------------------------------------------------------------------------

enum Solver { kNs23, kCeres, kKinsol };

void Compare(benchmark::State& state, const std::string& name, Solver solver) {
  const auto problem = ns23_bench::SizedProblem(state, name);
  if (!problem) return;
  const double tol = ns23_bench::SolvedBar(*problem);
  if (solver == kNs23) return Ns23(state, *problem, tol);
  if (solver == kKinsol) return KinsolNewton(state, *problem, tol);
  const int32_t size = static_cast<int32_t>(state.range(0));
  const RowModel model = name == "broyden-tridiagonal" ? BroydenTridiagonalRows(size)
                         : name == "broyden-banded"
                             ? BroydenBandedRows(size)
                             : BratuRows(size, problems::ProblemOptions{}.lambda);
  CeresLM(state, model, *problem, tol);
}

#define DALVEX_COMPARE(problem_name, label, ...)                                         \
  BENCHMARK_CAPTURE(Compare, label##_ns23, problem_name, kNs23)                         \
      ->Args({__VA_ARGS__})->Unit(benchmark::kMillisecond)->Iterations(1);             \
  BENCHMARK_CAPTURE(Compare, label##_ceres, problem_name, kCeres)                       \
      ->Args({__VA_ARGS__})->Unit(benchmark::kMillisecond)->Iterations(1);             \
  BENCHMARK_CAPTURE(Compare, label##_kinsol, problem_name, kKinsol)                     \
      ->Args({__VA_ARGS__})->Unit(benchmark::kMillisecond)->Iterations(1)

DALVEX_COMPARE("broyden-tridiagonal", broyden_tridiagonal_1e5, 100000);
DALVEX_COMPARE("broyden-tridiagonal", broyden_tridiagonal_1e6, 1000000);
DALVEX_COMPARE("broyden-banded", broyden_banded_1e5, 100000);
DALVEX_COMPARE("broyden-banded", broyden_banded_1e6, 1000000);
DALVEX_COMPARE("bratu-2d", bratu_300, 300);
// Neither baseline finishes Bratu on a 1000 x 1000 grid within minutes, so
// that size is timed for NS23AD alone unless DALVEX_BENCH_SLOW_PEERS is set;
// the reactor chain (whose Newton steps leave the domain of its logarithms)
// has no row-by-row form for Ceres.
BENCHMARK_CAPTURE(Compare, bratu_1000_ns23, "bratu-2d", kNs23)
    ->Args({1000})->Unit(benchmark::kMillisecond)->Iterations(1);
const bool kSlowPeersRegistered = [] {
  if (std::getenv("DALVEX_BENCH_SLOW_PEERS") == nullptr) return false;
  for (const auto& [label, solver] : {std::pair{"bratu_1000_ceres", kCeres}, {"bratu_1000_kinsol", kKinsol}}) {
    benchmark::RegisterBenchmark((std::string("Compare/") + label).c_str(), Compare,
                                 std::string("bratu-2d"), solver)
        ->Args({1000})
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
  }
  return true;
}();
BENCHMARK_CAPTURE(Compare, reactor_chain_1e5_ns23, "reactor-flash", kNs23)
    ->Args({100000})->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(Compare, reactor_chain_1e5_kinsol, "reactor-flash", kKinsol)
    ->Args({100000})->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
