// MC59AD on thousands of random patterns, checked against a simple reference:
// sort the kept entries, merge equal ones, count what was dropped.
#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "mc59_harness.h"

namespace {

using mc59test::Call;
using Key = std::pair<int32_t, int32_t>;  // (column, row)

struct Reference {
  std::map<Key, std::vector<double>> entries;  // every value met, in input order
  int32_t bad_rows = 0, bad_columns = 0, upper = 0, duplicates = 0;
};

struct Setup {
  int32_t mode, sym;
  bool check, values;
};

// What the routine must produce for coordinate input (rows, cols) or, in
// mode 2, for the columns given by `starts`.
Reference Expect(const Setup& s, int32_t nc, int32_t nr, const std::vector<int32_t>& rows,
                 const std::vector<int32_t>& cols, const std::vector<int32_t>& starts,
                 const std::vector<double>& values) {
  Reference r;
  for (std::size_t k = 0; k < rows.size(); ++k) {
    int32_t i = rows[k];
    int32_t j = s.mode == 2 ? 0 : cols[k];
    if (s.mode == 2) {
      while (starts[j + 1] <= static_cast<int32_t>(k) + 1) ++j;
      ++j;
    }
    const bool bad_row = i < 1 || i > nr;
    const bool bad_column = j < 1 || j > nc;
    if (bad_row || bad_column) {
      r.bad_rows += bad_row;
      r.bad_columns += bad_column;
      continue;
    }
    if (s.sym != 0 && i < j) {
      if (s.mode == 2) {
        ++r.bad_rows;
        ++r.upper;
        continue;
      }
      std::swap(i, j);
    }
    auto& met = r.entries[{j, i}];
    if (!met.empty()) ++r.duplicates;
    met.push_back(values.empty() ? 0.0 : values[k]);
  }
  return r;
}

void CheckAgainst(const Setup& s, const Reference& r, const Call& c) {
  const int32_t expected_status =
      (r.duplicates > 0) + 2 * (r.bad_rows > 0) + 4 * (r.bad_columns > 0);
  ASSERT_EQ(c.Info(MC59_INFO_STATUS), expected_status);
  ASSERT_EQ(c.Info(MC59_INFO_DUPLICATES), r.duplicates);
  ASSERT_EQ(c.Info(MC59_INFO_BAD_ROWS), r.bad_rows);
  ASSERT_EQ(c.Info(MC59_INFO_BAD_COLUMNS), r.bad_columns);
  ASSERT_EQ(c.Info(MC59_INFO_ENTRIES), static_cast<int32_t>(r.entries.size()));
  ASSERT_EQ(c.Info(MC59_INFO_UPPER), r.upper);
  auto it = r.entries.begin();
  ASSERT_EQ(c.ip[0], 1);
  for (int32_t j = 1; j <= c.nc; ++j) {
    std::vector<std::pair<int32_t, double>> got;
    for (int32_t k = c.ip[j - 1]; k < c.ip[j]; ++k)
      got.emplace_back(c.irn[k - 1], s.values ? c.a[k - 1] : 0.0);
    if (s.mode == 0) std::sort(got.begin(), got.end());
    for (const auto& [row, value] : got) {
      ASSERT_TRUE(it != r.entries.end());
      ASSERT_EQ(it->first, Key(j, row)) << "column " << j;
      if (s.values) {
        const std::vector<double>& met = it->second;
        double sum = 0;
        for (double v : met) sum += v;  // small integers: exact in any order
        if (s.sym >= 0) {
          ASSERT_EQ(value, sum);
        } else if (s.mode == 2) {
          ASSERT_EQ(value, met.front());  // the first met in input order
        } else {
          ASSERT_NE(std::find(met.begin(), met.end(), value), met.end());
        }
      }
      ++it;
    }
  }
  ASSERT_TRUE(it == r.entries.end());
}

void RunSeed(uint32_t seed) {
  std::mt19937 gen(seed);
  auto uniform = [&gen](int32_t lo, int32_t hi) {
    return std::uniform_int_distribution<int32_t>(lo, hi)(gen);
  };
  Setup s{uniform(0, 2), uniform(-2, 2), uniform(0, 3) != 0, uniform(0, 1) == 1};
  const int32_t nc = uniform(1, 9);
  const int32_t nr = s.sym != 0 ? nc : uniform(1, 9);
  const int32_t ne = uniform(1, 40);
  const bool wild = s.check && uniform(0, 1) == 1;  // some indices out of range
  auto index = [&](int32_t n) { return wild ? uniform(-1, n + 2) : uniform(1, n); };
  std::vector<int32_t> rows(ne), cols(ne), starts;
  std::vector<double> values;
  for (int32_t k = 0; k < ne; ++k) {
    rows[k] = index(nr);
    cols[k] = s.mode == 2 ? uniform(1, nc) : index(nc);
    if (s.values) values.push_back(uniform(-50, 50));
  }
  if (!s.check) {  // without checks the input must be valid and free of duplicates
    std::map<Key, int> seen;
    std::vector<int32_t> r2, c2;
    std::vector<double> v2;
    for (int32_t k = 0; k < ne; ++k) {
      Key key = s.sym != 0 ? Key(std::min(rows[k], cols[k]), std::max(rows[k], cols[k]))
                           : Key(cols[k], rows[k]);
      if (seen[key]++) continue;
      // symmetric column form takes the lower triangle only
      if (s.mode == 2 && s.sym != 0 && rows[k] < cols[k]) std::swap(rows[k], cols[k]);
      r2.push_back(rows[k]);
      c2.push_back(cols[k]);
      if (s.values) v2.push_back(values[k]);
    }
    rows = r2, cols = c2, values = v2;
  }
  if (s.mode == 2) {  // column form: group the entries by column, keeping their order
    const int32_t n = static_cast<int32_t>(rows.size());
    std::vector<int32_t> order(n);
    for (int32_t k = 0; k < n; ++k) order[k] = k;
    std::stable_sort(order.begin(), order.end(), [&](int32_t x, int32_t y) { return cols[x] < cols[y]; });
    std::vector<int32_t> r2, c2, count(nc + 1, 0);
    std::vector<double> v2;
    for (int32_t k : order) {
      r2.push_back(rows[k]);
      c2.push_back(cols[k]);
      if (s.values) v2.push_back(values[k]);
      ++count[cols[k]];
    }
    rows = r2, cols = c2, values = v2;
    starts.assign(nc + 1, 1);  // starts[j - 1] = IP(j)
    for (int32_t j = 1; j <= nc; ++j) starts[j] = starts[j - 1] + count[j];
  }
  Reference ref = Expect(s, nc, nr, rows, cols, starts, values);
  Call c;
  c.Control(MC59_ICNTL_MODE) = s.mode;
  c.Control(MC59_ICNTL_SYMMETRIC) = s.sym;
  c.Coordinates(nc, nr, rows, s.mode == 2 ? std::vector<int32_t>{0} : cols, values);
  c.Control(MC59_ICNTL_NO_CHECK) = s.check ? 0 : 1;
  if (s.mode == 2) c.ip = starts;
  c.Run();
  SCOPED_TRACE(testing::Message() << "seed " << seed << " mode " << s.mode << " sym " << s.sym
                                  << " check " << s.check << " values " << s.values);
  if (ref.entries.empty() && s.mode != 2) {
    ASSERT_EQ(c.Info(MC59_INFO_STATUS), -10);
    ASSERT_EQ(c.Info(MC59_INFO_VALUE), ref.bad_rows + ref.bad_columns);
    return;
  }
  CheckAgainst(s, ref, c);
}

TEST(MC59Random, AgreesWithSortAndMergeReference) {
  for (uint32_t seed = 1; seed <= 5000; ++seed) {
    RunSeed(seed);
    if (HasFatalFailure()) return;
  }
}

}  // namespace
