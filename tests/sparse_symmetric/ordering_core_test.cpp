// The minimum degree ordering on small graphs whose elimination can be
// followed by hand, and its compaction of the adjacency space.
#include <algorithm>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "ma57_analysis.h"

namespace {

// A graph in the form the ordering takes: lists one after another from
// position 1, with `spare` free positions after them.
struct Graph {
  int32_t n;
  std::vector<int32_t> lstart, llen, adj, svsize, elcount, prev, deg, bucket, nextv, wflags;
  int64_t freepos = 1;
  int32_t ncomp = -1;

  Graph(int32_t order, const std::vector<std::pair<int32_t, int32_t>>& edges, int64_t spare)
      : n(order), lstart(n), llen(n), svsize(n), elcount(n), prev(n), deg(n), bucket(n),
        nextv(n), wflags(n) {
    std::vector<std::vector<int32_t>> lists(n);
    for (auto [i, j] : edges) {
      lists[i - 1].push_back(j);
      lists[j - 1].push_back(i);
    }
    for (int32_t v = 0; v < n; ++v) {
      lstart[v] = static_cast<int32_t>(adj.size() + 1);
      llen[v] = static_cast<int32_t>(lists[v].size());
      adj.insert(adj.end(), lists[v].begin(), lists[v].end());
    }
    freepos = static_cast<int64_t>(adj.size()) + 1;
    adj.resize(adj.size() + static_cast<size_t>(spare), -99);
  }
  void Order() {
    pemric::MC47Arrays a;
    a.n = n;
    a.ladj = static_cast<int64_t>(adj.size());
    a.lstart = lstart.data();
    a.llen = llen.data();
    a.adj = adj.data();
    a.svsize = svsize.data();
    a.elcount = elcount.data();
    a.prev = prev.data();
    a.deg = deg.data();
    a.bucket = bucket.data();
    a.nextv = nextv.data();
    a.wflags = wflags.data();
    pemric::MC47OrderCore(a, freepos, ncomp);
  }
  std::vector<int32_t> Sequence() const { return prev; }
};

std::vector<std::pair<int32_t, int32_t>> GridEdges(int32_t side) {
  std::vector<std::pair<int32_t, int32_t>> e;
  for (int32_t y = 0; y < side; ++y) {
    for (int32_t x = 0; x < side; ++x) {
      const int32_t v = y * side + x + 1;
      if (x + 1 < side) e.push_back({v, v + 1});
      if (y + 1 < side) e.push_back({v, v + side});
    }
  }
  return e;
}

TEST(OrderingCore, SingleVariableAndEdgelessGraphsKeepTheirOrder) {
  Graph one(1, {}, 1);
  one.Order();
  EXPECT_EQ(one.prev, std::vector<int32_t>{1});
  EXPECT_EQ(one.elcount, std::vector<int32_t>{1});
  EXPECT_EQ(one.ncomp, 0);
  Graph none(5, {}, 5);
  none.Order();
  EXPECT_EQ(none.prev, (std::vector<int32_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(none.elcount, (std::vector<int32_t>{1, 2, 3, 4, 5}));
  for (int32_t v = 0; v < 5; ++v) EXPECT_EQ(none.lstart[v], 0);
}

// Path 1-2-3: 1 and 3 have degree 1 and 3 was pushed last, so 3 goes first.
// Then 2 (degree 1 after the update) is the pivot and 1, left without
// neighbours, is eliminated with it, numbered before its pivot.
TEST(OrderingCore, PathTakesTheLastPushedLeafFirst) {
  Graph g(3, {{1, 2}, {2, 3}}, 3);
  g.Order();
  EXPECT_EQ(g.prev, (std::vector<int32_t>{3, 1, 2}));
  EXPECT_EQ(g.elcount, (std::vector<int32_t>{2, 3, 1}));
  EXPECT_EQ(g.lstart[2], -2) << "element 3 is absorbed by element 2";
  EXPECT_EQ(g.lstart[1], 0) << "element 2 is the root";
  EXPECT_EQ(g.lstart[0], -2) << "1 is represented by 2";
  EXPECT_EQ(g.svsize, (std::vector<int32_t>{0, 2, 2}));
}

// In a full graph the first pivot takes every other variable along (mass
// elimination): one element of front n.
TEST(OrderingCore, FullGraphIsOneElement) {
  const int32_t n = 6;
  std::vector<std::pair<int32_t, int32_t>> e;
  for (int32_t i = 1; i <= n; ++i)
    for (int32_t j = i + 1; j <= n; ++j) e.push_back({i, j});
  Graph g(n, e, n);
  g.Order();
  EXPECT_EQ(g.prev, (std::vector<int32_t>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(g.svsize[n - 1], n);
  EXPECT_EQ(g.lstart[n - 1], 0);
  for (int32_t v = 1; v < n; ++v) {
    EXPECT_EQ(g.svsize[v - 1], 0);
    EXPECT_EQ(g.lstart[v - 1], -n);
  }
}

// 2 and 3 are adjacent to each other and to both 1 and 4. Eliminating 4
// leaves them indistinguishable: 3 (met last, first in its hash bucket)
// represents 2. Then 3 is the pivot and 1 goes with it.
TEST(OrderingCore, IndistinguishableVariablesMergeIntoOneSupervariable) {
  Graph g(4, {{1, 2}, {1, 3}, {2, 3}, {2, 4}, {3, 4}}, 4);
  g.Order();
  EXPECT_EQ(g.prev, (std::vector<int32_t>{4, 1, 2, 3}));
  EXPECT_EQ(g.lstart[1], -3) << "2 merged into 3";
  EXPECT_EQ(g.svsize[1], 0);
  EXPECT_EQ(g.svsize[2], 3) << "front of 3: 2, 3 and 1";
  EXPECT_EQ(g.lstart[3], -3) << "element 4 absorbed by 3";
  EXPECT_EQ(g.svsize[3], 3);
}

// A star: the leaves go first, highest index first; the centre ends with
// the last leaf.
TEST(OrderingCore, StarEliminatesLeavesFromTheHighestIndex) {
  const int32_t n = 6;
  std::vector<std::pair<int32_t, int32_t>> e;
  for (int32_t v = 2; v <= n; ++v) e.push_back({1, v});
  Graph g(n, e, n);
  g.Order();
  EXPECT_EQ(g.prev, (std::vector<int32_t>{6, 5, 4, 3, 2, 1}));
}

// With exactly n spare positions the lists are compacted along the way, and
// the order is the one found with ample space.
TEST(OrderingCore, MinimalSpaceCompactsAndGivesTheSameOrder) {
  std::mt19937 rng(5);
  int compacted = 0;
  for (int trial = 0; trial < 200; ++trial) {
    const int32_t n = 2 + static_cast<int32_t>(rng() % 60);
    std::vector<std::pair<int32_t, int32_t>> e;
    std::vector<std::vector<bool>> seen(n + 1, std::vector<bool>(n + 1));
    const int32_t m = static_cast<int32_t>(rng() % (4 * n));
    for (int32_t k = 0; k < m; ++k) {
      const int32_t i = 1 + static_cast<int32_t>(rng() % n), j = 1 + static_cast<int32_t>(rng() % n);
      if (i == j || seen[i][j]) continue;
      seen[i][j] = seen[j][i] = true;
      e.push_back({i, j});
    }
    if (trial % 4 == 0) e = GridEdges(2 + trial % 7);
    const int32_t order = trial % 4 == 0 ? (2 + trial % 7) * (2 + trial % 7) : n;
    Graph tight(order, e, order);
    Graph ample(order, e, 10 * order + 4 * static_cast<int64_t>(e.size()));
    tight.Order();
    ample.Order();
    SCOPED_TRACE(testing::Message() << "trial " << trial);
    ASSERT_EQ(tight.prev, ample.prev);
    ASSERT_EQ(tight.elcount, ample.elcount);
    ASSERT_EQ(tight.svsize, ample.svsize);
    EXPECT_EQ(ample.ncomp, 0);
    if (tight.ncomp > 0) ++compacted;
  }
  EXPECT_GT(compacted, 50);
}

}  // namespace
