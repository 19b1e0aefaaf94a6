// Factorization and solution of random sparse symmetric matrices checked
// against independent references: the scaled residual of the solution, and
// the inertia against the eigenvalues of a dense copy (LAPACK dsyevd).
#include <cstring>

#include "factor_support.h"

namespace {

using namespace ma57test;

constexpr double kResidualTol = 1e-13;

struct Case {
  const char* name;
  Kind kind;
  int32_t n;
  int per_row;
  int32_t block;     // ICNTL(11)
  int32_t mode = 1;  // ICNTL(7)
};

class RandomSystems : public ::testing::TestWithParam<Case> {};

TEST_P(RandomSystems, SolveToRoundingWithTheRightInertia) {
  const Case c = GetParam();
  for (unsigned seed = 1; seed <= 4; ++seed) {
    SCOPED_TRACE(seed);
    const Matrix m = RandomMatrix(c.n, c.per_row, c.kind, seed * 101 + c.n);
    Factors f;
    // Odd seeds: the order and tree of MA57AD; even seeds: an independent
    // natural-order tree built by the test.
    int32_t ainfo[MA57_LINFO] = {0};
    f.keep = seed % 2 ? AnalyseKeep(m, ainfo) : BuildKeep(m);
    f.Icntl(MA57_ICNTL_BLOCK_SIZE) = c.block;
    f.Icntl(MA57_ICNTL_PIVOTING) = c.mode;
    f.Ample(m);
    ASSERT_EQ(f.Info(MA57_INFO_STATUS), 0) << "INFO(2) = " << f.Info(MA57_INFO_VALUE);
    EXPECT_EQ(f.Info(MA57_INFO_RANK), c.n);
    EXPECT_EQ(f.Info(MA57_INFO_NEGATIVE), NegativeEigenvalues(m));
    if (c.kind == Kind::kDefinite) {
      EXPECT_EQ(f.Info(MA57_INFO_TWO_BY_TWO), 0);
      EXPECT_EQ(f.Info(MA57_INFO_DELAYED), 0);
    }
    // Without delays the factors have exactly the size the analysis forecast.
    if (seed % 2 && f.Info(MA57_INFO_DELAYED) == 0) {
      EXPECT_EQ(f.Info(MA57_INFO_FACTOR_ENTRIES), At(ainfo)(MA57_INFO_FORECAST_REAL));
    }
    const std::vector<double> b = RandomVector(c.n, seed);
    std::vector<double> x = b;
    ASSERT_EQ(Solve(f, 1, x, 1), 0);
    EXPECT_LT(ScaledResidual(m, x, b), kResidualTol);
    // The same through the in-place path only.
    std::vector<double> y = b;
    ASSERT_EQ(Solve(f, 1, y, 1, 1 << 30), 0);
    EXPECT_LT(ScaledResidual(m, y, b), kResidualTol);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds,
    RandomSystems,
    ::testing::Values(Case{"definite_small", Kind::kDefinite, 12, 2, 16},
                      Case{"definite", Kind::kDefinite, 200, 4, 16},
                      Case{"definite_dense", Kind::kDefinite, 120, 60, 16},
                      Case{"definite_block1", Kind::kDefinite, 150, 30, 1},
                      Case{"indefinite", Kind::kIndefinite, 200, 4, 16},
                      Case{"indefinite_dense", Kind::kIndefinite, 150, 50, 4},
                      Case{"zero_diagonal", Kind::kZeroDiagonal, 200, 3, 16},
                      Case{"zero_diagonal_dense", Kind::kZeroDiagonal, 160, 40, 8},
                      Case{"zero_diagonal_block1", Kind::kZeroDiagonal, 100, 20, 1},
                      // No pivoting, as the least-squares step factorizes.
                      Case{"definite_mode2", Kind::kDefinite, 300, 5, 16, 2},
                      Case{"definite_dense_mode2", Kind::kDefinite, 200, 80, 16, 2},
                      Case{"indefinite_mode3", Kind::kIndefinite, 200, 5, 16, 3}),
    [](const ::testing::TestParamInfo<Case>& info) { return info.param.name; });

}  // namespace
