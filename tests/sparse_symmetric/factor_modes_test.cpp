// Stored factor records of tiny matrices, the singular case, the four
// pivoting modes with their statuses and messages, and the argument checks.
#include <cstring>

#include "factor_support.h"

namespace {

using namespace ma57test;

uint64_t Bits(double v) {
  uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

// Diagonal matrix with the given pivots.
Matrix Diagonal(const std::vector<double>& d) {
  Matrix m;
  m.n = static_cast<int32_t>(d.size());
  for (int32_t i = 1; i <= m.n; ++i) m.Add(i, i, d[i - 1]);
  return m;
}

Factors FactorWith(const Matrix& m, int32_t mode, double tol = 0.0) {
  Factors f;
  f.keep = BuildKeep(m);
  f.Icntl(MA57_ICNTL_PIVOTING) = mode;
  f.Cntl(MA57_CNTL_ZERO_PIVOT) = tol;
  f.Ample(m);
  return f;
}

TEST(FactorRecords, OneByOneAndTwoByTwoBitForBit) {
  {
    SCOPED_TRACE("1x1");
    Matrix m;
    m.n = 1;
    m.Add(1, 1, 3.0);
    Factors f = FactorWith(m, 1);
    ASSERT_EQ(f.Info(MA57_INFO_STATUS), 0);
    EXPECT_EQ(std::vector<int32_t>(f.ifact.begin(), f.ifact.begin() + 6),
              (std::vector<int32_t>{2, 1, 1, 1, 1, 1}));
    EXPECT_EQ(Bits(f.fact[0]), Bits(1.0 / 3.0));
    EXPECT_EQ(f.Info(MA57_INFO_FACTOR_ENTRIES), 1);
    EXPECT_EQ(f.Info(MA57_INFO_REAL_STORAGE), 1);
    EXPECT_EQ(f.Info(MA57_INFO_INTEGER_STORAGE), 6);
  }
  {
    SCOPED_TRACE("2x2 pivot");
    const double a = 0.0, b = 1.5, c = 0.25, det = a * c - b * b;
    Matrix m;
    m.n = 2;
    m.Add(1, 1, a);
    m.Add(2, 1, b);
    m.Add(2, 2, c);
    Factors f = FactorWith(m, 1);
    ASSERT_EQ(f.Info(MA57_INFO_STATUS), 0);
    EXPECT_EQ(std::vector<int32_t>(f.ifact.begin(), f.ifact.begin() + 7),
              (std::vector<int32_t>{4, 4, 1, 2, 2, -1, -2}));
    EXPECT_EQ(Bits(f.fact[0]), Bits(c / det));
    EXPECT_EQ(Bits(f.fact[1]), Bits(0.0));
    EXPECT_EQ(Bits(f.fact[2]), Bits(a / det));
    EXPECT_EQ(Bits(f.fact[3]), Bits(-b / det));
    EXPECT_EQ(f.Info(MA57_INFO_REAL_STORAGE), 4);
    EXPECT_EQ(f.Info(MA57_INFO_TWO_BY_TWO), 1);
    EXPECT_EQ(f.Info(MA57_INFO_NEGATIVE), 1);
  }
}

TEST(FactorRecords, ZeroRowEndsSingularWithTrailingUnitBlock) {
  // Variable 2 has no entries at all (its row is zero).
  Matrix m;
  m.n = 4;
  m.Add(1, 1, 2.0);
  m.Add(3, 1, 1.0);
  m.Add(3, 3, 4.0);
  m.Add(4, 4, -1.0);
  m.Add(4, 3, 0.5);
  Factors f;
  f.keep = BuildKeep(m);
  f.Icntl(MA57_ICNTL_PRINT_LEVEL) = 2;
  f.Icntl(MA57_ICNTL_WARNING_STREAM) = 31;
  Capture warn(31);
  f.Ample(m);
  ASSERT_EQ(f.Info(MA57_INFO_STATUS), 4);
  EXPECT_EQ(f.Info(MA57_INFO_RANK), 3);
  // The last record is 1, 1, 2 and the last block value is 1.0.
  const int32_t len = f.Info(MA57_INFO_INTEGER_STORAGE);
  EXPECT_EQ(f.ifact[len - 3], 1);
  EXPECT_EQ(f.ifact[len - 2], 1);
  EXPECT_EQ(f.ifact[len - 1], 2);
  EXPECT_EQ(f.fact[f.Info(MA57_INFO_FACTOR_ENTRIES) - 1], 1.0);
  EXPECT_EQ(warn.text(),
            "\n*** Warning message from routine MA57BD **   INFO(1) = 4\n"
            "     Matrix is singular, rank =    3\n");
  // The singular factors are usable: the consistent part is solved.
  std::vector<double> x = {2.0, 0.0, 1.0, 0.5};
  std::vector<double> b = x;
  ASSERT_EQ(Solve(f, 1, x, 1), 0);
  const std::vector<double> d = m.Dense();
  for (int i = 0; i < 4; ++i) {
    if (i == 1) continue;
    double r = -b[i];
    for (int j = 0; j < 4; ++j) r += d[i + 4 * j] * x[j];
    EXPECT_TRUE(Near(r, 0.0, 1e-14));
  }
}

TEST(FactorRecords, ThresholdIsClampedToItsRange) {
  const Matrix m = RandomMatrix(40, 8, Kind::kZeroDiagonal, 5);
  auto factor = [&](double u) {
    Factors f;
    f.keep = BuildKeep(m);
    f.Cntl(MA57_CNTL_THRESHOLD) = u;
    f.Ample(m);
    return f;
  };
  const Factors high = factor(0.7), half = factor(0.5), low = factor(-1.0), zero = factor(0.0);
  ASSERT_EQ(high.Info(MA57_INFO_STATUS), 0);
  ASSERT_EQ(low.Info(MA57_INFO_STATUS), 0);
  EXPECT_EQ(high.fact, half.fact);
  EXPECT_EQ(high.ifact, half.ifact);
  EXPECT_EQ(low.fact, zero.fact);
  EXPECT_EQ(low.ifact, zero.ifact);
}

TEST(PivotingModes, NoPivotingStopsOnSignChangeOrZero) {
  {
    SCOPED_TRACE("mode 2, signs - +");
    Factors f;
    const Matrix m = Diagonal({-2.0, 3.0});
    f.keep = BuildKeep(m);
    std::vector<int32_t> keep_before(f.keep.begin(), f.keep.begin() + 2);
    f.Icntl(MA57_ICNTL_PIVOTING) = 2;
    f.Icntl(MA57_ICNTL_PRINT_LEVEL) = 1;
    f.Icntl(MA57_ICNTL_ERROR_STREAM) = 32;
    Capture err(32);
    f.Ample(m);
    EXPECT_EQ(f.Info(MA57_INFO_STATUS), -6);
    EXPECT_EQ(f.Info(MA57_INFO_VALUE), 2);
    EXPECT_EQ(std::vector<int32_t>(f.keep.begin(), f.keep.begin() + 2), keep_before);
    EXPECT_EQ(err.text(),
              "\n*** Error message from routine MA57BD **   INFO(1) =  -6\n"
              "Change in sign of pivot at stage         2  when ICNTL(7) =   2\n");
  }
  {
    SCOPED_TRACE("mode 3, signs + - +");
    Factors f = FactorWith(Diagonal({1.0, -2.0, 3.0}), 3);
    EXPECT_EQ(f.Info(MA57_INFO_STATUS), 0);
    EXPECT_EQ(f.Info(MA57_INFO_SIGN_CHANGES), 2);
    EXPECT_EQ(f.Info(MA57_INFO_NEGATIVE), 1);
  }
  for (int32_t mode : {2, 3}) {
    SCOPED_TRACE(mode);
    Factors f;
    const Matrix m = Diagonal({1.0, 0.0, 3.0});
    f.keep = BuildKeep(m);
    f.Icntl(MA57_ICNTL_PIVOTING) = mode;
    f.Icntl(MA57_ICNTL_PRINT_LEVEL) = 1;
    f.Icntl(MA57_ICNTL_ERROR_STREAM) = 33;
    Capture err(33);
    f.Ample(m);
    EXPECT_EQ(f.Info(MA57_INFO_STATUS), -5);
    EXPECT_EQ(f.Info(MA57_INFO_VALUE), 2);
    const std::string expected = std::string("\n*** Error message from routine MA57BD **   INFO(1) =  -5\n") +
                                 "Pivot has value   0.00000000D+00 when " +
                                 "CNTL(2) has value   0.00000000D+00\n" +
                                 "at stage          2  when ICNTL(7) =  " +
                                 std::to_string(mode) + "\n";
    EXPECT_EQ(err.text(), expected);
  }
  {
    Factors f = FactorWith(Diagonal({1.0, 1e-3, 3.0}), 2, 1e-2);
    EXPECT_EQ(f.Info(MA57_INFO_STATUS), -5);
    EXPECT_EQ(f.Info(MA57_INFO_VALUE), 2);
  }
}

TEST(PivotingModes, ModifiedCholesky) {
  {
    SCOPED_TRACE("positive definite: untouched");
    const Matrix m = RandomMatrix(60, 4, Kind::kDefinite, 9);
    Factors f = FactorWith(m, 4);
    f.Rinfo(MA57_RINFO_MAX_DIAGONAL_ADDED) = -123.0;
    f.Ample(m);
    ASSERT_EQ(f.Info(MA57_INFO_STATUS), 0);
    EXPECT_EQ(f.Info(MA57_INFO_FIRST_MODIFIED), 0);
    EXPECT_EQ(f.Rinfo(MA57_RINFO_MAX_DIAGONAL_ADDED), -123.0);
    // RINFO(15) is the smallest pivot: 1 / (largest stored diagonal of D^-1).
    double largest = 0.0;
    for (int32_t pos = 4, a = 1, b = 0; b < f.ifact[2]; ++b) {
      const int32_t c = f.ifact[pos - 1], p = f.ifact[pos];
      for (int32_t i = 0; i < p; ++i) {
        largest = std::max(largest, f.fact[a - 1]);
        a += p - i;
      }
      a += p * (c - p);
      pos += c + 2;
    }
    EXPECT_TRUE(Near(f.Rinfo(MA57_RINFO_SMALLEST_MODIFIED_PIVOT), 1.0 / largest,
                     1e-12 * f.Rinfo(MA57_RINFO_SMALLEST_MODIFIED_PIVOT)));
    std::vector<double> b = RandomVector(60, 1), x = b;
    ASSERT_EQ(Solve(f, 1, x, 1), 0);
    EXPECT_LT(ScaledResidual(m, x, b), 1e-13);
  }
  {
    SCOPED_TRACE("indefinite: the factors are those of A + E, E diagonal >= 0");
    Matrix m = RandomMatrix(50, 4, Kind::kIndefinite, 11);
    Factors f = FactorWith(m, 4);
    ASSERT_EQ(f.Info(MA57_INFO_STATUS), 0);
    EXPECT_GT(f.Info(MA57_INFO_FIRST_MODIFIED), 0);
    EXPECT_EQ(f.Info(MA57_INFO_NEGATIVE), 0);
    EXPECT_GT(f.Rinfo(MA57_RINFO_SMALLEST_MODIFIED_PIVOT), 0.0);
    const size_t base = f.fact.size() - 50;  // FACT(LFACT-N+1..): added amounts
    double largest = 0.0;
    Matrix modified = m;
    for (int32_t v = 1; v <= 50; ++v) {
      const double e = f.fact[base + v - 1];
      EXPECT_GE(e, 0.0);
      largest = std::max(largest, e);
      modified.Add(v, v, e);
    }
    EXPECT_EQ(f.Rinfo(MA57_RINFO_MAX_DIAGONAL_ADDED), largest);
    std::vector<double> b = RandomVector(50, 2), x = b;
    ASSERT_EQ(Solve(f, 1, x, 1), 0);
    EXPECT_LT(ScaledResidual(modified, x, b), 1e-13);
  }
  {
    SCOPED_TRACE("zero matrix: the modified pivot is still zero");
    Factors f = FactorWith(Diagonal({0.0, 0.0}), 4);
    EXPECT_EQ(f.Info(MA57_INFO_STATUS), -5);
    EXPECT_EQ(f.Info(MA57_INFO_VALUE), 1);
  }
}

TEST(PivotingModes, BlockSizeBelowOneActsAsOne) {
  const Matrix m = RandomMatrix(80, 20, Kind::kZeroDiagonal, 3);
  auto factor = [&](int32_t nb) {
    Factors f;
    f.keep = BuildKeep(m);
    f.Icntl(MA57_ICNTL_BLOCK_SIZE) = nb;
    f.Ample(m);
    return f;
  };
  const Factors one = factor(1), zero = factor(0), negative = factor(-4);
  ASSERT_EQ(one.Info(MA57_INFO_STATUS), 0);
  EXPECT_EQ(zero.fact, one.fact);
  EXPECT_EQ(negative.ifact, one.ifact);
}

TEST(PivotingModes, NonFiniteValuesAreRefusedBeforeTheFactorization) {
  for (double bad : {std::nan(""), -std::numeric_limits<double>::infinity()}) {
    for (int32_t mode = 1; mode <= 4; ++mode) {
      SCOPED_TRACE(mode);
      Matrix m = RandomMatrix(40, 6, Kind::kIndefinite, 4);
      m.a[7] = bad;
      m.a[m.ne() - 3] = bad;
      Factors f;
      f.keep = BuildKeep(m);
      f.Icntl(MA57_ICNTL_PIVOTING) = mode;
      f.Ample(m);
      EXPECT_EQ(f.Info(MA57_INFO_STATUS), MA57_ERR_VALUE);
      EXPECT_EQ(f.Info(MA57_INFO_VALUE), 8);
    }
  }
}

std::string I10(int64_t v) {
  const std::string t = std::to_string(v);
  return std::string(10 - t.size(), ' ') + t;
}

TEST(ArgumentChecks, InOrderWithTheirMessages) {
  Matrix m = RandomMatrix(6, 2, Kind::kDefinite, 1);
  const std::vector<int32_t> keep = BuildKeep(m);
  const int32_t mm = KeepEntries(keep, m.n);
  const int32_t bound = 5 * 6 + m.ne() + std::max(6, m.ne()) + 42;
  struct Row {
    const char* trace;
    int32_t n, ne, lkeep, mode, lifact, lfact, status, info2;
    int info_pos;  // INFO(17) or INFO(18) also set, or 0
    int32_t info_val;
    std::string detail;
  };
  const Row rows[] = {
      {"N", 0, m.ne(), bound, 1, 1000, 1000, -1, 0, 0, 0, "N has value " + I10(0)},
      {"NE", 6, -1, bound, 1, 1000, 1000, -2, -1, 0, 0, "NE has value" + I10(-1)},
      {"LKEEP", 6, m.ne(), bound - 1, 1, 1000, 1000, -15, bound - 1, 0, 0,
       "LKEEP has value    " + I10(bound - 1) + "\nShould be at least " + I10(bound)},
      {"ICNTL(7) = 0", 6, m.ne(), bound, 0, 1000, 1000, -10, 0, 0, 0, "ICNTL(7) has value" + I10(0)},
      {"ICNTL(7) = 5", 6, m.ne(), bound, 5, 1000, 1000, -10, 5, 0, 0, "ICNTL(7) has value" + I10(5)},
      {"LIFACT", 6, m.ne(), bound, 1, mm + 6 + 4, 0, -4, mm + 10, 18, mm + 11,
       "Insufficient integer space in IFACT, LIFACT = " + I10(mm + 10)},
      {"LFACT", 6, m.ne(), bound, 1, 1000, mm, -3, mm, 17, mm + 1,
       "Insufficient real space in FACT, LFACT = " + I10(mm)},
      {"LFACT mode 4", 6, m.ne(), bound, 4, 1000, mm + 6 + 5, -3, mm + 11, 17, mm + 12,
       "Insufficient real space in FACT, LFACT = " + I10(mm + 11)},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.trace);
    std::vector<int32_t> k = keep;
    k.resize(std::max<size_t>(k.size(), static_cast<size_t>(std::max(r.lkeep, 1))));
    const std::vector<int32_t> k_before = k;
    std::vector<double> fact(1000, -1.0);
    std::vector<int32_t> ifact(1000, -1), pivseq(6);
    int32_t icntl[MA57_LICNTL], info[MA57_LINFO] = {0};
    double cntl[MA57_LCNTL], rinfo[MA57_LRINFO] = {0};
    MA57SetDefaults(cntl, icntl);
    At(icntl)(MA57_ICNTL_ERROR_STREAM) = 34;
    At(icntl)(MA57_ICNTL_PIVOTING) = r.mode;
    Capture err(34);
    MA57BD(&r.n, &r.ne, m.a.data(), fact.data(), &r.lfact, ifact.data(), &r.lifact, &r.lkeep,
           k.data(), pivseq.data(), icntl, cntl, info, rinfo);
    EXPECT_EQ(At(info)(MA57_INFO_STATUS), r.status);
    EXPECT_EQ(At(info)(MA57_INFO_VALUE), r.info2);
    if (r.info_pos) {
      EXPECT_EQ(info[r.info_pos - 1], r.info_val);
    }
    EXPECT_EQ(k, k_before);
    EXPECT_EQ(fact, std::vector<double>(1000, -1.0));
    const std::string status = std::to_string(r.status);
    EXPECT_EQ(err.text(), "**** Error return from MA57BD ****  INFO(1) =" +
                              std::string(3 - status.size(), ' ') + status + "\n" + r.detail +
                              "\n");
  }
}

}  // namespace
