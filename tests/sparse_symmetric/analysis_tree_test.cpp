// Assembly trees of small patterns whose shape is known by hand.
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "analysis_support.h"
#include "ma57_analysis.h"

namespace {

using ma57test::Analysis;
using ma57test::Pattern;

std::vector<int32_t> Natural(int32_t n) {
  std::vector<int32_t> order(n);
  for (int32_t v = 0; v < n; ++v) order[v] = v + 1;
  return order;
}

TEST(AnalysisTree, FullPatternIsOneNodeOnBothPaths) {
  for (int32_t n : {1, 2, 7, 30}) {
    Pattern p;
    p.n = n;
    for (int32_t i = 1; i <= n; ++i)
      for (int32_t j = 1; j <= i; ++j) p.Add(i, j);
    for (bool supplied : {false, true}) {
      SCOPED_TRACE(testing::Message() << "n " << n << (supplied ? " supplied" : " own"));
      Analysis a(p);
      a.Run(supplied ? Natural(n) : std::vector<int32_t>{});
      EXPECT_EQ(a.Info(MA57_INFO_STATUS), 0);
      EXPECT_EQ(a.Nodes(), 1);
      EXPECT_EQ(a.Info(MA57_INFO_NODES), 1);
      EXPECT_EQ(a.Info(MA57_INFO_FORECAST_FRONT), n);
      EXPECT_EQ(a.Info(MA57_INFO_FORECAST_REAL), n * (n + 1) / 2);
      EXPECT_EQ(a.Children(1), 0);
    }
  }
}

// Each inner node's update matrix (order 1) is smaller than its parent's
// front (order 2); only the root (front 1) merges with its single child.
TEST(AnalysisTree, TridiagonalInNaturalOrderHasOneNodeLessThanVariables) {
  for (int32_t n : {2, 3, 10, 1000}) {
    Pattern p;
    p.n = n;
    for (int32_t i = 1; i <= n; ++i) {
      p.Add(i, i);
      if (i < n) p.Add(i + 1, i);
    }
    Analysis a(p);
    a.Run(Natural(n));
    EXPECT_EQ(a.Nodes(), n - 1) << "n " << n;
    EXPECT_EQ(a.Info(MA57_INFO_FORECAST_REAL), 2 * n - 1);
    EXPECT_EQ(a.Info(MA57_INFO_FORECAST_FRONT), 2);
    for (int32_t v = 1; v <= n; ++v) EXPECT_EQ(a.Pos(v), v);
    EXPECT_EQ(a.NodeOf(n), a.NodeOf(n - 1));
  }
}

// Variable 5 has three children, 4, 3 and 2 (child lists run in decreasing
// index order), with fronts 4, 3 and 2. One exchange pass puts the largest
// last: 3, 2, 4. Then 5, 6 and 7 form a chain that the exact rule merges.
TEST(AnalysisTree, OneExchangePassPutsTheLargestChildLast) {
  Pattern p;
  p.n = 7;
  for (auto [i, j] : std::vector<std::pair<int32_t, int32_t>>{
           {4, 5}, {4, 6}, {4, 7}, {3, 5}, {3, 6}, {2, 5}, {1, 1}})
    p.Add(i, j);
  Analysis a(p);
  a.Run(Natural(7));
  ASSERT_EQ(a.Info(MA57_INFO_STATUS), 0);
  // Roots from the highest index: 7's tree first, then 1.
  EXPECT_EQ(a.Order(), (std::vector<int32_t>{7, 2, 1, 3, 4, 5, 6}));
  EXPECT_EQ(a.Nodes(), 5);
  EXPECT_EQ(a.NodeOf(3), 1);
  EXPECT_EQ(a.NodeOf(2), 2);
  EXPECT_EQ(a.NodeOf(4), 3);
  for (int32_t v : {5, 6, 7}) EXPECT_EQ(a.NodeOf(v), 4);
  EXPECT_EQ(a.Children(4), 3);
  EXPECT_EQ(a.NodeOf(1), 5);
}

// With ICNTL(12) = 4, a node with fewer than 4 pivots merges with its last
// child when that child also has fewer than 4: a path becomes one node.
TEST(AnalysisTree, AmalgamationParameterMergesSmallNodes) {
  const int32_t n = 6;
  Pattern p;
  p.n = n;
  for (int32_t i = 1; i < n; ++i) p.Add(i, i + 1);
  Analysis exact(p);
  exact.Run(Natural(n));
  EXPECT_EQ(exact.Nodes(), n - 1);
  Analysis merged(p);
  merged.Icntl(MA57_ICNTL_AMALGAMATION) = 4;
  merged.Run(Natural(n));
  // 1..4 merge one by one while the node below has fewer than 4 pivots
  // (front 5, pivots 4); 5 stays apart, and 6 (front 1) merges with 5 exactly.
  EXPECT_EQ(merged.Nodes(), 2);
  EXPECT_EQ(merged.Info(MA57_INFO_FORECAST_FRONT), 5);
  EXPECT_EQ(merged.Info(MA57_INFO_FORECAST_REAL), 4 * 5 / 2 + 4 * 1 + 3);
  for (int32_t v = 1; v <= 4; ++v) EXPECT_EQ(merged.NodeOf(v), 1);
  EXPECT_EQ(merged.NodeOf(6), 2);
}

// A variable whose list holds two thousand neighbours numbered above two
// million: the sum of its list is beyond 32 bits, yet its hash bucket must
// stay in range.
TEST(AnalysisTree, LargeHashSumStaysInRange) {
  const int32_t n = 2100000, leaves = 2000;
  Pattern p;
  p.n = n;
  for (int32_t k = 0; k < leaves; ++k) p.Add(1, n - 1 - k);
  p.Add(1, n);
  Analysis a(p);
  a.Run();
  ASSERT_EQ(a.Info(MA57_INFO_STATUS), 0);
  EXPECT_EQ(a.Info(MA57_INFO_FORECAST_FRONT), 2);
  EXPECT_EQ(a.Info(MA57_INFO_FORECAST_REAL), n + leaves + 1);
}

}  // namespace

namespace {

using pemric::At;

// One dense node of order 70 000: 2.45e9 factor entries do not fit in 32
// bits; the forecasts saturate at the largest integer instead of wrapping
// to a negative size.
TEST(AnalysisForecast, SizesBeyondThirtyTwoBitsSaturate) {
  const int32_t n = 70000;
  std::vector<int32_t> rowcount(n), children{0}, pivots{n}, front{n}, stack1(n), stack2(n);
  for (int32_t r = 0; r < n; ++r) rowcount[r] = n - r;
  int32_t info[MA57_LINFO] = {};
  double rinfo[MA57_LRINFO] = {};
  pemric::ForecastArrays tree;
  tree.n = n;
  tree.nodes = 1;
  tree.rowcount = rowcount.data();
  tree.children = children.data();
  tree.pivots = pivots.data();
  tree.front = front.data();
  tree.stack1 = stack1.data();
  tree.stack2 = stack2.data();
  pemric::MA57Forecast(tree, info, rinfo);
  EXPECT_EQ(At(info)(MA57_INFO_FORECAST_REAL), 2147483647);
  EXPECT_EQ(At(info)(MA57_INFO_FORECAST_FRONT), n);
  EXPECT_EQ(At(info)(MA57_INFO_NODES), 1);
  for (int k : {MA57_INFO_FACT_NO_COMPRESS, MA57_INFO_FACT_COMPRESS}) {
    EXPECT_EQ(At(info)(k), 2147483647) << "INFO(" << k << ")";
  }
  EXPECT_GT(At(info)(MA57_INFO_FORECAST_INTEGER), 0);
  EXPECT_DOUBLE_EQ(At(rinfo)(MA57_RINFO_FORECAST_ASSEMBLY), 70000.0 * 70001.0 / 2);
  EXPECT_GT(At(rinfo)(MA57_RINFO_FORECAST_ELIMINATION), 1e14);
}

}  // namespace
