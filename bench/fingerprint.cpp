// One hash of everything the numeric routines return over a fixed set of
// cases, for a change meant to leave every result alone (a faster loop,
// threads, compiler options): build this program before and after the change
// and compare the lines it prints.
//
//   the MA57 phases on 2D and 3D Laplacians and on random definite,
//   indefinite and zero-diagonal matrices, in the four pivoting modes, with
//   several block sizes, in ample and in tight workspaces: KEEP, INFO, RINFO,
//   the factors and MA57CD's solutions (JOB 1 to 4, one and three
//   right-hand sides);
//   NS23AD on every problem of the problem library at two sizes, with
//   analytic and difference Jacobians, and on four larger problems: every
//   point it returns, IFLAG, INFO, RINFO and the final residuals.
//
// The hash covers the bytes, so it tells bitwise equality only; it is the
// same for every DALVEX_NUM_THREADS.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "pemric/ma57.h"
#include "pemric/ns23.h"
#include "pemric/one_based.h"
#include "problems/problem.h"
#include "problems/registry.h"

namespace {

using pemric::At;

// FNV-1a over every byte given to it.
class Fingerprint {
 public:
  void Add(const void* data, size_t bytes) {
    const auto* c = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < bytes; ++i) hash_ = (hash_ ^ c[i]) * 1099511628211ull;
  }
  template <typename T>
  void Add(const std::vector<T>& v, size_t count) {
    Add(v.data(), sizeof(T) * std::min(count, v.size()));
  }
  void Count() { ++cases_; }
  void Print(const char* label) const {
    std::printf("%-6s %4ld cases  %016llx\n", label, cases_, static_cast<unsigned long long>(hash_));
  }

 private:
  uint64_t hash_ = 1469598103934665603ull;
  long cases_ = 0;
};

// A symmetric matrix by its lower or upper entries, 1-based.
struct Coordinates {
  int32_t n = 0;
  std::vector<int32_t> row, col;
  std::vector<double> value;
  void Add(int32_t i, int32_t j, double v) {
    row.push_back(i);
    col.push_back(j);
    value.push_back(v);
  }
};

// The (2d + shift)-diagonal Laplacian on a grid of k points per side.
Coordinates Laplacian(int32_t k, int dims, double shift) {
  Coordinates m;
  m.n = 1;
  for (int d = 0; d < dims; ++d) m.n *= k;
  for (int32_t v = 0; v < m.n; ++v) {
    m.Add(v + 1, v + 1, 2.0 * dims + shift);
    for (int32_t step = 1, d = 0; d < dims; ++d, step *= k) {
      if ((v / step) % k + 1 < k) m.Add(v + 1, v + step + 1, -1.0);
    }
  }
  return m;
}

enum class Diagonal { kDominant, kIndefinite, kSomeZero };

// `per_row` random off-diagonal entries per row, values in (-1, 1).
Coordinates Random(int32_t n, int per_row, Diagonal diagonal, unsigned seed) {
  std::mt19937 engine(seed);
  std::uniform_real_distribution<double> value(-1.0, 1.0);
  std::uniform_int_distribution<int32_t> column(1, n);
  Coordinates m;
  m.n = n;
  for (int32_t i = 1; i <= n; ++i) {
    if (diagonal == Diagonal::kDominant) {
      m.Add(i, i, 2.0 * per_row + value(engine));
    } else if (diagonal == Diagonal::kIndefinite || i % 3 != 0) {
      m.Add(i, i, value(engine));
    }
    for (int k = 0; k < per_row; ++k) {
      const int32_t j = column(engine);
      if (j != i) m.Add(i, j, value(engine));
    }
  }
  return m;
}

// KEEP without the slots of its saved-state area that no suspension uses
// (slots 5, 26 and 37..40 of KEEP(N+3..N+42)): they hold the phases'
// protocol stamps, checksums rather than results.
void AddKeep(Fingerprint& fp, std::vector<int32_t> keep, int32_t n) {
  for (int32_t slot : {5, 26, 37, 38, 39, 40}) keep[static_cast<size_t>(n + 2 + slot - 1)] = 0;
  fp.Add(keep, keep.size());
}

// Analysis, factorization (LFACT and LIFACT raised after -3 and -4) and the
// four solution jobs, everything returned added to `fp`. `tight`: start from
// the smallest forecasts rather than twice them.
void Ma57Case(Fingerprint& fp, const Coordinates& m, int32_t mode, int32_t nb, bool tight) {
  int32_t icntl[MA57_LICNTL];
  double cntl[MA57_LCNTL];
  MA57SetDefaults(cntl, icntl);
  for (int k : {MA57_ICNTL_ERROR_STREAM, MA57_ICNTL_WARNING_STREAM, MA57_ICNTL_MONITOR_STREAM}) {
    At(icntl)(k) = -1;
  }
  At(icntl)(MA57_ICNTL_PIVOTING) = mode;
  At(icntl)(MA57_ICNTL_BLOCK_SIZE) = nb;
  if (mode != 1) At(cntl)(MA57_CNTL_ZERO_PIVOT) = 1e-12;
  int32_t n = m.n, ne = static_cast<int32_t>(m.value.size());
  std::vector<int32_t> irn = m.row, jcn = m.col;
  int32_t lkeep = 5 * n + ne + std::max(n, ne) + 42;
  std::vector<int32_t> keep(lkeep), iwork(5 * static_cast<size_t>(n));
  int32_t info[MA57_LINFO] = {};
  double rinfo[MA57_LRINFO] = {};
  MA57AD(&n, &ne, irn.data(), jcn.data(), &lkeep, keep.data(), iwork.data(), icntl, info, rinfo);
  fp.Add(info, sizeof info);
  AddKeep(fp, keep, n);
  if (At(info)(MA57_INFO_STATUS) < 0) return;
  const int factor = tight ? 1 : 2;
  int32_t lfact = factor * std::max(At(info)(MA57_INFO_FACT_NO_COMPRESS), 1);
  int32_t lifact = factor * std::max(At(info)(MA57_INFO_IFACT_NO_COMPRESS), 1);
  std::vector<double> fact(lfact);
  std::vector<int32_t> ifact(lifact), pivseq(n);
  int32_t binfo[MA57_LINFO] = {};
  double brinfo[MA57_LRINFO] = {};
  for (int attempt = 0; attempt < 3; ++attempt) {
    MA57BD(&n, &ne, m.value.data(), fact.data(), &lfact, ifact.data(), &lifact, &lkeep, keep.data(),
           pivseq.data(), icntl, cntl, binfo, brinfo);
    const int32_t status = At(binfo)(MA57_INFO_STATUS);
    if (status != MA57_ERR_LFACT && status != MA57_ERR_LIFACT) break;
    lfact = std::max(lfact, At(binfo)(MA57_INFO_MIN_LFACT_COMPRESS)) + 10;
    lifact = std::max(lifact, At(binfo)(MA57_INFO_MIN_LIFACT_COMPRESS)) + 10;
    fact.assign(lfact, 0.0);
    ifact.assign(lifact, 0);
  }
  fp.Add(binfo, sizeof binfo);
  fp.Add(brinfo, sizeof brinfo);
  AddKeep(fp, keep, n);
  if (At(binfo)(MA57_INFO_STATUS) < 0 || At(binfo)(MA57_INFO_STATUS) >= 10) return;
  fp.Add(fact, At(binfo)(MA57_INFO_REAL_STORAGE));
  fp.Add(ifact, At(binfo)(MA57_INFO_INTEGER_STORAGE));
  for (int32_t job = 1; job <= 4; ++job) {
    for (int32_t nrhs : {1, 3}) {
      std::vector<double> rhs(static_cast<size_t>(n) * nrhs);
      for (size_t i = 0; i < rhs.size(); ++i) rhs[i] = std::sin(1.0 + static_cast<double>(i));
      int32_t lw = n * nrhs + 10 * n + 100;
      std::vector<double> w(lw);
      std::vector<int32_t> iwblk(n);
      int32_t cinfo[MA57_LINFO] = {};
      MA57CD(&job, &n, fact.data(), &lfact, ifact.data(), &lifact, &nrhs, rhs.data(), &n, w.data(),
             &lw, iwblk.data(), icntl, cinfo);
      fp.Add(rhs, rhs.size());
      fp.Add(cinfo, 2 * sizeof(int32_t));
    }
  }
  fp.Count();
}

// NS23AD driven to its end (at most 300 evaluations), every point it returns
// added to `fp`; hmax > 0 asks for difference Jacobians.
void Ns23Case(Fingerprint& fp, const std::string& name, int32_t size, double hmax) {
  problems::ProblemOptions options;
  options.size = size;
  const auto problem = problems::MakeProblem(name, options);
  if (!problem) return;
  int32_t m = problem->NEqs(), n = problem->NVars();
  std::vector<int32_t> irn = problem->JacobianRows(), ip(n + 1, 0), aip(n + 1, 1);
  for (int32_t c : problem->JacobianCols()) ip[c] += 1;
  ip[0] = 1;
  for (int32_t j = 1; j <= n; ++j) ip[j] += ip[j - 1];
  std::vector<double> x(n), f(m), jacobian(std::max<size_t>(irn.size(), 1));
  int32_t icntl[NS23_LICNTL], keep[NS23_LKEEP] = {}, lkeep[NS23_LLKEEP] = {}, info[NS23_LINFO] = {};
  double cntl[NS23_LCNTL] = {}, rkeep[NS23_LRKEEP] = {}, rinfo[NS23_LRINFO] = {};
  NS23SetDefaults(icntl, cntl, keep, rkeep, lkeep);
  At(icntl)(NS23_ICNTL_STREAM) = 0;
  problem->StartingPoint(x.data());
  problem->Residuals(x.data(), f.data());
  if (hmax == 0.0) problem->JacobianValues(x.data(), jacobian.data());
  int32_t liw = 0, lw = 0;
  std::vector<int32_t> iw(1);
  std::vector<double> w(1);
  const double sac = 1e-20, stpmin = 0.0, zero = 0.0;
  const int32_t iprint = 0, maxfun = 300;
  int32_t iflag = 1;
  for (int calls = 0; calls < 5000; ++calls) {
    NS23AD(&m, &n, &sac, &stpmin, &maxfun, &iprint, irn.data(), ip.data(), &zero, aip.data(),
           aip.data(), &hmax, &liw, iw.data(), &lw, w.data(), x.data(), f.data(), jacobian.data(),
           &iflag, icntl, cntl, info, rinfo, keep, rkeep, lkeep);
    fp.Add(&iflag, sizeof iflag);
    fp.Add(x, x.size());
    if (iflag == NS23_ERR_LIW || iflag == NS23_ERR_WORKSPACE) {
      liw = std::max(liw, At(info)(NS23_INFO_LIW_NEEDED));
      lw = std::max(lw, At(info)(NS23_INFO_LW_NEEDED));
      iw.assign(liw, 0);
      w.assign(lw, 0.0);
      continue;
    }
    if (iflag <= 0) break;
    problem->Residuals(x.data(), f.data());
    if (hmax == 0.0 && (iflag == 2 || iflag == 5)) problem->JacobianValues(x.data(), jacobian.data());
  }
  fp.Add(info, sizeof info);
  fp.Add(rinfo, sizeof rinfo);
  fp.Add(f, f.size());
  fp.Count();
}

}  // namespace

int main() {
  Fingerprint ma57;
  for (int32_t k : {5, 12, 30, 60}) {
    for (int32_t mode = 1; mode <= 4; ++mode) {
      Ma57Case(ma57, Laplacian(k, 2, mode == 4 ? -3.0 : 0.01), mode, 16, false);
    }
  }
  for (int32_t k : {6, 12, 18, 24}) {
    for (int32_t nb : {1, 16, 64}) Ma57Case(ma57, Laplacian(k, 3, 0.0), 1, nb, false);
  }
  for (int32_t k : {10, 20}) Ma57Case(ma57, Laplacian(k, 3, -2.5), 1, 16, true);
  for (Diagonal d : {Diagonal::kDominant, Diagonal::kIndefinite, Diagonal::kSomeZero}) {
    for (int32_t n : {10, 100, 600, 1500}) {
      const unsigned seed = 77u * static_cast<unsigned>(n) + static_cast<unsigned>(d);
      const Coordinates m = Random(n, n > 200 ? 5 : 3, d, seed);
      for (int32_t mode = 1; mode <= 4; ++mode) {
        for (int32_t nb : {4, 16}) {
          for (bool tight : {false, true}) Ma57Case(ma57, m, mode, nb, tight);
        }
      }
    }
  }
  ma57.Print("MA57");

  Fingerprint ns23;
  for (const problems::RegistryEntry& e : problems::Registry()) {
    std::vector<int32_t> sizes = {0};
    if (e.default_size > 0) sizes = {e.min_size, std::min(e.max_size, e.default_size)};
    for (int32_t size : sizes) {
      for (double hmax : {0.0, 1e-7}) Ns23Case(ns23, e.name, size, hmax);
    }
  }
  const std::pair<const char*, int32_t> larger[] = {{"broyden-tridiagonal", 20000},
                                                    {"broyden-banded", 20000},
                                                    {"bratu-2d", 150},
                                                    {"discrete-boundary-value", 3000}};
  for (const auto& [name, size] : larger) {
    for (double hmax : {0.0, 1e-7}) Ns23Case(ns23, name, size, hmax);
  }
  ns23.Print("NS23AD");
  return 0;
}
