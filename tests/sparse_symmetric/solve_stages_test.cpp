// Solution phase: stages in sequence against the full solve, both block
// paths, several right-hand sides, and the argument checks.
#include "factor_support.h"

namespace {

using namespace ma57test;

Factors FactorOf(const Matrix& m) {
  Factors f;
  f.keep = AnalyseKeep(m);
  f.Ample(m);
  return f;
}

double MaxDiff(const std::vector<double>& a, const std::vector<double>& b) {
  double d = 0.0;
  for (size_t i = 0; i < a.size(); ++i) {
    const double e = std::fabs(a[i] - b[i]);
    if (!(e <= d)) d = e;  // NaN propagates
  }
  return d;
}

double MaxAbs(const std::vector<double>& a) {
  double m = 0.0;
  for (double v : a) m = std::max(m, std::fabs(v));
  return m;
}

TEST(SolveStages, TinyOneByOne) {
  Matrix m;
  m.n = 1;
  m.Add(1, 1, 4.0);
  const Factors f = FactorOf(m);
  for (int32_t job : {-3, 0, 1, 3}) {
    std::vector<double> x = {2.0};
    ASSERT_EQ(Solve(f, job, x, 1), 0);
    EXPECT_EQ(x[0], 0.5) << job;
  }
  for (int32_t job : {2, 4, 7}) {
    std::vector<double> x = {2.0};
    ASSERT_EQ(Solve(f, job, x, 1), 0);
    EXPECT_EQ(x[0], 2.0) << job;
  }
}

struct PathCase {
  const char* name;
  Kind kind;
  int32_t n;
  int per_row;
  int32_t nrhs;
};

class Paths : public ::testing::TestWithParam<PathCase> {};

TEST_P(Paths, StagesInSequenceAndBothPathsMatchTheFullSolve) {
  const PathCase c = GetParam();
  const Matrix m = RandomMatrix(c.n, c.per_row, c.kind, 77 + c.n);
  const Factors f = FactorOf(m);
  ASSERT_EQ(f.Info(MA57_INFO_STATUS), 0);
  const size_t len = static_cast<size_t>(c.n) * c.nrhs;
  std::vector<double> b(len);
  for (int32_t k = 0; k < c.nrhs; ++k) {
    const std::vector<double> col = RandomVector(c.n, 5 + k);
    std::copy(col.begin(), col.end(), b.begin() + static_cast<size_t>(k) * c.n);
  }
  // ICNTL(13) = 0 sends every block of 5 or more pivots through BLAS;
  // a huge value keeps every block in place.
  for (int32_t threshold : {0, 10, 1 << 30}) {
    SCOPED_TRACE(threshold);
    std::vector<double> full = b;
    ASSERT_EQ(Solve(f, 1, full, c.nrhs, threshold), 0);
    for (int32_t k = 0; k < c.nrhs; ++k) {
      const std::vector<double> xk(full.begin() + static_cast<size_t>(k) * c.n,
                                   full.begin() + static_cast<size_t>(k + 1) * c.n);
      const std::vector<double> bk(b.begin() + static_cast<size_t>(k) * c.n,
                                   b.begin() + static_cast<size_t>(k + 1) * c.n);
      EXPECT_LT(ScaledResidual(m, xk, bk), 1e-13);
    }
    std::vector<double> staged = b;
    for (int32_t job : {2, 3, 4}) ASSERT_EQ(Solve(f, job, staged, c.nrhs, threshold), 0);
    EXPECT_LE(MaxDiff(staged, full), 1e-12 * MaxAbs(full));
    std::vector<double> other = b;
    ASSERT_EQ(Solve(f, 1, other, c.nrhs, threshold == 0 ? 1 << 30 : 0), 0);
    EXPECT_LE(MaxDiff(other, full), 1e-12 * MaxAbs(full));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Solves,
    Paths,
    ::testing::Values(PathCase{"definite_one", Kind::kDefinite, 150, 6, 1},
                      PathCase{"definite_three", Kind::kDefinite, 150, 6, 3},
                      PathCase{"pivots_2x2_one", Kind::kZeroDiagonal, 140, 12, 1},
                      PathCase{"pivots_2x2_four", Kind::kZeroDiagonal, 140, 12, 4},
                      PathCase{"dense_two", Kind::kIndefinite, 60, 60, 2}),
    [](const ::testing::TestParamInfo<PathCase>& info) { return info.param.name; });

TEST(SolveStages, BlockOfFivePivotsSwitchesPathAboveTheThreshold) {
  // Two dense 5 x 5 groups, both coupled to `extra` trailing variables but
  // not to each other, give a first block with r = 5 pivots and c = 5 + extra
  // columns (the trailing node has two children, so nothing merges).
  for (int32_t extra : {5, 6}) {
    SCOPED_TRACE(extra);
    Matrix m;
    m.n = 10 + extra;
    for (int32_t g = 0; g < 2; ++g) {
      for (int32_t i = 1 + 5 * g; i <= 5 + 5 * g; ++i) {
        m.Add(i, i, 10.0 + i);
        for (int32_t j = i + 1; j <= 5 + 5 * g; ++j) m.Add(j, i, 1.0 / (i + j));
        for (int32_t j = 11; j <= m.n; ++j) m.Add(j, i, 0.5 / j);
      }
    }
    for (int32_t j = 11; j <= m.n; ++j) {
      m.Add(j, j, -20.0 - j);
      for (int32_t k = j + 1; k <= m.n; ++k) m.Add(k, j, 0.25);
    }
    std::vector<int32_t> keep = BuildKeep(m);
    Factors f;
    f.keep = keep;
    f.Ample(m);
    ASSERT_EQ(f.Info(MA57_INFO_STATUS), 0);
    ASSERT_EQ(f.ifact[3], 5 + extra);  // first block: c columns
    ASSERT_EQ(f.ifact[4], 5);          // and 5 pivots
    const std::vector<double> b = RandomVector(m.n, 3);
    std::vector<double> x10 = b, x_in_place = b;
    ASSERT_EQ(Solve(f, 1, x10, 1, 10), 0);
    ASSERT_EQ(Solve(f, 1, x_in_place, 1, 1 << 30), 0);
    EXPECT_LT(ScaledResidual(m, x10, b), 1e-14);
    EXPECT_LE(MaxDiff(x10, x_in_place), 1e-13 * MaxAbs(x10));
  }
}

TEST(SolveStages, ArgumentChecksWithTheirMessages) {
  Matrix m;
  m.n = 3;
  for (int32_t i = 1; i <= 3; ++i) m.Add(i, i, 2.0);
  const Factors f = FactorOf(m);
  struct Row {
    int32_t n, nrhs, lrhs, lw, status, info2;
    const char* text;
  };
  const Row rows[] = {
      {0, 1, 3, 3, -1, 0,
       "**** Error return from MA57CD ****  INFO(1) = -1\nN has value         0\n"},
      {3, 0, 3, 3, -16, 0,
       "**** Error return from MA57CD ****  INFO(1) = -16\nvalue of NRHS =         0 is less than 1\n"},
      {3, 1, 2, 3, -11, 2,
       "**** Error return from MA57CD ****  INFO(1) = -11\nvalue of LRHS =         2 is less than N=         3\n"},
      {3, 2, 3, 5, -17, 6,
       "**** Error return from MA57CD ****  INFO(1) = -17\nvalue of LW =         5 is less than         6\n"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.status);
    int32_t icntl[MA57_LICNTL];
    std::copy(f.icntl, f.icntl + MA57_LICNTL, icntl);
    At(icntl)(MA57_ICNTL_PRINT_LEVEL) = 1;
    At(icntl)(MA57_ICNTL_ERROR_STREAM) = 41;
    int32_t info[MA57_LINFO];
    std::fill(info, info + MA57_LINFO, 99);
    std::vector<double> rhs(12, 1.0), w(12);
    std::vector<int32_t> iwblk(3);
    const int32_t job = 1, lf = static_cast<int32_t>(f.fact.size()),
                  li = static_cast<int32_t>(f.ifact.size());
    Capture err(41);
    MA57CD(&job, &r.n, f.fact.data(), &lf, f.ifact.data(), &li, &r.nrhs, rhs.data(), &r.lrhs,
           w.data(), &r.lw, iwblk.data(), icntl, info);
    EXPECT_EQ(At(info)(MA57_INFO_STATUS), r.status);
    EXPECT_EQ(At(info)(MA57_INFO_VALUE), r.info2);
    // The positions after the two it writes are untouched.
    EXPECT_EQ(std::count(info + MA57_INFO_VALUE, info + MA57_LINFO, 99),
              MA57_LINFO - MA57_INFO_VALUE);
    EXPECT_EQ(rhs, std::vector<double>(12, 1.0));
    EXPECT_EQ(err.text(), r.text);
  }
  // Success leaves INFO alone.
  int32_t info[MA57_LINFO];
  std::fill(info, info + MA57_LINFO, 99);
  std::vector<double> rhs = {2.0, 4.0, 6.0}, w(3);
  std::vector<int32_t> iwblk(3);
  const int32_t job = 1, n = 3, one = 1, lf = static_cast<int32_t>(f.fact.size()),
                li = static_cast<int32_t>(f.ifact.size());
  MA57CD(&job, &n, f.fact.data(), &lf, f.ifact.data(), &li, &one, rhs.data(), &n, w.data(), &n,
         iwblk.data(), f.icntl, info);
  EXPECT_EQ(rhs, (std::vector<double>{1.0, 2.0, 3.0}));
  EXPECT_EQ(std::count(info, info + MA57_LINFO, 99), MA57_LINFO);
}

}  // namespace

// A single right-hand side worked in place takes loops of its own; they do
// the operations of the several-column loops in the same order, so every
// column of a several-column solve must come out bit for bit, in every stage.
TEST(SolveColumns, OneColumnAtATimeEqualsSeveralColumnsExactly) {
  const int32_t n = 140, nrhs = 3, in_place = 1 << 30;
  for (Kind kind : {Kind::kDefinite, Kind::kZeroDiagonal, Kind::kIndefinite}) {
    SCOPED_TRACE(static_cast<int>(kind));
    const Factors f = FactorOf(RandomMatrix(n, 12, kind, 91));
    ASSERT_EQ(f.Info(MA57_INFO_STATUS), 0);
    std::vector<double> columns;
    for (int32_t k = 0; k < nrhs; ++k) {
      const std::vector<double> col = RandomVector(n, 11 + k);
      columns.insert(columns.end(), col.begin(), col.end());
    }
    for (int32_t job : {1, 2, 3, 4}) {
      std::vector<double> together = columns;
      ASSERT_EQ(Solve(f, job, together, nrhs, in_place), 0);
      for (int32_t k = 0; k < nrhs; ++k) {
        const auto first = columns.begin() + static_cast<ptrdiff_t>(k) * n;
        std::vector<double> one(first, first + n);
        ASSERT_EQ(Solve(f, job, one, 1, in_place), 0);
        EXPECT_TRUE(std::equal(one.begin(), one.end(), together.begin() + (first - columns.begin())))
            << "job " << job << ", column " << k;
      }
    }
  }
}
