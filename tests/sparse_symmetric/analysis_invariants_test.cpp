// Invariants of the analysis on many random patterns, on both paths:
// the order is a permutation, the map and the permuted structure agree with
// the input, the assembly tree is a valid post-ordered tree whose nodes are
// dense column chains of the factor, and the forecasts match an independent
// symbolic factorization.
#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "analysis_support.h"

namespace {

using ma57test::Analysis;
using ma57test::Pattern;

void ExpectPermutation(const Analysis& a) {
  std::vector<int> seen(a.n() + 1, 0);
  for (int32_t v = 1; v <= a.n(); ++v) {
    const int32_t p = a.Pos(v);
    ASSERT_GE(p, 1);
    ASSERT_LE(p, a.n());
    ASSERT_EQ(seen[p]++, 0) << "position " << p << " used twice";
  }
}

// Every in-range entry maps to its own slot, in the row of its earlier
// variable, holding the other variable; the diagonal slot of each row holds
// the row's variable.
void ExpectStructure(const Analysis& a, const Pattern& input) {
  const int32_t n = a.n();
  std::vector<int64_t> rowstart(n + 2, 1);
  for (int32_t r = 1; r <= n; ++r) rowstart[r + 1] = rowstart[r] + a.RowCount(r);
  ASSERT_EQ(rowstart[n + 1] - 1, a.Entries());
  std::vector<int32_t> var_at(n + 1);
  for (int32_t v = 1; v <= n; ++v) var_at[a.Pos(v)] = v;
  for (int32_t r = 1; r <= n; ++r) ASSERT_EQ(a.Column(static_cast<int32_t>(rowstart[r])), var_at[r]);
  std::vector<int> used(a.Entries() + 1, 0);
  int64_t in_range = 0;
  for (int32_t k = 1; k <= input.ne(); ++k) {
    const int32_t i = input.irn[k - 1], j = input.jcn[k - 1];
    const int32_t m = a.Map(k);
    if (i < 1 || j < 1 || i > n || j > n) {
      ASSERT_EQ(m, 0) << "entry " << k;
      continue;
    }
    ++in_range;
    ASSERT_GE(m, 1);
    ASSERT_LE(m, a.Entries());
    ASSERT_EQ(used[m]++, 0) << "slot " << m << " shared";
    const int32_t row = std::min(a.Pos(i), a.Pos(j));
    ASSERT_GE(m, rowstart[row]) << "entry " << k;
    ASSERT_LT(m, rowstart[row + 1]) << "entry " << k;
    ASSERT_EQ(a.Column(m), a.Pos(i) == row ? j : i) << "entry " << k;
  }
  // Slots: one per in-range entry, plus one for each row without a diagonal.
  int64_t with_diag = 0;
  std::vector<int> has(n + 1, 0);
  for (int32_t k = 0; k < input.ne(); ++k) {
    const int32_t i = input.irn[k];
    if (i == input.jcn[k] && i >= 1 && i <= n && !has[i]++) ++with_diag;
  }
  EXPECT_EQ(a.Entries(), in_range + n - with_diag);
}

// Rebuilds the tree from the post-order and the children counts and checks
// it against the symbolic factor: each node's variables take consecutive
// positions, its front is the column count of its first column, its columns
// form a dense chain (when only exact amalgamation is on), and the
// contribution block of each child lies inside its parent's front.
void ExpectTree(const Analysis& a, const Pattern& input, bool exact_nodes) {
  const int32_t n = a.n(), nodes = a.Nodes();
  ASSERT_GE(nodes, 1);
  ASSERT_LE(nodes, n);
  EXPECT_EQ(a.Info(MA57_INFO_NODES), nodes);
  std::vector<int32_t> first(nodes + 2, n + 1), last(nodes + 1, 0), var_at(n + 1);
  for (int32_t v = 1; v <= n; ++v) {
    const int32_t k = std::abs(a.NodeOf(v));
    ASSERT_GE(k, 1);
    ASSERT_LE(k, nodes);
    first[k] = std::min(first[k], a.Pos(v));
    last[k] = std::max(last[k], a.Pos(v));
    var_at[a.Pos(v)] = v;
  }
  int32_t expect_first = 1;
  for (int32_t k = 1; k <= nodes; ++k) {
    ASSERT_EQ(first[k], expect_first) << "node " << k << " positions not in node order";
    for (int32_t p = first[k]; p <= last[k]; ++p) ASSERT_EQ(std::abs(a.NodeOf(var_at[p])), k);
    expect_first = last[k] + 1;
  }
  const ma57test::Symbolic s = ma57test::SymbolicFactor(input, a.Order());
  // A node's front: its pivot columns with their rows below the diagonal.
  auto front_set = [&](int32_t k) {
    std::set<int32_t> f;
    for (int32_t p = first[k]; p <= last[k]; ++p) {
      f.insert(p);
      f.insert(s.below[p - 1].begin(), s.below[p - 1].end());
    }
    return f;
  };
  std::vector<int32_t> stack;
  int64_t max_front = 0;
  for (int32_t k = 1; k <= nodes; ++k) {
    const int32_t c = a.Children(k);
    ASSERT_GE(c, 0);
    ASSERT_LE(static_cast<size_t>(c), stack.size()) << "node " << k;
    const std::set<int32_t> front = front_set(k);
    max_front = std::max<int64_t>(max_front, static_cast<int64_t>(front.size()));
    for (int32_t t = 0; t < c; ++t) {
      const int32_t child = stack.back();
      stack.pop_back();
      for (int32_t r : front_set(child)) {
        if (r >= first[child] && r <= last[child]) continue;
        ASSERT_TRUE(front.count(r)) << "child " << child << " row " << r << " outside node " << k;
      }
    }
    if (exact_nodes) {
      for (int32_t p = first[k]; p < last[k]; ++p) {
        ASSERT_EQ(s.ColCount(p + 1), s.ColCount(p) - 1) << "node " << k << " not a dense chain";
        ASSERT_EQ(*s.below[p - 1].begin(), p + 1);
      }
    }
    stack.push_back(k);
  }
  EXPECT_EQ(a.Info(MA57_INFO_FORECAST_FRONT), max_front);
  if (exact_nodes) {
    EXPECT_EQ(a.Info(MA57_INFO_FORECAST_REAL), s.FactorEntries());
  } else {
    EXPECT_GE(a.Info(MA57_INFO_FORECAST_REAL), s.FactorEntries());
  }
  // The remaining stack holds the roots; every root's last column has no
  // parent in the elimination tree.
  for (int32_t r : stack) EXPECT_EQ(s.parent[last[r] - 1], 0) << "root node " << r;
}

void CheckAll(const Analysis& a, const Pattern& input, bool exact_nodes) {
  ASSERT_GE(a.Info(MA57_INFO_STATUS), 0);
  ExpectPermutation(a);
  ExpectStructure(a, input);
  ExpectTree(a, input, exact_nodes);
}

std::vector<int32_t> RandomOrder(std::mt19937& rng, int32_t n) {
  std::vector<int32_t> order(n);
  for (int32_t v = 0; v < n; ++v) order[v] = v + 1;
  std::shuffle(order.begin(), order.end(), rng);
  return order;
}

TEST(AnalysisInvariants, RandomPatternsBothPaths) {
  std::mt19937 rng(20261208);
  for (int trial = 0; trial < 3000; ++trial) {
    const int32_t n = 1 + static_cast<int32_t>(rng() % 40);
    const int32_t ne = static_cast<int32_t>(rng() % (3 * n + 1));
    const Pattern p = ma57test::RandomPattern(rng, n, ne, trial % 7 == 0);
    SCOPED_TRACE(testing::Message() << "trial " << trial << " n " << n << " ne " << ne);
    Analysis own(p);
    own.Run();
    CheckAll(own, p, true);
    if (HasFatalFailure()) return;
    // The same pattern in a random supplied order, and in the order just found:
    // the latter must give the same factor size.
    Analysis supplied(p);
    supplied.Run(RandomOrder(rng, n));
    CheckAll(supplied, p, true);
    if (HasFatalFailure()) return;
    Analysis again(p);
    again.Run(own.Order());
    CheckAll(again, p, true);
    EXPECT_EQ(again.Info(MA57_INFO_FORECAST_REAL), own.Info(MA57_INFO_FORECAST_REAL));
    if (HasFatalFailure()) return;
  }
}

TEST(AnalysisInvariants, AmalgamationParameterKeepsAValidTree) {
  std::mt19937 rng(77);
  for (int trial = 0; trial < 500; ++trial) {
    const int32_t n = 1 + static_cast<int32_t>(rng() % 30);
    const Pattern p = ma57test::RandomPattern(rng, n, static_cast<int32_t>(rng() % (2 * n + 1)));
    SCOPED_TRACE(testing::Message() << "trial " << trial);
    for (int32_t amalgamation : {2, 4, 16}) {
      Analysis a(p);
      a.Icntl(MA57_ICNTL_AMALGAMATION) = amalgamation;
      a.Run(trial % 2 ? RandomOrder(rng, n) : std::vector<int32_t>{});
      CheckAll(a, p, false);
      if (HasFatalFailure()) return;
    }
  }
}

}  // namespace
