// Entry and exit reports of the analysis: their gates, labels, field widths
// and the cutting of arrays below print level 4.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "analysis_support.h"

namespace {

using ma57test::Analysis;
using ma57test::Capture;
using ma57test::Pattern;

Pattern Tridiagonal(int32_t n) {
  Pattern p;
  p.n = n;
  for (int32_t i = 1; i <= n; ++i) {
    p.Add(i, i);
    if (i < n) p.Add(i + 1, i);
  }
  return p;
}

size_t Find(const std::vector<std::string>& lines, const std::string& line) {
  return static_cast<size_t>(std::find(lines.begin(), lines.end(), line) - lines.begin());
}

TEST(AnalysisReport, EntryReportListsControlsEntriesAndSuppliedOrder) {
  Analysis a(Tridiagonal(12));
  a.Icntl(MA57_ICNTL_PRINT_LEVEL) = 3;
  a.Icntl(MA57_ICNTL_MONITOR_STREAM) = 17;  // monitoring on a stream of its own
  Capture out(17);
  std::vector<int32_t> order(12);
  for (int32_t v = 0; v < 12; ++v) order[v] = 12 - v;
  a.Run(order);
  const std::vector<std::string> lines = out.Lines();
  ASSERT_GE(lines.size(), 18u);
  const std::vector<std::string> head = {
      "",
      "",
      "Entering analysis phase (MA57AD) with ...",
      "N         Order of matrix                     =          12",
      "NE        Number of entries                   =          23",
      "ICNTL(1)  Stream for errors                   =           6",
      " --- (2)  Stream for warnings                 =           6",
      " --- (3)  Stream for monitoring               =          17",
      " --- (4)  Stream for statistics               =          -1",
      " --- (5)  Level of diagnostic printing        =           3",
      " --- (6)  Flag for input pivot order          =           1",
      " --- (12) Node amalgamation parameter         =           1",
      "",
      " Matrix entries:",
      "     1: (       1       1)     2: (       2       1)     3: (       2       2)",
  };
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 15), head);
  EXPECT_EQ(lines[18], "     . . .");
  EXPECT_EQ(lines[19], " KEEP =    12    11    10     9     8     7     6     5     4     3");
  EXPECT_EQ(lines[20], "            . . .");
}

TEST(AnalysisReport, ExitReportCutsArraysToTenValuesAtLevelThree) {
  Analysis a(Tridiagonal(12));
  a.Icntl(MA57_ICNTL_PRINT_LEVEL) = 3;
  Capture out(6);
  a.Run();
  const std::vector<std::string> lines = out.Lines();
  const size_t leave = Find(lines, "Leaving analysis phase (MA57AD) with ...");
  ASSERT_LT(leave, lines.size());
  EXPECT_EQ(lines[leave + 1], "INFO(1)  Error indicator                      =           0");
  EXPECT_EQ(lines[leave + 2], "Number of entries in matrix with diagonal     =          23");
  EXPECT_EQ(lines[leave + 8], "---- (8) Number of nodes in assembly tree     =" +
                                  ma57test::Pad12(a.Info(MA57_INFO_NODES)));
  EXPECT_EQ(lines[leave + 13].substr(0, 47), "----(13) Number of compresses                 =");
  EXPECT_EQ(lines[leave + 14].substr(0, 47), "RINFO(1) Forecast additions for assembly      =");
  EXPECT_EQ(lines[leave + 14].size(), 59u);
  EXPECT_NE(lines[leave + 14].find("E+01"), std::string::npos) << lines[leave + 14];
  const size_t perm = Find(lines, "Permutation array:");
  ASSERT_LT(perm, lines.size());
  EXPECT_EQ(lines[perm + 3], std::string(16, ' ') + " . . .");
  const size_t cols = Find(lines, "Column indices of permuted matrix:");
  ASSERT_LT(cols, lines.size());
  EXPECT_EQ(lines[cols + 3], std::string(16, ' ') + "     . . .");
  const size_t map = Find(lines, "Map array:");
  ASSERT_EQ(map + 4, lines.size());
}

TEST(AnalysisReport, LevelFourPrintsWholeArrays) {
  Analysis a(Tridiagonal(12));
  a.Icntl(MA57_ICNTL_PRINT_LEVEL) = 4;
  Capture out(6);
  a.Run();
  const std::vector<std::string> lines = out.Lines();
  EXPECT_EQ(Find(lines, "     . . ."), lines.size());
  const size_t map = Find(lines, "Map array:");
  ASSERT_LT(map, lines.size());
  EXPECT_EQ(lines.size(), map + 1 + 5) << "23 map values, five to a line";
  EXPECT_EQ(lines.back().size(), 36u);
  // All 23 entries, three to a line.
  const size_t entries = Find(lines, " Matrix entries:");
  EXPECT_EQ(lines[entries + 8].substr(0, 6), "    22");
}

TEST(AnalysisReport, ExitReportFollowsWarningsButNotErrors) {
  Pattern p = Tridiagonal(3);
  p.Add(9, 1);
  Analysis a(p);
  a.Icntl(MA57_ICNTL_PRINT_LEVEL) = 3;
  Capture out(6);
  a.Run();
  EXPECT_EQ(a.Info(MA57_INFO_STATUS), 1);
  EXPECT_NE(out.text().find("Leaving analysis phase"), std::string::npos);
  Capture again(6);
  a.Run({1, 1, 2});
  EXPECT_EQ(a.Info(MA57_INFO_STATUS), -9);
  EXPECT_EQ(again.text().find("Entering analysis phase"), std::string::npos);
  EXPECT_EQ(again.text().find("Leaving analysis phase"), std::string::npos);
}

}  // namespace
