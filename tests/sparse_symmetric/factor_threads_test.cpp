// The factorization gives the same result for any thread count: matrix sets
// with large fronts, factorized and solved with 1, 2, 3 and 8 threads, give
// bitwise the same factors, statistics and solutions. And it runs on BLAS of
// its own: the process's BLAS is neither called nor set to other threads.
#include <cstring>
#if PEMRIC_PRIVATE_BLAS
#include <dlfcn.h>
#endif

#include "factor_support.h"
#include "ma57_frontal_state.h"
#include "ma57_threads.h"

// The process's BLAS: the system OpenBLAS, which LAPACK brings in.
extern "C" {
void dgemm_(const char* transa, const char* transb, const int32_t* m, const int32_t* n,
            const int32_t* k, const double* alpha, const double* a, const int32_t* lda,
            const double* b, const int32_t* ldb, const double* beta, double* c,
            const int32_t* ldc, size_t la, size_t lb);
}

namespace {

using namespace ma57test;
using pemric::ma57::FrontPath;

#if PEMRIC_PRIVATE_BLAS
// Calls of the process's DGEMM by anyone: this definition takes the name
// before the BLAS library's, counts and passes on.
int process_dgemm_calls = 0;
#endif

// The 7-point Laplacian of a k x k x k grid, lower triangle.
Matrix Laplacian3d(int32_t k) {
  Matrix m;
  m.n = k * k * k;
  const auto id = [k](int32_t x, int32_t y, int32_t z) { return 1 + x + k * (y + k * z); };
  for (int32_t z = 0; z < k; ++z) {
    for (int32_t y = 0; y < k; ++y) {
      for (int32_t x = 0; x < k; ++x) {
        m.Add(id(x, y, z), id(x, y, z), 6.0);
        if (x > 0) m.Add(id(x, y, z), id(x - 1, y, z), -1.0);
        if (y > 0) m.Add(id(x, y, z), id(x, y - 1, z), -1.0);
        if (z > 0) m.Add(id(x, y, z), id(x, y, z - 1), -1.0);
      }
    }
  }
  return m;
}

// J^T J + 1e-3 I for J the 5-point stencil of a k x k grid with a varying
// diagonal: the pattern of the least-squares solver's normal matrices.
Matrix GridNormal(int32_t k) {
  const int32_t n = k * k;
  std::vector<std::vector<std::pair<int32_t, double>>> rows(static_cast<size_t>(n));
  for (int32_t y = 0; y < k; ++y) {
    for (int32_t x = 0; x < k; ++x) {
      const int32_t r = x + k * y;
      rows[r].push_back({r, 4.0 + 0.01 * (r % 7)});
      if (x > 0) rows[r].push_back({r - 1, -1.0});
      if (x + 1 < k) rows[r].push_back({r + 1, -1.0});
      if (y > 0) rows[r].push_back({r - k, -1.0});
      if (y + 1 < k) rows[r].push_back({r + k, -1.0});
    }
  }
  // (J^T J)(i, j) = sum over rows r of J(r, i) J(r, j); J is symmetric here.
  Matrix m;
  m.n = n;
  std::vector<double> col(static_cast<size_t>(n), 0.0);
  std::vector<int32_t> touched;
  for (int32_t j = 0; j < n; ++j) {
    for (const auto& [r, vjr] : rows[j]) {
      for (const auto& [i, vir] : rows[r]) {
        if (i < j) continue;
        if (col[i] == 0.0) touched.push_back(i);
        col[i] += vir * vjr;
      }
    }
    for (int32_t i : touched) {
      m.Add(i + 1, j + 1, col[i] + (i == j ? 1e-3 : 0.0));
      col[i] = 0.0;
    }
    touched.clear();
  }
  return m;
}

// A 5-point grid matrix with off-diagonals of random sign and size and a
// diagonal of random sign: small or zero at every third variable when
// `zeros` (2x2 pivots and delayed pivots in threshold pivoting), else from 1
// to 2 in magnitude.
Matrix GridIndefinite(int32_t k, bool zeros) {
  std::mt19937 gen(99);
  std::uniform_real_distribution<double> val(-1.0, 1.0);
  Matrix m;
  m.n = k * k;
  for (int32_t y = 0; y < k; ++y) {
    for (int32_t x = 0; x < k; ++x) {
      const int32_t r = 1 + x + k * y;
      const double d = val(gen);
      if (!zeros) {
        m.Add(r, r, d + (d < 0 ? -1.0 : 1.0));
      } else if (r % 3 != 0) {
        m.Add(r, r, 0.01 * d);
      }
      if (x > 0) m.Add(r, r - 1, val(gen));
      if (y > 0) m.Add(r, r - k, val(gen));
    }
  }
  return m;
}

// Two independent blocks: a 3D Laplacian beside a 2D normal matrix, whose
// factors and stack crowd the workspace while the other's subtrees run.
Matrix TwoBlocks() {
  Matrix m = Laplacian3d(13);
  const Matrix b = GridNormal(70);
  for (int32_t e = 0; e < b.ne(); ++e) m.Add(b.irn[e] + m.n, b.jcn[e] + m.n, b.a[e]);
  m.n += b.n;
  return m;
}

struct Result {
  std::vector<double> fact, x1, x3;
  std::vector<int32_t> ifact, info, keep;
  std::vector<double> rinfo;
  int32_t Info(int k) const { return At(info.data())(k); }
};

// Factorizes (lfact, lifact of 0: twice the analysis's forecasts, room for
// delays; a suspended factorization is resumed with the same arrays), then,
// once it has completed, solves with one and with three right-hand sides.
Result FactorAndSolve(const Matrix& m, int32_t mode, int threads, int64_t lfact = 0,
                      int64_t lifact = 0, bool suspend = false) {
  const pemric::ma57::ScopedFactorSettings settings({FrontPath::kBySize, threads});
  Factors f;
  int32_t ainfo[MA57_LINFO] = {0};
  f.keep = AnalyseKeep(m, ainfo);
  f.Icntl(MA57_ICNTL_PIVOTING) = mode;
  f.Icntl(MA57_ICNTL_SUSPEND) = suspend ? 1 : 0;
  f.Run(m, lfact > 0 ? lfact : 2 * int64_t{At(ainfo)(MA57_INFO_FACT_NO_COMPRESS)},
        lifact > 0 ? lifact : 2 * int64_t{At(ainfo)(MA57_INFO_IFACT_NO_COMPRESS)});
  for (int again = 0; again < 3 && f.Info(MA57_INFO_STATUS) >= 10; ++again) f.Resume(m);
  Result r;
  r.info.assign(f.info, f.info + MA57_LINFO);
  r.rinfo.assign(f.rinfo, f.rinfo + MA57_LRINFO);
  r.keep = f.keep;
  if (f.Info(MA57_INFO_STATUS) < 0) return r;
  r.fact.assign(f.fact.begin(), f.fact.begin() + f.Info(MA57_INFO_REAL_STORAGE));
  r.ifact.assign(f.ifact.begin(), f.ifact.begin() + f.Info(MA57_INFO_INTEGER_STORAGE));
  if (f.Info(MA57_INFO_STATUS) >= 10) return r;  // still suspended: no factors to solve with yet
  r.x1 = RandomVector(m.n, 5);
  EXPECT_EQ(Solve(f, 1, r.x1, 1), 0);
  r.x3 = RandomVector(3 * m.n, 6);
  EXPECT_EQ(Solve(f, 1, r.x3, 3), 0);
  return r;
}

bool Bitwise(const std::vector<double>& a, const std::vector<double>& b) {
  // memcmp may not be given the null data() of an empty vector.
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), sizeof(double) * a.size()) == 0);
}

void ExpectSame(const Result& one, const Result& r) {
  EXPECT_TRUE(Bitwise(r.fact, one.fact));
  EXPECT_EQ(r.ifact, one.ifact);
  EXPECT_EQ(r.info, one.info);
  EXPECT_EQ(r.keep, one.keep);
  EXPECT_TRUE(Bitwise(r.rinfo, one.rinfo));
  EXPECT_TRUE(Bitwise(r.x1, one.x1));
  EXPECT_TRUE(Bitwise(r.x3, one.x3));
}

struct SetCase {
  const char* name;
  Matrix (*make)();
  int32_t mode;
};

void PrintTo(const SetCase& c, std::ostream* os) { *os << c.name; }

class ThreadCounts : public ::testing::TestWithParam<SetCase> {};

// Large fronts share their tiles; subtrees are factorized apart and taken in.
TEST_P(ThreadCounts, GiveBitwiseTheSameFactorsAndSolutions) {
  const SetCase c = GetParam();
  const Matrix m = c.make();
  const Result one = FactorAndSolve(m, c.mode, 1);
  ASSERT_EQ(one.Info(MA57_INFO_STATUS), 0);
  // Large enough for the threads to share its fronts.
  ASSERT_GE(one.Info(MA57_INFO_LARGEST_FRONT), pemric::ma57::kThreadedRows);
  // The helpers' workspaces are kept from one factorization to the next:
  // let them hold another matrix's values, none of which a run may read.
  ASSERT_EQ(FactorAndSolve(GridNormal(90), 2, 2).Info(MA57_INFO_STATUS), 0);
  for (int threads : {2, 3, 8}) {
    SCOPED_TRACE(threads);
    ExpectSame(one, FactorAndSolve(m, c.mode, threads));
  }
}

// Workspaces down to what needs compresses, fails in counting mode or
// suspends: the space tests that subtrees taken in replay must agree with the
// run in place, compress for compress.
TEST_P(ThreadCounts, GiveTheSameOutcomeInTightWorkspaces) {
  const SetCase c = GetParam();
  const Matrix m = c.make();
  const Result ample = FactorAndSolve(m, c.mode, 1);
  const int64_t lfact = ample.Info(MA57_INFO_MIN_LFACT_COMPRESS),
                lifact = ample.Info(MA57_INFO_MIN_LIFACT_COMPRESS);
  for (bool suspend : {false, true}) {
    for (double share : {1.0, 0.9, 0.7}) {
      const int64_t lf = static_cast<int64_t>(static_cast<double>(lfact) * share);
      const int64_t li = static_cast<int64_t>(static_cast<double>(lifact) * (share + 1.0) / 2);
      SCOPED_TRACE(::testing::Message() << "suspend " << suspend << " share " << share);
      const Result one = FactorAndSolve(m, c.mode, 1, lf, li, suspend);
      if (share == 1.0) {
        EXPECT_EQ(one.Info(MA57_INFO_STATUS), 0);
      }
      ExpectSame(one, FactorAndSolve(m, c.mode, 3, lf, li, suspend));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    MatrixSets,
    ThreadCounts,
    ::testing::Values(SetCase{"laplacian3d", [] { return Laplacian3d(16); }, 2},
                      SetCase{"grid_normal", [] { return GridNormal(100); }, 2},
                      SetCase{"grid_indefinite", [] { return GridIndefinite(160, true); }, 1},
                      SetCase{"grid_sign_count", [] { return GridIndefinite(160, false); }, 3},
                      SetCase{"two_blocks", TwoBlocks, 2},
                      SetCase{"zero_diagonal",
                              [] { return RandomMatrix(1500, 5, Kind::kZeroDiagonal, 31); }, 1}),
    [](const ::testing::TestParamInfo<SetCase>& info) { return std::string(info.param.name); });

// Several threads on a factorization leave the process's BLAS as it was:
// its thread count unchanged, and not one call to it.
TEST(BlasIsolation, TheProcessBlasIsNeitherCalledNorSet) {
#if !PEMRIC_PRIVATE_BLAS
  GTEST_SKIP() << "this build calls the process's BLAS";
#else
  const auto set_threads =
      reinterpret_cast<void (*)(int)>(dlsym(RTLD_DEFAULT, "openblas_set_num_threads"));
  const auto get_threads =
      reinterpret_cast<int (*)()>(dlsym(RTLD_DEFAULT, "openblas_get_num_threads"));
  ASSERT_TRUE(set_threads != nullptr && get_threads != nullptr)
      << "the test expects the system OpenBLAS loaded";
  set_threads(2);
  const int before = get_threads();
  process_dgemm_calls = 0;
  const Result r = FactorAndSolve(Laplacian3d(12), 2, 3);
  EXPECT_EQ(r.Info(MA57_INFO_STATUS), 0);
  EXPECT_EQ(get_threads(), before);
  EXPECT_EQ(process_dgemm_calls, 0);
  // The counter does see the process's calls.
  const int32_t one = 1;
  const double a = 2.0, b = 3.0, alpha = 1.0, beta = 0.0;
  double c = 0.0;
  dgemm_("N", "N", &one, &one, &one, &alpha, &a, &one, &b, &one, &beta, &c, &one, 1, 1);
  EXPECT_EQ(process_dgemm_calls, 1);
  EXPECT_EQ(c, 6.0);
#endif
}

}  // namespace

#if PEMRIC_PRIVATE_BLAS
extern "C" void dgemm_(const char* transa, const char* transb, const int32_t* m, const int32_t* n,
                       const int32_t* k, const double* alpha, const double* a, const int32_t* lda,
                       const double* b, const int32_t* ldb, const double* beta, double* c,
                       const int32_t* ldc, size_t la, size_t lb) {
  using Dgemm = void (*)(const char*, const char*, const int32_t*, const int32_t*, const int32_t*,
                         const double*, const double*, const int32_t*, const double*,
                         const int32_t*, const double*, double*, const int32_t*, size_t, size_t);
  static const auto next = reinterpret_cast<Dgemm>(dlsym(RTLD_NEXT, "dgemm_"));
  ++process_dgemm_calls;
  next(transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc, la, lb);
}
#endif
