// Argument checks, warnings and their messages, and the small edge cases of
// the analysis.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "analysis_support.h"

namespace {

using ma57test::Analysis;
using ma57test::Capture;
using ma57test::Pattern;

Pattern Make(int32_t n, std::vector<std::pair<int32_t, int32_t>> entries) {
  Pattern p;
  p.n = n;
  for (auto [i, j] : entries) p.Add(i, j);
  return p;
}

void Call(Analysis& a, int32_t n, int32_t ne, int32_t lkeep, int32_t* irn, int32_t* jcn) {
  MA57AD(&n, &ne, irn, jcn, &lkeep, a.keep.data(), a.iwrk.data(), a.icntl, a.info, a.rinfo);
}

TEST(AnalysisChecks, ErrorsInOrderWithTheirMessagesAndClearedInformation) {
  struct Case {
    int32_t n, ne, lkeep;
    int32_t status, value;
    std::vector<std::string> lines;
  };
  const std::vector<Case> cases = {
      {0, -5, 100, -1, 0,
       {"**** Error return from MA57AD ****  INFO(1) = -1", "N has value          0"}},
      {3, -2, 100, -2, -2,
       {"**** Error return from MA57AD ****  INFO(1) = -2", "NE has value        -2"}},
      {3, 2, 61, -15, 61,
       {"**** Error return from MA57AD ****  INFO(1) =-15", "LKEEP has value            61",
        "Should be at least         62"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines.back());
    Analysis a(Make(3, {}), 100);
    a.Icntl(MA57_ICNTL_PRINT_LEVEL) = 1;
    std::fill(a.info, a.info + MA57_LINFO, 99);
    std::fill(a.rinfo, a.rinfo + MA57_LRINFO, 99.0);
    Capture out(6);
    Call(a, c.n, c.ne, c.lkeep, nullptr, nullptr);  // IRN and JCN are never read
    EXPECT_EQ(a.Info(MA57_INFO_STATUS), c.status);
    EXPECT_EQ(a.Info(MA57_INFO_VALUE), c.value);
    for (int k = MA57_INFO_VALUE + 1; k <= MA57_LINFO; ++k) EXPECT_EQ(a.Info(k), 0);
    for (int k = 1; k <= MA57_LRINFO; ++k) EXPECT_EQ(a.Rinfo(k), 0.0);
    EXPECT_EQ(out.Lines(), c.lines);
  }
}

// The bound 5N + NE + max(N, NE) + 42 is computed in 64 bits: it does not
// wrap to a small or negative number that a short KEEP would pass. The
// analysis and the factorization share the check and its record: each
// number in ten columns, a bound of eleven digits as ten asterisks.
TEST(AnalysisChecks, LkeepBoundBeyondThirtyTwoBitsFailsAlikeInBothPhases) {
  struct Case {
    const char* phase;
    int32_t n, ne, lkeep;
    std::vector<std::string> lines;
  };
  const std::string ad = "**** Error return from MA57AD ****  INFO(1) =-15";
  const std::string bd = "**** Error return from MA57BD ****  INFO(1) =-15";
  const int32_t big = 2147483647;
  const Case cases[] = {
      {"AD", 10, 1100000000, 100,
       {ad, "LKEEP has value           100", "Should be at least 2200000092"}},
      {"BD", 10, 1100000000, 100,
       {bd, "LKEEP has value           100", "Should be at least 2200000092"}},
      {"AD", big, big, big, {ad, "LKEEP has value    2147483647", "Should be at least **********"}},
      {"BD", big, big, big, {bd, "LKEEP has value    2147483647", "Should be at least **********"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.phase) + " " + c.lines.back());
    Analysis a(Make(10, {}));
    a.Icntl(MA57_ICNTL_PRINT_LEVEL) = 1;
    Capture out(6);
    if (std::string(c.phase) == "AD") {
      Call(a, c.n, c.ne, c.lkeep, nullptr, nullptr);
    } else {  // the checks fail before any array but ICNTL and INFO is read
      int32_t n = c.n, ne = c.ne, lkeep = c.lkeep, lfact = 1, lifact = 1;
      double cntl[MA57_LCNTL] = {};
      MA57BD(&n, &ne, nullptr, nullptr, &lfact, nullptr, &lifact, &lkeep, nullptr, nullptr,
             a.icntl, cntl, a.info, a.rinfo);
    }
    EXPECT_EQ(a.Info(MA57_INFO_STATUS), MA57_ERR_LKEEP);
    EXPECT_EQ(a.Info(MA57_INFO_VALUE), c.lkeep);
    EXPECT_EQ(out.Lines(), c.lines);
  }
}

TEST(AnalysisChecks, LkeepExactlyAtTheBoundIsAccepted) {
  Analysis a(Make(4, {{1, 2}, {3, 4}, {2, 3}}));
  a.Run();
  EXPECT_EQ(a.Info(MA57_INFO_STATUS), 0);
  EXPECT_EQ(a.keep.size(), 5u * 4 + 3 + 4 + 42);
}

TEST(AnalysisChecks, SuppliedOrderMustBeAPermutation) {
  for (auto [order, faulty] : std::vector<std::pair<std::vector<int32_t>, int32_t>>{
           {{1, 1, 3}, 2}, {{0, 1, 2}, 1}, {{1, 2, 4}, 3}, {{3, 2, 3}, 3}}) {
    Analysis a(Make(3, {{1, 2}}));
    a.Icntl(MA57_ICNTL_PRINT_LEVEL) = 1;
    Capture out(6);
    a.Run(order);
    EXPECT_EQ(a.Info(MA57_INFO_STATUS), -9);
    EXPECT_EQ(a.Info(MA57_INFO_VALUE), faulty);
    const std::vector<std::string> expected = {
        "**** Error return from MA57AD ****  INFO(1) = -9", "Invalid permutation supplied in KEEP",
        "Component" + std::string(9, ' ') + std::to_string(faulty) + " is faulty"};
    EXPECT_EQ(out.Lines(), expected);
  }
}

TEST(AnalysisChecks, PrintLevelZeroAndNegativeStreamsSilenceEverything) {
  Analysis a(Make(3, {{0, 1}, {1, 2}, {2, 1}}), 5);
  Capture out(6);
  a.Icntl(MA57_ICNTL_PRINT_LEVEL) = 0;
  Call(a, 0, 0, 100, nullptr, nullptr);
  a.Run();
  EXPECT_EQ(a.Info(MA57_INFO_STATUS), 3);
  a.Icntl(MA57_ICNTL_PRINT_LEVEL) = 4;
  a.Icntl(MA57_ICNTL_ERROR_STREAM) = a.Icntl(MA57_ICNTL_WARNING_STREAM) =
      a.Icntl(MA57_ICNTL_MONITOR_STREAM) = -1;
  a.Run();
  Call(a, 0, 0, 100, nullptr, nullptr);
  EXPECT_EQ(out.text(), "");
}

TEST(AnalysisChecks, OutOfRangeEntryIsIgnoredWarnedAndMappedToZero) {
  for (bool supplied : {false, true}) {
    SCOPED_TRACE(supplied ? "supplied order" : "own order");
    Analysis a(Make(5, {{0, 3}, {1, 2}, {4, 4}}));
    a.Icntl(MA57_ICNTL_PRINT_LEVEL) = 2;
    Capture out(6);
    a.Run(supplied ? std::vector<int32_t>{1, 2, 3, 4, 5} : std::vector<int32_t>{});
    EXPECT_EQ(a.Info(MA57_INFO_STATUS), 1);
    EXPECT_EQ(a.Info(MA57_INFO_OUT_OF_RANGE), 1);
    EXPECT_EQ(a.Map(1), 0);
    const std::vector<std::string> expected = {
        "*** Warning message from subroutine MA57AD *** INFO(1) = 1",
        "         1th entry (in row         0 and column         3) ignored"};
    EXPECT_EQ(out.Lines(), expected);
    EXPECT_EQ(a.pattern.irn[0], 0);
    EXPECT_EQ(a.pattern.jcn[0], supplied ? 0 : 3);
  }
}

TEST(AnalysisChecks, OnlyTheFirstTenOutOfRangeEntriesAreListed) {
  Pattern p = Make(4, {{1, 2}});
  for (int k = 0; k < 13; ++k) p.Add(5 + k, 1);
  Analysis a(p);
  a.Icntl(MA57_ICNTL_PRINT_LEVEL) = 2;
  Capture out(6);
  a.Run();
  EXPECT_EQ(a.Info(MA57_INFO_OUT_OF_RANGE), 13);
  EXPECT_EQ(a.Info(MA57_INFO_STATUS), 1);
  ASSERT_EQ(out.Lines().size(), 11u);
  EXPECT_EQ(out.Lines()[10], "        11th entry (in row        14 and column         1) ignored");
}

TEST(AnalysisChecks, OffDiagonalDuplicatesCountedOnceWhateverTheTriangleOrOrder) {
  const Pattern p = Make(6, {{2, 5}, {5, 2}, {3, 3}, {3, 3}, {1, 6}});
  for (const std::vector<int32_t>& order :
       {std::vector<int32_t>{}, {1, 2, 3, 4, 5, 6}, {6, 5, 4, 3, 2, 1}, {2, 6, 1, 3, 5, 4}}) {
    SCOPED_TRACE(order.empty() ? "own order" : "supplied order");
    Analysis a(p);
    a.Icntl(MA57_ICNTL_PRINT_LEVEL) = 2;
    Capture out(6);
    a.Run(order);
    EXPECT_EQ(a.Info(MA57_INFO_STATUS), 2);
    EXPECT_EQ(a.Info(MA57_INFO_DUPLICATES), 1);
    const std::vector<std::string> expected = {"*** Warning message from subroutine MA57AD ***",
                                               "         1 off-diagonal duplicate entries found"};
    EXPECT_EQ(out.Lines(), expected);
    // Both copies of (2, 5) have their own slots in the row of the earlier
    // variable; both copies of the diagonal (3, 3) too.
    EXPECT_NE(a.Map(1), a.Map(2));
    EXPECT_NE(a.Map(3), a.Map(4));
    // Every diagonal slot names its variable, not only the first.
    EXPECT_EQ(a.Column(a.Map(3)), 3);
    EXPECT_EQ(a.Column(a.Map(4)), 3);
    EXPECT_EQ(a.Entries(), 6 + 5 - 1);
    const int32_t row = std::min(a.Pos(2), a.Pos(5));
    int64_t start = 1;
    for (int32_t r = 1; r < row; ++r) start += a.RowCount(r);
    for (int k : {1, 2}) {
      EXPECT_GE(a.Map(k), start);
      EXPECT_LT(a.Map(k), start + a.RowCount(row));
    }
  }
}

TEST(AnalysisChecks, OutOfRangeAndDuplicatesTogetherGiveThree) {
  Analysis a(Make(3, {{1, 2}, {2, 1}, {4, 1}}));
  a.Run();
  EXPECT_EQ(a.Info(MA57_INFO_STATUS), 3);
  EXPECT_EQ(a.Info(MA57_INFO_OUT_OF_RANGE), 1);
  EXPECT_EQ(a.Info(MA57_INFO_DUPLICATES), 1);
}

TEST(AnalysisChecks, SingleVariableWithoutEntries) {
  Analysis a(Make(1, {}));
  a.Icntl(MA57_ICNTL_PRINT_LEVEL) = 2;
  EXPECT_EQ(a.keep.size(), 48u);
  Capture out(6);
  a.Run();
  EXPECT_EQ(out.text(), "");
  EXPECT_EQ(a.Info(MA57_INFO_STATUS), 0);
  EXPECT_EQ(a.Pos(1), 1);
  EXPECT_EQ(a.Nodes(), 1);
  EXPECT_EQ(a.Entries(), 1);
  EXPECT_EQ(a.Suspended(), 0) << "no factorization suspended";
  EXPECT_EQ(a.Info(MA57_INFO_FORECAST_REAL), 1);
  EXPECT_EQ(a.Info(MA57_INFO_FORECAST_INTEGER), 6);
  EXPECT_EQ(a.Info(MA57_INFO_FORECAST_FRONT), 1);
  EXPECT_EQ(a.Info(MA57_INFO_NODES), 1);
}

// Many variables and no entries: every variable its own root node, the
// roots taken from the highest index.
TEST(AnalysisChecks, NoEntriesWithLargeOrder) {
  const int32_t n = 100000;
  Analysis a(Make(n, {}));
  a.Run();
  EXPECT_EQ(a.Info(MA57_INFO_STATUS), 0);
  EXPECT_EQ(a.Nodes(), n);
  EXPECT_EQ(a.Entries(), n);
  EXPECT_EQ(a.Info(MA57_INFO_FORECAST_REAL), n);
  for (int32_t v = 1; v <= n; v += 9973) EXPECT_EQ(a.Pos(v), n + 1 - v);
}

}  // namespace
