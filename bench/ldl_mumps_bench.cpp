// The LDL^T of the C++ interface (what dalvex-ldl runs) against sequential
// MUMPS through its public C API, in the same run, on generated matrices,
// each with minimum degree and with METIS nested dissection, on one BLAS
// thread unless a third argument gives the count.
//
//   bench_ldl_mumps                   every problem at its default size
//   bench_ldl_mumps lap3d 60          one problem with its size parameter
//   bench_ldl_mumps lap3d 60 2        the same with two BLAS threads
//
// Problems: lap2d k (k x k grid, 5-point), lap3d k (k^3 grid, 7-point),
// kkt2d k and kkt3d k (the grid Laplacian with a sparse constraint block B
// of one row per 4 (2D) or 8 (3D) grid points and a zero (2,2) block).
// Columns: seconds of analysis, factorization and solve, factor entries,
// the scaled residual ||Ax - b|| / (||A|| ||x|| + ||b||) of b = A 1, and our
// time over MUMPS's per phase. Then auto's choice and both forecasts.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "dalvex/dalvex.hpp"

#ifdef DALVEX_HAVE_MUMPS
#include <dmumps_c.h>
#include <mumps_seq/mpi.h>

#include "mumps_controls.h"
#endif

extern "C" void openblas_set_num_threads(int) __attribute__((weak));

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point t0) {
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

// The lower triangle in coordinates from 0.
struct Lower {
  int32_t n = 0;
  std::vector<int32_t> rows, columns;
  std::vector<double> values;
  void Add(int32_t i, int32_t j, double v) {
    rows.push_back(std::max(i, j));
    columns.push_back(std::min(i, j));
    values.push_back(v);
  }
};

// The grid Laplacian in `dims` dimensions of k points each, 2*dims on the
// diagonal, -1 to each neighbour.
Lower GridLaplacian(int32_t k, int dims) {
  Lower m;
  m.n = dims == 2 ? k * k : k * k * k;
  const int32_t stride[3] = {1, k, k * k};
  for (int32_t v = 0; v < m.n; ++v) {
    m.Add(v, v, 2.0 * dims);
    for (int d = 0; d < dims; ++d) {
      if ((v / stride[d]) % k + 1 < k) m.Add(v + stride[d], v, -1.0);
    }
  }
  return m;
}

// [H B^T; B 0]: each constraint row couples three consecutive grid points
// of a block of `every` points.
Lower SaddlePoint(int32_t k, int dims) {
  Lower m = GridLaplacian(k, dims);
  const int32_t nh = m.n, every = dims == 2 ? 4 : 8;
  for (int32_t r = 0; (r + 1) * every <= nh; ++r) {
    m.Add(nh + r, r * every, 1.0);
    m.Add(nh + r, r * every + 1, -1.0);
    m.Add(nh + r, r * every + 2, 0.5);
  }
  m.n = nh + nh / every;
  return m;
}

struct Result {
  double analyse = 0, factor = 0, solve = 0, residual = NAN;
  double entries = 0;
  bool ok = false;
};

Result RunDalvex(const Lower& m, dalvex::Ordering ordering) {
  Result r;
  const auto a = dalvex::SymmetricMatrix::FromCoordinates(m.n, m.rows, m.columns, m.values,
                                                          dalvex::Triangle::kLower);
  dalvex::LDLTOptions o;
  o.ordering = ordering;
  dalvex::LDLT ldlt(o);
  auto t0 = Clock::now();
  ldlt.Analyse(a);
  r.analyse = Since(t0);
  t0 = Clock::now();
  r.ok = ldlt.Factorize(a) == dalvex::FactorStatus::kSuccess;
  r.factor = Since(t0);
  std::vector<double> b(static_cast<size_t>(m.n));
  a.Multiply(std::vector<double>(b.size(), 1.0), b);
  dalvex::SolveOptions s;
  s.compute_residual = true;
  t0 = Clock::now();
  const dalvex::SolveReport report = ldlt.SolveInPlace(b, s);
  r.solve = Since(t0);
  r.residual = report.scaled_residual;
  r.entries = static_cast<double>(ldlt.statistics().factor_entries);
  return r;
}

#ifdef DALVEX_HAVE_MUMPS
// MUMPS, symmetric indefinite (SYM = 2), with AMD (ICNTL(7) = 0) or METIS
// (5); the order it used is INFOG(7).
Result RunMumps(const Lower& m, int ordering, int* used) {
  Result r;
  DMUMPS_STRUC_C id;
  std::memset(&id, 0, sizeof id);
  id.comm_fortran = -987654;  // the sequential library's "world"
  id.par = 1;
  id.sym = 2;
  id.job = -1;
  dmumps_c(&id);
  std::vector<MUMPS_INT> irn(m.rows.size()), jcn(m.columns.size());
  for (size_t k = 0; k < irn.size(); ++k) {
    irn[k] = m.rows[k] + 1;
    jcn[k] = m.columns[k] + 1;
  }
  std::vector<double> a = m.values, rhs(static_cast<size_t>(m.n), 0.0);
  for (size_t k = 0; k < a.size(); ++k) {  // b = A 1
    rhs[m.rows[k]] += a[k];
    if (m.rows[k] != m.columns[k]) rhs[m.columns[k]] += a[k];
  }
  const std::vector<double> b = rhs;
  id.n = m.n;
  id.nnz = static_cast<MUMPS_INT8>(a.size());
  id.irn = irn.data();
  id.jcn = jcn.data();
  id.a = a.data();
  id.rhs = rhs.data();
  Icntl(id, kMumpsErrorStream) = Icntl(id, kMumpsWarningStream) = Icntl(id, kMumpsInfoStream) = -1;
  Icntl(id, kMumpsPrintLevel) = 0;
  Icntl(id, kMumpsOrdering) = ordering;
  auto phase = [&](int job) {
    id.job = job;
    const auto t0 = Clock::now();
    dmumps_c(&id);
    return Since(t0);
  };
  r.analyse = phase(1);
  *used = id.infog[6];
  if (id.infog[0] >= 0) r.factor = phase(2);
  if (id.infog[0] >= 0) r.solve = phase(3);
  r.ok = id.infog[0] >= 0;
  r.entries = static_cast<double>(id.infog[28]);  // INFOG(29): entries in the factors
  double err = 0.0, xn = 0.0, bn = 0.0, an = 0.0;
  std::vector<double> ax(static_cast<size_t>(m.n), 0.0), rows(static_cast<size_t>(m.n), 0.0);
  for (size_t k = 0; k < a.size(); ++k) {
    ax[m.rows[k]] += m.values[k] * rhs[m.columns[k]];
    rows[m.rows[k]] += std::fabs(m.values[k]);
    if (m.rows[k] != m.columns[k]) {
      ax[m.columns[k]] += m.values[k] * rhs[m.rows[k]];
      rows[m.columns[k]] += std::fabs(m.values[k]);
    }
  }
  for (int32_t i = 0; i < m.n; ++i) {
    err = std::max(err, std::fabs(ax[i] - b[i]));
    xn = std::max(xn, std::fabs(rhs[i]));
    bn = std::max(bn, std::fabs(b[i]));
    an = std::max(an, rows[i]);
  }
  r.residual = err / (an * xn + bn);
  id.job = -2;
  dmumps_c(&id);
  return r;
}
#endif

void Print(
    const char* problem, int32_t n, const char* solver, const char* ordering, const Result& r) {
  std::printf("%-10s %8d %-7s %-6s %8.3f %8.3f %8.4f %12.4g %10.2e%s\n", problem, n, solver,
              ordering, r.analyse, r.factor, r.solve, r.entries, r.residual,
              r.ok ? "" : "  FAILED");
}

void RunProblem(const std::string& name, int32_t k) {
  const bool saddle = name.rfind("kkt", 0) == 0;
  const int dims = name.back() == 'd' && name[name.size() - 2] == '3' ? 3 : 2;
  const Lower m = saddle ? SaddlePoint(k, dims) : GridLaplacian(k, dims);
  const std::string label = name + " " + std::to_string(k);
  for (dalvex::Ordering ordering : {dalvex::Ordering::kAmd, dalvex::Ordering::kMetis}) {
    const char* oname = dalvex::to_string(ordering);
    const Result ours = RunDalvex(m, ordering);
    Print(label.c_str(), m.n, "dalvex", oname, ours);
#ifdef DALVEX_HAVE_MUMPS
    if (std::getenv("DALVEX_BENCH_NO_PEER") == nullptr) {
      int used = -1;
      const Result peer = RunMumps(m, ordering == dalvex::Ordering::kAmd ? 0 : 5, &used);
      const std::string used_name = used == 0   ? "amd"
                                    : used == 5 ? "metis"
                                                : "ord" + std::to_string(used);
      Print(label.c_str(), m.n, "mumps", used_name.c_str(), peer);
      std::printf("%-10s %8s ours/MUMPS %-6s analyse %.2f  factorize %.2f  solve %.2f\n", "", "",
                  oname, ours.analyse / peer.analyse, ours.factor / peer.factor,
                  ours.solve / peer.solve);
    }
#endif
  }
  dalvex::LDLTOptions o;
  o.ordering = dalvex::Ordering::kAuto;
  dalvex::LDLT ldlt(o);
  ldlt.Analyse(dalvex::SymmetricMatrix::FromCoordinates(m.n, m.rows, m.columns, {},
                                                        dalvex::Triangle::kLower));
  const dalvex::LDLTStatistics& s = ldlt.statistics();
  std::printf("%-10s %8s auto picks %s: forecast flops amd %.4g, metis %.4g%s\n\n", label.c_str(),
              "", dalvex::to_string(s.ordering), s.amd_forecast_flops, s.metis_forecast_flops,
              s.forecast_flops > std::min(s.amd_forecast_flops, s.metis_forecast_flops)
                  ? "  WRONG: the larger forecast"
                  : "");
}

}  // namespace

int main(int argc, char** argv) {
  const int threads = argc >= 4 ? std::max(1, std::atoi(argv[3])) : 1;
  setenv("OPENBLAS_NUM_THREADS", std::to_string(threads).c_str(), 1);
#ifdef DALVEX_HAVE_MUMPS
  MPI_Init(&argc, &argv);
#endif
  if (openblas_set_num_threads != nullptr) openblas_set_num_threads(threads);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  std::printf("%-10s %8s %-7s %-6s %8s %8s %8s %12s %10s\n", "problem", "n", "solver", "order",
              "analyse", "factor", "solve", "factors", "residual");
  if (argc >= 3) {
    RunProblem(argv[1], std::atoi(argv[2]));
  } else {
    const std::pair<const char*, int32_t> problems[] = {
        {"lap2d", 500}, {"lap3d", 40}, {"kkt2d", 500}, {"kkt3d", 40}, {"lap3d", 60}};
    for (const auto& [name, k] : problems) RunProblem(name, k);
  }
#ifdef DALVEX_HAVE_MUMPS
  MPI_Finalize();
#endif
  return 0;
}
