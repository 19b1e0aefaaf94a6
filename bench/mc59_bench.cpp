// MC59AD mode 1 (the plug-in's call: checking on, rows ordered, pattern only)
// on patterns of 1e5 to 1e7 entries; the counter "time_per_entry" is the time
// divided by NE. The routine is linear in NE + NC + NR.
//
// Banded: the order in which a host hands over a process model's Jacobian,
// equation by equation, each touching variables near its own. The time per
// entry stays flat over the whole range.
// Scattered: row and column numbers uniformly random over the whole matrix.
// Every pass of the routine then jumps around memory, and once the arrays
// outgrow the caches each entry costs a few memory latencies; the time per
// entry grows with the arrays for that reason alone.
#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "pemric/mc59.h"
#include "pemric/one_based.h"

namespace {

using pemric::At;

// About ten entries per row of an n x n matrix, n = NE / 10, a few repeated.
void MakePattern(bool banded, int32_t ne, std::vector<int32_t>& rows, std::vector<int32_t>& cols,
                 int32_t& n) {
  n = std::max(1, ne / 10);
  std::mt19937 gen(12345);
  std::uniform_int_distribution<int32_t> index(1, n), offset(-20, 20);
  rows.resize(ne);
  cols.resize(ne);
  for (int32_t k = 0; k < ne; ++k) {
    rows[k] = banded ? k / 10 + 1 : index(gen);
    cols[k] = banded ? std::clamp(rows[k] + offset(gen), 1, n) : index(gen);
  }
}

void BM_MC59ModeOne(benchmark::State& state, bool banded) {
  const int32_t ne = static_cast<int32_t>(state.range(0));
  std::vector<int32_t> rows0, cols0;
  int32_t n = 0;
  MakePattern(banded, ne, rows0, cols0, n);
  std::vector<int32_t> irn(ne), jcn(ne), ip(n + 1), iw(n + 1);
  // Checked, ordered coordinate input of a pattern alone, silent.
  int32_t icntl[MC59_LICNTL] = {};
  At(icntl)(MC59_ICNTL_NO_CHECK) = 0;
  At(icntl)(MC59_ICNTL_MODE) = MC59_MODE_COORDINATE_ORDERED;
  At(icntl)(MC59_ICNTL_PATTERN_ONLY) = 1;
  At(icntl)(MC59_ICNTL_ERROR_STREAM) = -1;
  At(icntl)(MC59_ICNTL_WARNING_STREAM) = -1;
  At(icntl)(MC59_ICNTL_SYMMETRIC) = 0;
  int32_t info[MC59_LINFO];
  const int32_t la = 1, n1 = n + 1;
  double a = 0.0;
  for (auto _ : state) {
    state.PauseTiming();
    irn = rows0;
    jcn = cols0;
    state.ResumeTiming();
    MC59AD(icntl, &n, &n, &ne, irn.data(), &ne, jcn.data(), &la, &a, &n1, ip.data(), &n1,
           iw.data(), info);
    benchmark::DoNotOptimize(ip.data());
  }
  if (At(info)(MC59_INFO_STATUS) < 0) state.SkipWithError("MC59AD failed");
  state.counters["time_per_entry"] = benchmark::Counter(
      static_cast<double>(ne),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK_CAPTURE(BM_MC59ModeOne, Banded, true)
    ->RangeMultiplier(10)
    ->Range(100000, 10000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MC59ModeOne, Scattered, false)
    ->RangeMultiplier(10)
    ->Range(100000, 10000000)
    ->Unit(benchmark::kMillisecond);

}  // namespace
