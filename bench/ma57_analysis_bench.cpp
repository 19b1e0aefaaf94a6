// Scaling of the sparse symmetric analysis (ordering, tree, structure,
// forecasts) on grid Laplacian patterns and on the normal matrix of a banded
// Jacobian, reported as time per input entry together with the forecast
// factor size INFO(5). When METIS is available, the same patterns are also
// ordered by its nested dissection, timed, and their factor size computed by
// the analysis with the METIS order supplied, for a side-by-side comparison.
#include <algorithm>
#include <cstdint>
#include <vector>

#include <benchmark/benchmark.h>

#include "pemric/ma57.h"
#include "pemric/one_based.h"

#ifdef DALVEX_HAVE_METIS
#include <metis.h>
#endif

namespace {

using pemric::At;

struct Pattern {
  int32_t n = 0;
  std::vector<int32_t> irn, jcn;
  void Add(int32_t i, int32_t j) {
    irn.push_back(i);
    jcn.push_back(j);
  }
};

// Lower triangle with diagonal of the 5-point (2D) or 7-point (3D) stencil.
Pattern Grid(int32_t side, int dims) {
  Pattern p;
  const int64_t n = dims == 2 ? int64_t{side} * side : int64_t{side} * side * side;
  p.n = static_cast<int32_t>(n);
  const int64_t stride[3] = {1, side, int64_t{side} * side};
  for (int64_t v = 0; v < n; ++v) {
    p.Add(static_cast<int32_t>(v + 1), static_cast<int32_t>(v + 1));
    int64_t rest = v;
    for (int d = 0; d < dims; ++d) {
      const int64_t coord = rest % side;
      rest /= side;
      if (coord + 1 < side) p.Add(static_cast<int32_t>(v + stride[d] + 1), static_cast<int32_t>(v + 1));
    }
  }
  return p;
}

// J'J + lambda I for a Jacobian with five diagonals (offsets -2..2): a band
// of half-width 4, lower triangle with diagonal.
Pattern BandedNormal(int32_t n) {
  Pattern p;
  p.n = n;
  for (int32_t i = 1; i <= n; ++i)
    for (int32_t k = 0; k <= 4 && i - k >= 1; ++k) p.Add(i, i - k);
  return p;
}

struct Result {
  int32_t info[MA57_LINFO];
  double rinfo[MA57_LRINFO];
};

Result Analyse(Pattern p, const std::vector<int32_t>* order) {
  const int32_t ne = static_cast<int32_t>(p.irn.size());
  const int32_t lkeep = 5 * p.n + ne + std::max(p.n, ne) + 42;
  std::vector<int32_t> keep(lkeep), iwrk(5 * static_cast<size_t>(p.n));
  int32_t icntl[MA57_LICNTL];
  double cntl[MA57_LCNTL];
  MA57SetDefaults(cntl, icntl);
  At(icntl)(MA57_ICNTL_PRINT_LEVEL) = 0;
  if (order) {
    At(icntl)(MA57_ICNTL_SUPPLIED_ORDER) = 1;
    std::copy(order->begin(), order->end(), keep.begin());
  }
  Result r;
  MA57AD(&p.n, &ne, p.irn.data(), p.jcn.data(), &lkeep, keep.data(), iwrk.data(), icntl, r.info,
         r.rinfo);
  return r;
}

void Report(benchmark::State& state, const Pattern& p, const Result& r) {
  const double ne = static_cast<double>(p.irn.size());
  state.counters["N"] = p.n;
  state.counters["NE"] = ne;
  state.counters["INFO5"] = At(r.info)(MA57_INFO_FORECAST_REAL);
  state.counters["time_per_entry"] =
      benchmark::Counter(ne, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void RunAnalysis(benchmark::State& state, const Pattern& p) {
  Result r{};
  for (auto _ : state) {
    r = Analyse(p, nullptr);
    benchmark::DoNotOptimize(At(r.info)(MA57_INFO_FORECAST_REAL));
  }
  Report(state, p, r);
}

void BM_Analysis2DGrid(benchmark::State& state) {
  RunAnalysis(state, Grid(static_cast<int32_t>(state.range(0)), 2));
}
BENCHMARK(BM_Analysis2DGrid)->Arg(100)->Arg(250)->Arg(500)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_Analysis3DGrid(benchmark::State& state) {
  RunAnalysis(state, Grid(static_cast<int32_t>(state.range(0)), 3));
}
BENCHMARK(BM_Analysis3DGrid)->Arg(20)->Arg(40)->Arg(60)->Unit(benchmark::kMillisecond);

void BM_AnalysisBandedNormal(benchmark::State& state) {
  RunAnalysis(state, BandedNormal(static_cast<int32_t>(state.range(0))));
}
BENCHMARK(BM_AnalysisBandedNormal)->Arg(1000000)->Unit(benchmark::kMillisecond);

#ifdef DALVEX_HAVE_METIS
// Nested dissection order of the pattern's graph; KEEP-style positions.
std::vector<int32_t> MetisOrder(const Pattern& p) {
  std::vector<std::vector<idx_t>> adj(p.n);
  for (size_t k = 0; k < p.irn.size(); ++k) {
    const idx_t i = p.irn[k] - 1, j = p.jcn[k] - 1;
    if (i == j) continue;
    adj[i].push_back(j);
    adj[j].push_back(i);
  }
  std::vector<idx_t> xadj(1, 0), adjncy;
  for (auto& row : adj) {
    adjncy.insert(adjncy.end(), row.begin(), row.end());
    xadj.push_back(static_cast<idx_t>(adjncy.size()));
  }
  idx_t n = p.n;
  idx_t options[METIS_NOPTIONS];
  METIS_SetDefaultOptions(options);
  std::vector<idx_t> perm(p.n), iperm(p.n);
  METIS_NodeND(&n, xadj.data(), adjncy.data(), nullptr, options, perm.data(), iperm.data());
  std::vector<int32_t> order(p.n);
  for (int32_t v = 0; v < p.n; ++v) order[v] = iperm[v] + 1;
  return order;
}

void RunMetis(benchmark::State& state, const Pattern& p) {
  std::vector<int32_t> order;
  for (auto _ : state) {
    order = MetisOrder(p);
    benchmark::DoNotOptimize(order.data());
  }
  Report(state, p, Analyse(p, &order));
}

void BM_Metis2DGrid(benchmark::State& state) {
  RunMetis(state, Grid(static_cast<int32_t>(state.range(0)), 2));
}
BENCHMARK(BM_Metis2DGrid)->Arg(100)->Arg(250)->Arg(500)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_Metis3DGrid(benchmark::State& state) {
  RunMetis(state, Grid(static_cast<int32_t>(state.range(0)), 3));
}
BENCHMARK(BM_Metis3DGrid)->Arg(20)->Arg(40)->Arg(60)->Unit(benchmark::kMillisecond);

void BM_MetisBandedNormal(benchmark::State& state) {
  RunMetis(state, BandedNormal(static_cast<int32_t>(state.range(0))));
}
BENCHMARK(BM_MetisBandedNormal)->Arg(1000000)->Unit(benchmark::kMillisecond);
#endif

}  // namespace
