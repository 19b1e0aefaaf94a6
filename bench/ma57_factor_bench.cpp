// Timing of the three phases of the sparse symmetric solver on generated
// matrices, with the factorization rate set against the one-thread DGEMM rate
// measured in the same run, on one thread unless a thread count is given.
//
//   bench_ma57_factor                 every problem at its default size
//   bench_ma57_factor lap3d 40        one problem with its size parameter
//   bench_ma57_factor lap3d 60 2      the same on two threads
//   bench_ma57_factor all 0 2         every problem at its default size, two threads
//
// The thread count goes to the factorization (DALVEX_NUM_THREADS) and to the
// process's BLAS (OPENBLAS_NUM_THREADS), which MUMPS uses. When the sequential
// MUMPS library is available it factorizes the same matrix through its public
// API, once with its own ordering and once with ours (PERM_IN), and the
// ratios our time / MUMPS time are printed per phase; DALVEX_BENCH_NO_PEER=1
// leaves MUMPS out (for quick tuning runs), DALVEX_BENCH_NO_RATES=1 the DGEMM
// rates (for instruction counts under callgrind).
//
// Problems: lap2d k (k x k grid, 5-point), lap3d k (k^3 grid, 7-point),
// kkt k (2D Laplacian of k^2 unknowns with a sparse constraint block and a
// zero (2,2) block), bratu k (J^T J + 1e-3 I, J the k x k Bratu Jacobian),
// banded n (J^T J + 1e-3 I, J bidiagonal of order n).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "pemric/blas.h"
#include "pemric/ma57.h"
#include "pemric/one_based.h"

#ifdef DALVEX_HAVE_MUMPS
#include <dmumps_c.h>
#include <mumps_seq/mpi.h>

#include "mumps_controls.h"
#endif

extern "C" void openblas_set_num_threads(int) __attribute__((weak));

namespace {

using pemric::At;

struct Coo {
  int32_t n = 0;
  std::vector<int32_t> irn, jcn;
  std::vector<double> a;
  void Add(int32_t i, int32_t j, double v) {
    irn.push_back(i);
    jcn.push_back(j);
    a.push_back(v);
  }
};

double Seconds(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

Coo Laplacian2d(int32_t k) {
  Coo m;
  m.n = k * k;
  auto id = [k](int32_t i, int32_t j) { return i * k + j + 1; };
  for (int32_t i = 0; i < k; ++i) {
    for (int32_t j = 0; j < k; ++j) {
      m.Add(id(i, j), id(i, j), 4.0);
      if (i + 1 < k) m.Add(id(i, j), id(i + 1, j), -1.0);
      if (j + 1 < k) m.Add(id(i, j), id(i, j + 1), -1.0);
    }
  }
  return m;
}

Coo Laplacian3d(int32_t k) {
  Coo m;
  m.n = k * k * k;
  auto id = [k](int32_t i, int32_t j, int32_t l) { return (i * k + j) * k + l + 1; };
  for (int32_t i = 0; i < k; ++i) {
    for (int32_t j = 0; j < k; ++j) {
      for (int32_t l = 0; l < k; ++l) {
        m.Add(id(i, j, l), id(i, j, l), 6.0);
        if (i + 1 < k) m.Add(id(i, j, l), id(i + 1, j, l), -1.0);
        if (j + 1 < k) m.Add(id(i, j, l), id(i, j + 1, l), -1.0);
        if (l + 1 < k) m.Add(id(i, j, l), id(i, j, l + 1), -1.0);
      }
    }
  }
  return m;
}

// Saddle point [H B^T; B 0]: H the 2D Laplacian, B with k^2/4 rows, each
// coupling a 2 x 2 patch of grid points (a local constraint), and a zero
// (2,2) block.
Coo Kkt(int32_t k) {
  Coo m = Laplacian2d(k);
  const int32_t nh = m.n;
  int32_t r = 0;
  for (int32_t i = 0; i + 1 < k; i += 2) {
    for (int32_t j = 0; j + 1 < k; j += 2) {
      ++r;
      m.Add(nh + r, i * k + j + 1, 1.0);
      m.Add(nh + r, i * k + j + 2, -1.0);
      m.Add(nh + r, (i + 1) * k + j + 1, 0.5);
    }
  }
  m.n = nh + r;
  return m;
}

// Lower triangle of J^T J + lambda I for J given by columns (row lists).
Coo NormalMatrix(int32_t n, const std::vector<std::vector<std::pair<int32_t, double>>>& rows,
                 double lambda) {
  std::vector<std::map<int32_t, double>> cols(static_cast<size_t>(n) + 1);
  for (const auto& row : rows) {
    for (const auto& [i, vi] : row) {
      for (const auto& [j, vj] : row) {
        if (j >= i) cols[i][j] += vi * vj;
      }
    }
  }
  Coo m;
  m.n = n;
  for (int32_t i = 1; i <= n; ++i) {
    cols[i][i] += lambda;
    for (const auto& [j, v] : cols[i]) m.Add(i, j, v);
  }
  return m;
}

Coo Bratu(int32_t k) {
  const int32_t n = k * k;
  const double h2 = 1.0 / ((k + 1.0) * (k + 1.0));
  std::vector<std::vector<std::pair<int32_t, double>>> rows;
  auto id = [k](int32_t i, int32_t j) { return i * k + j + 1; };
  for (int32_t i = 0; i < k; ++i) {
    for (int32_t j = 0; j < k; ++j) {
      std::vector<std::pair<int32_t, double>> r{{id(i, j), 4.0 - h2 * 6.8}};
      if (i > 0) r.push_back({id(i - 1, j), -1.0});
      if (i + 1 < k) r.push_back({id(i + 1, j), -1.0});
      if (j > 0) r.push_back({id(i, j - 1), -1.0});
      if (j + 1 < k) r.push_back({id(i, j + 1), -1.0});
      rows.push_back(r);
    }
  }
  return NormalMatrix(n, rows, 1e-3);
}

Coo Banded(int32_t n) {
  std::vector<std::vector<std::pair<int32_t, double>>> rows;
  for (int32_t i = 1; i <= n; ++i) {
    std::vector<std::pair<int32_t, double>> r{{i, 2.0}};
    if (i < n) r.push_back({i + 1, -1.0});
    rows.push_back(r);
  }
  return NormalMatrix(n, rows, 1e-3);
}

// Rate of a square DGEMM and of a rank-16 update of the same order.
void DgemmRates(double& square, double& rank16) {
  const int32_t n = 2000;
  std::vector<double> a(static_cast<size_t>(n) * n, 0.5), b(a), c(a);
  auto rate = [&](int32_t k) {
    pemric::blas::Dgemm('N', 'N', n, n, k, 1.0, a.data(), n, b.data(), n, 1.0, c.data(), n);
    int reps = 0;
    const auto t0 = std::chrono::steady_clock::now();
    do {
      pemric::blas::Dgemm('N', 'N', n, n, k, 1.0, a.data(), n, b.data(), n, 1.0, c.data(), n);
      ++reps;
    } while (Seconds(t0) < 1.0);
    return 2.0 * n * n * static_cast<double>(k) * reps / Seconds(t0) * 1e-9;
  };
  square = rate(n);
  rank16 = rate(16);
}

#ifdef DALVEX_HAVE_MUMPS
struct PhaseTimes {
  double analyse = 0.0, factor = 0.0, solve = 0.0;
  bool ok = false;
};

// One analysis, factorization and solve with sequential MUMPS (symmetric
// indefinite, SYM = 2), with our pivot order when `order` is given.
PhaseTimes RunMumps(const Coo& m, const int32_t* order) {
  PhaseTimes t;
  DMUMPS_STRUC_C id;
  std::memset(&id, 0, sizeof id);
  id.comm_fortran = -987654;  // the "world" communicator of the sequential library
  id.par = 1;
  id.sym = 2;
  id.job = -1;
  dmumps_c(&id);
  std::vector<MUMPS_INT> irn(m.irn.begin(), m.irn.end()), jcn(m.jcn.begin(), m.jcn.end());
  std::vector<double> a = m.a, rhs(static_cast<size_t>(m.n), 1.0);
  std::vector<MUMPS_INT> perm;
  id.n = m.n;
  id.nnz = static_cast<MUMPS_INT8>(a.size());
  id.irn = irn.data();
  id.jcn = jcn.data();
  id.a = a.data();
  id.rhs = rhs.data();
  Icntl(id, kMumpsErrorStream) = Icntl(id, kMumpsWarningStream) = Icntl(id, kMumpsInfoStream) = -1;
  Icntl(id, kMumpsPrintLevel) = 0;
  if (order != nullptr) {
    perm.assign(order, order + m.n);
    id.perm_in = perm.data();
    Icntl(id, kMumpsOrdering) = 1;
  }
  auto phase = [&](int job) {
    id.job = job;
    const auto t0 = std::chrono::steady_clock::now();
    dmumps_c(&id);
    return Seconds(t0);
  };
  t.analyse = phase(1);
  if (id.infog[0] >= 0) t.factor = phase(2);
  if (id.infog[0] >= 0) t.solve = phase(3);
  t.ok = id.infog[0] >= 0;
  id.job = -2;
  dmumps_c(&id);
  return t;
}
#endif

// ||A x - b||_inf / (||A||_inf ||x||_inf + ||b||_inf) for b all ones, A given
// by one triangle (entries off the diagonal count twice).
double ScaledResidual(const Coo& m, const std::vector<double>& x) {
  std::vector<double> r(static_cast<size_t>(m.n), -1.0), rowsum(static_cast<size_t>(m.n), 0.0);
  for (size_t e = 0; e < m.a.size(); ++e) {
    const int32_t i = m.irn[e] - 1, j = m.jcn[e] - 1;
    r[i] += m.a[e] * x[j];
    rowsum[i] += std::fabs(m.a[e]);
    if (i != j) {
      r[j] += m.a[e] * x[i];
      rowsum[j] += std::fabs(m.a[e]);
    }
  }
  double rmax = 0.0, anorm = 0.0, xmax = 0.0;
  for (int32_t i = 0; i < m.n; ++i) {
    rmax = std::max(rmax, std::fabs(r[i]));
    anorm = std::max(anorm, rowsum[i]);
    xmax = std::max(xmax, std::fabs(x[i]));
  }
  return rmax / (anorm * xmax + 1.0);
}

void Run(const std::string& name, const Coo& m, double dgemm_rate) {
  const int32_t n = m.n, ne = static_cast<int32_t>(m.a.size());
  std::vector<int32_t> irn = m.irn, jcn = m.jcn;
  const int64_t lkeep64 = 5 * int64_t{n} + ne + std::max(n, ne) + 42;
  std::vector<int32_t> keep(static_cast<size_t>(lkeep64)), iwrk(static_cast<size_t>(5 * n));
  int32_t icntl[MA57_LICNTL], info[MA57_LINFO];
  double cntl[MA57_LCNTL], rinfo[MA57_LRINFO];
  MA57SetDefaults(cntl, icntl);
  At(icntl)(MA57_ICNTL_PRINT_LEVEL) = 0;
  const int32_t lkeep = static_cast<int32_t>(lkeep64);
  auto t0 = std::chrono::steady_clock::now();
  MA57AD(&n, &ne, irn.data(), jcn.data(), &lkeep, keep.data(), iwrk.data(), icntl, info, rinfo);
  const double t_analysis = Seconds(t0);
  if (At(info)(MA57_INFO_STATUS) < 0) {
    std::printf("%-8s analysis failed, INFO(1) = %d\n", name.c_str(), At(info)(MA57_INFO_STATUS));
    return;
  }
  // The forecast with compresses; a second call with the returned forecasts
  // if pivots were delayed beyond it.
  int64_t lfact = static_cast<int64_t>(At(info)(MA57_INFO_FACT_COMPRESS)) * 6 / 5 + 1000;
  const char* limit = std::getenv("DALVEX_BENCH_MAX_GB");
  const double max_gb = limit != nullptr ? std::atof(limit) : 6.0;
  if (static_cast<double>(lfact) * 8e-9 > max_gb) {
    std::printf("%-8s %9d skipped: FACT would take %.1f GB (DALVEX_BENCH_MAX_GB = %.1f)\n",
                name.c_str(), n, static_cast<double>(lfact) * 8e-9, max_gb);
    return;
  }
  int64_t lifact = static_cast<int64_t>(At(info)(MA57_INFO_IFACT_COMPRESS)) * 6 / 5 + 1000;
  std::vector<double> fact;
  std::vector<int32_t> ifact, pivseq(static_cast<size_t>(n));
  double t_factor = 0.0;
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (lfact > INT32_MAX || lifact > INT32_MAX) {
      std::printf("%-8s factors need more than 2^31 entries\n", name.c_str());
      return;
    }
    fact.assign(static_cast<size_t>(lfact), 0.0);
    ifact.assign(static_cast<size_t>(lifact), 0);
    const int32_t lf = static_cast<int32_t>(lfact), li = static_cast<int32_t>(lifact);
    t0 = std::chrono::steady_clock::now();
    MA57BD(&n, &ne, m.a.data(), fact.data(), &lf, ifact.data(), &li, &lkeep, keep.data(),
           pivseq.data(), icntl, cntl, info, rinfo);
    t_factor = Seconds(t0);
    if (At(info)(MA57_INFO_STATUS) == -3) {
      lfact = At(info)(MA57_INFO_MIN_LFACT_COMPRESS);
    } else if (At(info)(MA57_INFO_STATUS) == -4) {
      lifact = std::max<int64_t>(At(info)(MA57_INFO_MIN_LIFACT_COMPRESS), 2 * lifact);
    } else {
      break;
    }
  }
  if (At(info)(MA57_INFO_STATUS) < 0) {
    std::printf("%-8s factorization failed, INFO(1) = %d\n", name.c_str(),
                At(info)(MA57_INFO_STATUS));
    return;
  }
  // DALVEX_BENCH_REPEAT=k factorizes k - 1 times more in the same arrays (as
  // a solver's iterations do: the pages are the process's already) and
  // prints each call's wall and CPU seconds (all threads), for comparing
  // thread counts on a machine that others load too.
  const char* repeat = std::getenv("DALVEX_BENCH_REPEAT");
  for (int r = 1; repeat != nullptr && r < std::atoi(repeat); ++r) {
    const int32_t lf = static_cast<int32_t>(lfact), li = static_cast<int32_t>(lifact);
    timespec c0{}, c1{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &c0);
    t0 = std::chrono::steady_clock::now();
    MA57BD(&n, &ne, m.a.data(), fact.data(), &lf, ifact.data(), &li, &lkeep, keep.data(),
           pivseq.data(), icntl, cntl, info, rinfo);
    const double wall = Seconds(t0);
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &c1);
    std::printf("%-8s   again: factor %.3f s, CPU %.3f s\n", "", wall,
                static_cast<double>(c1.tv_sec - c0.tv_sec) + 1e-9 * static_cast<double>(c1.tv_nsec - c0.tv_nsec));
    t_factor = std::min(t_factor, wall);
  }
  std::vector<double> x(static_cast<size_t>(n), 1.0), w(static_cast<size_t>(n));
  std::vector<int32_t> iwblk(static_cast<size_t>(n));
  const int32_t job = 1, nrhs = 1, lf = static_cast<int32_t>(lfact),
                li = static_cast<int32_t>(lifact);
  t0 = std::chrono::steady_clock::now();
  MA57CD(&job, &n, fact.data(), &lf, ifact.data(), &li, &nrhs, x.data(), &n, w.data(), &n,
         iwblk.data(), icntl, info);
  double t_solve = Seconds(t0);
  // DALVEX_BENCH_SOLVES=k solves k - 1 times more with the same factors (as
  // a solver's iterations do), prints each call's wall seconds and keeps the
  // median, for comparing thread counts on a machine that others load too.
  // Beyond ten solves only the median, the fastest and the slowest call are
  // printed, in microseconds, for timing the solution of small matrices.
  const char* solves = std::getenv("DALVEX_BENCH_SOLVES");
  if (solves != nullptr && std::atoi(solves) > 1) {
    const int count = std::atoi(solves);
    std::vector<double> times{t_solve};
    for (int r = 1; r < count; ++r) {
      std::fill(x.begin(), x.end(), 1.0);
      t0 = std::chrono::steady_clock::now();
      MA57CD(&job, &n, fact.data(), &lf, ifact.data(), &li, &nrhs, x.data(), &n, w.data(), &n,
             iwblk.data(), icntl, info);
      times.push_back(Seconds(t0));
      if (count <= 10) std::printf("%-8s   again: solve %.4f s\n", "", times.back());
    }
    std::sort(times.begin(), times.end());
    t_solve = times[times.size() / 2];
    if (count > 10) {
      std::printf("%-8s   %d solves: median %.1f us, fastest %.1f us, slowest %.1f us\n", "",
                  count, t_solve * 1e6, times.front() * 1e6, times.back() * 1e6);
    }
  }
  const double gflops = At(rinfo)(MA57_RINFO_ELIMINATION_OPS) / t_factor * 1e-9;
  std::printf("%-8s %9d %11.3e %6d %8.3f %8.3f %8.4f %8.2f %6.2f %9.2e\n", name.c_str(), n,
              static_cast<double>(At(info)(MA57_INFO_FACTOR_ENTRIES)),
              At(info)(MA57_INFO_LARGEST_FRONT), t_analysis, t_factor, t_solve, gflops,
              gflops / dgemm_rate, ScaledResidual(m, x));
#ifdef DALVEX_HAVE_MUMPS
  if (std::getenv("DALVEX_BENCH_NO_PEER") != nullptr) return;  // ours only, for tuning
  const PhaseTimes own = RunMumps(m, nullptr), same = RunMumps(m, keep.data());
  auto ratios = [&](const char* label, const PhaseTimes& t) {
    if (!t.ok) {
      std::printf("%-8s   MUMPS (%s) failed\n", "", label);
      return;
    }
    std::printf("%-8s   ours / MUMPS (%s): analyse %.2f, factor %.2f, solve %.2f\n", "", label,
                t_analysis / t.analyse, t_factor / t.factor, t_solve / t.solve);
  };
  ratios("its order", own);
  ratios("our order", same);
#endif
}

}  // namespace

int main(int argc, char** argv) {
  const int threads = argc >= 4 ? std::max(1, std::atoi(argv[3])) : 1;
  setenv("OPENBLAS_NUM_THREADS", std::to_string(threads).c_str(), 1);
  setenv("DALVEX_NUM_THREADS", std::to_string(threads).c_str(), 1);
#ifdef DALVEX_HAVE_MUMPS
  MPI_Init(&argc, &argv);
#endif
  if (openblas_set_num_threads != nullptr) openblas_set_num_threads(threads);
  double square = 0.0, rank16 = 0.0;
  // DALVEX_BENCH_NO_RATES=1 skips the DGEMM rates (runs under callgrind).
  if (std::getenv("DALVEX_BENCH_NO_RATES") == nullptr) {
    DgemmRates(square, rank16);
  } else {
    square = rank16 = 1.0;
  }
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  std::printf("%d thread%s; one-thread DGEMM: %.2f GFLOP/s square (2000), %.2f GFLOP/s rank 16\n\n",
              threads, threads == 1 ? "" : "s", square, rank16);
  std::printf("%-8s %9s %11s %6s %8s %8s %8s %8s %6s %9s\n", "problem", "n", "factors", "front",
              "analyse", "factor", "solve", "GFLOP/s", "/DGEMM", "residual");
  struct Problem {
    const char* name;
    int32_t size;
    Coo (*make)(int32_t);
  };
  const Problem problems[] = {{"lap2d", 500, Laplacian2d}, {"lap3d", 60, Laplacian3d},
                              {"kkt", 300, Kkt},           {"bratu", 500, Bratu},
                              {"banded", 1000000, Banded}};
  for (const Problem& p : problems) {
    if (argc >= 2 && std::strcmp(argv[1], "all") != 0 && std::strcmp(argv[1], p.name) != 0) continue;
    const int32_t size = argc >= 3 && std::atoi(argv[2]) > 0 ? std::atoi(argv[2]) : p.size;
    Run(p.name, p.make(size), square);
  }
#ifdef DALVEX_HAVE_MUMPS
  MPI_Finalize();
#endif
  return 0;
}
