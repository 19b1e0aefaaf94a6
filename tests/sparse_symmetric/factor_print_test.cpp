// Printed output of the factorization and solution phases: the factor print
// in its numeric and map modes, and the monitoring reports.
#include "factor_support.h"
#include "ma57_frontal.h"
#include "pemric/record.h"

namespace {

using namespace ma57test;

std::string Pad72(const std::string& s) { return s + std::string(72 - s.size(), ' '); }
std::string D124(double v) { return pemric::FormatE(v, 12, 4, 1, 'D'); }

const char* const kExplanation =
    "   1. Block number, number of rows, number of columns\n"
    "   2. List of indices for the pivot, each negated if part of\n"
    "      a 2x2 pivot\n"
    "   3. The factorized block pivot\n"
    "      It has the form\n"
    "            -1  T\n"
    "        L  D   L \n"
    "                         -1    T\n"
    "      and is printed as D and L  packed together.\n"
    "   4. List of indices for the non-pivot columns\n"
    "   5. The non-pivot part as rectangular block by rows\n";

std::string PrintOf(const Factors& f, int32_t level) {
  int32_t icntl[MA57_LICNTL];
  std::copy(f.icntl, f.icntl + MA57_LICNTL, icntl);
  At(icntl)(MA57_ICNTL_MONITOR_STREAM) = 51;
  At(icntl)(MA57_ICNTL_PRINT_LEVEL) = level;
  Capture out(51);
  pemric::MA57PrintFactors(f.fact.data(), static_cast<int32_t>(f.fact.size()), f.ifact.data(),
                   static_cast<int32_t>(f.ifact.size()), icntl);
  return out.text();
}

Factors TwoByTwo() {
  Matrix m;
  m.n = 2;
  m.Add(1, 1, 0.0);
  m.Add(2, 1, 1.5);
  m.Add(2, 2, 0.25);
  Factors f;
  f.keep = BuildKeep(m);
  f.Ample(m);
  return f;
}

TEST(FactorPrint, TwoByTwoPivotShowsTheOffDiagonalOfTheInverse) {
  const Factors f = TwoByTwo();
  ASSERT_EQ(f.Info(MA57_INFO_TWO_BY_TWO), 1);
  const double det = 0.0 * 0.25 - 1.5 * 1.5;
  const std::string expected =
      std::string("\nFor each block, the following information is provided:\n") + kExplanation +
      "\nBlock pivot     1 with     2 rows and     2 columns\n"
      "          -1          -2\n" +
      Pad72(D124(0.25 / det) + D124(-1.5 / det)) + "\n" +
      Pad72(std::string(12, ' ') + D124(0.0 / det)) + "\n" + "\n";
  EXPECT_EQ(PrintOf(f, 4), expected);
  EXPECT_EQ(PrintOf(f, 5),
            "\nBlock pivot     1 with     2 rows and     2 columns\n--\n" + Pad72("**") + "\n" +
                Pad72(" .") + "\n\n");
}

TEST(FactorPrint, LevelThreeShowsTheFirstBlockOnly) {
  // Three independent 1x1 blocks.
  Matrix m;
  m.n = 3;
  for (int32_t i = 1; i <= 3; ++i) m.Add(i, i, 2.0 * i);
  Factors f;
  f.keep = BuildKeep(m);
  f.Ample(m);
  ASSERT_EQ(f.ifact[2], 3);
  const std::string block1 = "\nBlock pivot     1 with     1 rows and     1 columns\n"
                             "           1\n" +
                             Pad72(D124(0.5)) + "\n\n";
  EXPECT_EQ(PrintOf(f, 3), std::string("\nFor the first block only, the following information is "
                                       "provided:\n") +
                               kExplanation + block1);
  // A single block at level 3 is "each block".
  Matrix one;
  one.n = 1;
  one.Add(1, 1, 2.0);
  Factors g;
  g.keep = BuildKeep(one);
  g.Ample(one);
  EXPECT_EQ(PrintOf(g, 3).substr(0, 55), "\nFor each block, the following information is provided:");
}

TEST(FactorPrint, LongPivotRowsWrapAndTheMapMarksTinyValues) {
  // A dense 8 x 8 definite matrix is one block of 8 pivots.
  Matrix m;
  m.n = 10;
  for (int32_t i = 1; i <= 8; ++i) {
    m.Add(i, i, 20.0);
    for (int32_t j = i + 1; j <= 8; ++j) m.Add(j, i, (i + j) % 3 == 0 ? 0.0 : 1.0);
  }
  m.Add(9, 1, 1e-300);  // a rectangle entry that is tiny but not zero
  m.Add(9, 9, 1.0);
  m.Add(10, 9, 1.0);  // keeps variable 9 out of the first node
  m.Add(10, 10, 3.0);
  Factors f;
  f.keep = BuildKeep(m);
  f.Ample(m);
  ASSERT_EQ(f.ifact[3], 9);
  ASSERT_EQ(f.ifact[4], 8);
  const std::string text = PrintOf(f, 4);
  // Row 8 of the pivot block: six blank fields, then one blank field and the
  // diagonal value.
  const double d8 = f.fact[35];  // 8 rows: positions 1..36, (8,8) is the last
  const std::string row8 = Pad72(std::string(72, ' ')) + "\n" +
                           Pad72(std::string(12, ' ') + D124(d8)) + "\n";
  EXPECT_NE(text.find(row8), std::string::npos);
  // The map: row 1 of the rectangle holds -L(9, 1) = -1e-300 / 20, a "*".
  const std::string map = PrintOf(f, 5);
  EXPECT_NE(map.find("\n++++++++\n"), std::string::npos);
  EXPECT_NE(map.find("\n+\n" + Pad72("*") + "\n"), std::string::npos);
  // Zero multipliers show as ".".
  EXPECT_NE(map.find('.'), std::string::npos);
}

TEST(FactorReports, EntryReportShortensAtLevelThreeAndNoExitOnError) {
  Matrix m;
  m.n = 4;
  for (int32_t i = 1; i <= 4; ++i) m.Add(i, i, 4.0);
  for (int32_t i = 1; i <= 4; ++i) {
    for (int32_t j = i + 1; j <= 4; ++j) m.Add(j, i, 0.5);
  }
  m.Add(1, 1, 0.0);
  m.Add(2, 2, 0.0);
  ASSERT_EQ(m.ne(), 12);
  for (int32_t level : {3, 4}) {
    SCOPED_TRACE(level);
    Factors f;
    f.keep = BuildKeep(m);
    f.Icntl(MA57_ICNTL_PRINT_LEVEL) = level;
    f.Icntl(MA57_ICNTL_MONITOR_STREAM) = 52;
    Capture out(52);
    f.Ample(m);
    ASSERT_EQ(f.Info(MA57_INFO_STATUS), 0);
    const std::vector<std::string> lines = out.Lines();
    const auto at = std::find(lines.begin(), lines.end(), "Matrix entries:");
    ASSERT_NE(at, lines.end());
    EXPECT_EQ(*(at + 1), "     1: (  4.00000000D+00)     2: (  4.00000000D+00)     3: (  4.00000000D+00)");
    if (level == 3) {
      EXPECT_EQ(*(at + 4), "    10: (  5.00000000D-01)");
      EXPECT_EQ(*(at + 5), "     . . .");
    } else {
      EXPECT_EQ(*(at + 4), "    10: (  5.00000000D-01)    11: (  0.00000000D+00)    12: (  0.00000000D+00)");
    }
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Leaving factorization phase (MA57BD) with ..."),
              lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        " --- (25) Rank of factorization               =           4"),
              lines.end());
  }
  // A status below zero: no exit report.
  Factors f;
  f.keep = BuildKeep(m);
  f.Icntl(MA57_ICNTL_PRINT_LEVEL) = 3;
  f.Icntl(MA57_ICNTL_MONITOR_STREAM) = 53;
  f.Icntl(MA57_ICNTL_PIVOTING) = 2;
  f.Cntl(MA57_CNTL_ZERO_PIVOT) = 100.0;  // every pivot counts as zero
  f.Icntl(MA57_ICNTL_ERROR_STREAM) = -1;
  Capture out(53);
  f.Ample(m);
  ASSERT_LT(f.Info(MA57_INFO_STATUS), 0);
  EXPECT_EQ(out.text().find("Leaving factorization phase"), std::string::npos);
  EXPECT_NE(out.text().find("Entering factorization phase (MA57BD) with ..."), std::string::npos);
}

TEST(FactorReports, SuspensionAndSolveReports) {
  const Matrix m = RandomMatrix(40, 5, Kind::kDefinite, 2);
  Factors ample;
  ample.keep = BuildKeep(m);
  ample.Ample(m);
  Factors f;
  f.keep = ample.keep;
  f.Icntl(MA57_ICNTL_SUSPEND) = 1;
  f.Icntl(MA57_ICNTL_PRINT_LEVEL) = 3;
  f.Icntl(MA57_ICNTL_MONITOR_STREAM) = 54;
  {
    Capture out(54);
    f.Run(m, KeepEntries(ample.keep, m.n) + 2, ample.Info(MA57_INFO_MIN_LIFACT_COMPRESS));
    ASSERT_EQ(f.Info(MA57_INFO_STATUS), 10);
    const std::string tail =
        "\nLeaving factorization phase (MA57BD) with ...\n"
        "Factorization suspended because of lack of real space\nINFO (1) =  10\n";
    ASSERT_GE(out.text().size(), tail.size());
    EXPECT_EQ(out.text().substr(out.text().size() - tail.size()), tail);
  }
  {
    Capture out(54);
    f.Resume(m);
    EXPECT_NE(out.text().find("Re-entry call after call to MA57ED"), std::string::npos);
  }
  {
    ample.Icntl(MA57_ICNTL_PRINT_LEVEL) = 3;
    ample.Icntl(MA57_ICNTL_MONITOR_STREAM) = 55;
    Capture out(55);
    std::vector<double> x(40, 1.0);
    ASSERT_EQ(Solve(ample, 1, x, 1), 0);
    const std::vector<std::string> lines = out.Lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[1], "Entering solution phase (MA57CD) with ...");
    EXPECT_EQ(lines[2], "JOB       Control on coefficient matrix       =           1");
    const auto sol = std::find(lines.begin(), lines.end(), "Solution                1");
    ASSERT_NE(sol, lines.end());
    EXPECT_EQ(*(sol + 3), "     . . .");
  }
}

}  // namespace
