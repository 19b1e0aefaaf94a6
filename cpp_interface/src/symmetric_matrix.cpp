// SymmetricMatrix: the caller's entries checked and reduced to the lower
// triangle, counted from 1, as the analysis and factorization take them.
//
// With both triangles given, entry (i, j) above the diagonal is the mirror of
// (j, i) below it. The check sums the entries of each off-diagonal position
// on either side (repeats are summed, as the factorization sums them) and
// compares the two sums; a position given on one side only must be 0 there.
// Positions are grouped once, when the matrix is built, so that new values
// (WithValues) are checked in one pass.
#include "dalvex/symmetric_matrix.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "dalvex/error.hpp"

namespace dalvex {

struct SymmetricMatrix::Structure {
  int32_t n = 0;
  Triangle triangle = Triangle::kLower;
  int64_t input_entries = 0;
  // The kept entries (row >= column), counted from 1, in the caller's order.
  std::vector<int32_t> rows, columns;
  // The caller's entry of each kept entry; empty when every entry is kept.
  std::vector<int32_t> kept_from;
  // Triangle::kBoth: the off-diagonal position of each caller's entry as a
  // group number (-1 on the diagonal), whether the entry lies above the
  // diagonal, and each group's lower position (row > column, from 0);
  // groups are numbered in the order of rows, then columns.
  std::vector<int32_t> group_of;
  std::vector<bool> above;
  std::vector<std::pair<int32_t, int32_t>> group_position;
};

namespace {

constexpr int64_t kMax32 = std::numeric_limits<int32_t>::max();

[[noreturn]] void Fail(ErrorCode code, const std::string& message) { throw Error(code, message); }

std::string Entry(int64_t k, int64_t row, int64_t column) {
  std::ostringstream s;
  s << "entry " << k << " at (row " << row << ", column " << column << ")";
  return s.str();
}

// The order and entry counts the routines can hold: 32-bit lengths for the
// entries and for the analysis's array of 5n + NE + max(n, NE) + 42.
void CheckSizes(int64_t n, int64_t entries) {
  if (n < 1)
    Fail(ErrorCode::kInvalidArgument, "the order n is " + std::to_string(n) + "; it must be >= 1");
  if (n > kMax32 || entries > kMax32 || 5 * n + 2 * std::max(n, entries) + 42 > kMax32) {
    Fail(ErrorCode::kTooLarge, "order " + std::to_string(n) + " with " + std::to_string(entries) +
                                   " entries exceeds the 32-bit lengths of the factorization");
  }
}

void CheckValues(Span<const double> values, int64_t entries) {
  if (values.empty()) return;
  if (static_cast<int64_t>(values.size()) != entries) {
    Fail(ErrorCode::kInvalidArgument,
         std::to_string(values.size()) + " values for " + std::to_string(entries) + " entries");
  }
  for (size_t k = 0; k < values.size(); ++k) {
    if (!std::isfinite(values[k])) {
      std::ostringstream s;
      s << "entry " << k << " has the value " << values[k] << "; values must be finite";
      Fail(ErrorCode::kNotFinite, s.str());
    }
  }
}

// Groups the off-diagonal entries of a matrix given by both triangles by
// their position. Example: entries (1,0) (0,1) (2,2) (0,1) give groups
// [0, 0, -1, 0] with position (1, 0), the second and fourth above.
void GroupPositions(SymmetricMatrix::Structure& s,
                    const std::vector<int32_t>& r0,
                    const std::vector<int32_t>& c0) {
  const int64_t e = s.input_entries;
  std::vector<int32_t> order;
  order.reserve(static_cast<size_t>(e));
  s.group_of.assign(static_cast<size_t>(e), -1);
  s.above.assign(static_cast<size_t>(e), false);
  for (int64_t k = 0; k < e; ++k) {
    if (r0[k] != c0[k]) order.push_back(static_cast<int32_t>(k));
    s.above[k] = r0[k] < c0[k];
  }
  auto key = [&](int32_t k) { return std::pair{std::max(r0[k], c0[k]), std::min(r0[k], c0[k])}; };
  std::stable_sort(order.begin(), order.end(),
                   [&](int32_t a, int32_t b) { return key(a) < key(b); });
  for (size_t q = 0; q < order.size(); ++q) {
    if (q == 0 || key(order[q]) != key(order[q - 1])) s.group_position.push_back(key(order[q]));
    s.group_of[order[q]] = static_cast<int32_t>(s.group_position.size()) - 1;
  }
}

// Compares the two triangles' sums position by position; throws naming the
// first position (in the order of rows, then columns) where they differ.
void CheckSymmetry(const SymmetricMatrix::Structure& s, Span<const double> values) {
  const size_t groups = s.group_position.size();
  std::vector<double> below(groups, 0.0), over(groups, 0.0);
  std::vector<char> has_below(groups, 0), has_over(groups, 0);
  for (size_t k = 0; k < s.group_of.size(); ++k) {
    const int32_t g = s.group_of[k];
    if (g < 0) continue;
    (s.above[k] ? over : below)[g] += values[k];
    (s.above[k] ? has_over : has_below)[g] = 1;
  }
  for (size_t g = 0; g < groups; ++g) {
    if (below[g] == over[g]) continue;
    const auto [i, j] = s.group_position[g];
    auto side = [](bool present, double v) {
      std::ostringstream t;
      if (present) {
        t.precision(17);
        t << v;
      } else {
        t << "absent";
      }
      return t.str();
    };
    Fail(ErrorCode::kNotSymmetric, "not symmetric: (row " + std::to_string(i) + ", column " +
                                       std::to_string(j) + ") is " + side(has_below[g], below[g]) +
                                       " but (row " + std::to_string(j) + ", column " +
                                       std::to_string(i) + ") is " + side(has_over[g], over[g]) +
                                       " (positions counted from 0, repeats summed)");
  }
}

std::vector<double> KeptValues(const SymmetricMatrix::Structure& s, Span<const double> values) {
  if (s.kept_from.empty()) return std::vector<double>(values.begin(), values.end());
  std::vector<double> kept(s.kept_from.size());
  for (size_t q = 0; q < kept.size(); ++q) kept[q] = values[s.kept_from[q]];
  return kept;
}

// The common path of every constructor: entry(k) gives the k-th entry's
// (row, column) as the caller numbered them.
template <class EntryAt>
std::shared_ptr<SymmetricMatrix::Structure> Build(int64_t n,
                                                  int64_t entries,
                                                  EntryAt entry,
                                                  Triangle triangle) {
  CheckSizes(n, entries);
  auto s = std::make_shared<SymmetricMatrix::Structure>();
  s->n = static_cast<int32_t>(n);
  s->triangle = triangle;
  s->input_entries = entries;
  std::vector<int32_t> r0(static_cast<size_t>(entries)), c0(static_cast<size_t>(entries));
  for (int64_t k = 0; k < entries; ++k) {
    const auto [i, j] = entry(k);
    if (i < 0 || i >= n || j < 0 || j >= n) {
      Fail(ErrorCode::kIndexOutOfRange,
           Entry(k, i, j) + " lies outside 0.." + std::to_string(n - 1));
    }
    if ((triangle == Triangle::kLower && i < j) || (triangle == Triangle::kUpper && i > j)) {
      Fail(ErrorCode::kInvalidArgument, Entry(k, i, j) + " is outside the " + to_string(triangle) +
                                            " triangle the matrix was declared with");
    }
    r0[k] = static_cast<int32_t>(i);
    c0[k] = static_cast<int32_t>(j);
  }
  if (triangle == Triangle::kBoth) GroupPositions(*s, r0, c0);
  for (int64_t k = 0; k < entries; ++k) {
    if (triangle == Triangle::kBoth && r0[k] < c0[k]) continue;
    s->rows.push_back(std::max(r0[k], c0[k]) + 1);
    s->columns.push_back(std::min(r0[k], c0[k]) + 1);
    if (triangle == Triangle::kBoth) s->kept_from.push_back(static_cast<int32_t>(k));
  }
  if (s->kept_from.size() == static_cast<size_t>(entries)) s->kept_from.clear();
  return s;
}

using StructurePtr = std::shared_ptr<const SymmetricMatrix::Structure>;

template <class Index>
StructurePtr CoordinateStructure(int64_t n,
                                 Span<const Index> rows,
                                 Span<const Index> columns,
                                 Triangle triangle) {
  if (rows.size() != columns.size()) {
    Fail(ErrorCode::kInvalidArgument, std::to_string(rows.size()) + " row indices but " +
                                          std::to_string(columns.size()) + " column indices");
  }
  return Build(
      n, static_cast<int64_t>(rows.size()),
      [&](int64_t k) { return std::pair<int64_t, int64_t>(rows[k], columns[k]); }, triangle);
}

// Compressed form: `starts` (n + 1 of them, from 0) delimits each major
// index's minor indices; the major index is the row when `rows_major`.
template <class Index>
StructurePtr CompressedStructure(int64_t n,
                                 Span<const Index> starts,
                                 Span<const Index> indices,
                                 Triangle triangle,
                                 bool rows_major) {
  const std::string name = rows_major ? "row_starts" : "column_starts";
  CheckSizes(n, static_cast<int64_t>(indices.size()));
  if (static_cast<int64_t>(starts.size()) != n + 1) {
    Fail(ErrorCode::kInvalidArgument, name + " has " + std::to_string(starts.size()) +
                                          " entries; it needs n + 1 = " + std::to_string(n + 1));
  }
  if (starts[0] != 0) Fail(ErrorCode::kInvalidArgument, name + "[0] is not 0");
  for (int64_t j = 0; j < n; ++j) {
    if (starts[j + 1] < starts[j]) {
      Fail(ErrorCode::kInvalidArgument, name + " decreases at " + std::to_string(j + 1));
    }
  }
  if (static_cast<int64_t>(starts[n]) != static_cast<int64_t>(indices.size())) {
    Fail(ErrorCode::kInvalidArgument, name + "[n] is " + std::to_string(starts[n]) +
                                          " but there are " + std::to_string(indices.size()) +
                                          " indices");
  }
  // The major index of every entry, in entry order.
  std::vector<int32_t> major(indices.size());
  for (int64_t j = 0; j < n; ++j) {
    std::fill(major.begin() + static_cast<int64_t>(starts[j]),
              major.begin() + static_cast<int64_t>(starts[j + 1]), static_cast<int32_t>(j));
  }
  return Build(
      n, static_cast<int64_t>(indices.size()),
      [&](int64_t k) {
        return rows_major ? std::pair<int64_t, int64_t>(major[k], indices[k])
                          : std::pair<int64_t, int64_t>(indices[k], major[k]);
      },
      triangle);
}

}  // namespace

const char* to_string(Triangle triangle) {
  switch (triangle) {
    case Triangle::kLower: return "lower";
    case Triangle::kUpper: return "upper";
    case Triangle::kBoth: return "both";
  }
  return "unknown";
}

SymmetricMatrix::SymmetricMatrix(std::shared_ptr<const Structure> structure,
                                 std::shared_ptr<const std::vector<double>> values)
    : structure_(std::move(structure)), values_(std::move(values)), order_(structure_->n) {}

SymmetricMatrix SymmetricMatrix::Make(std::shared_ptr<const Structure> structure,
                                      Span<const double> values) {
  CheckValues(values, structure->input_entries);
  // No values for entries that exist make a pattern; a matrix without
  // entries (all zero) has all of its no values.
  if (values.empty() && structure->input_entries > 0) {
    return SymmetricMatrix(std::move(structure), nullptr);
  }
  if (structure->triangle == Triangle::kBoth) CheckSymmetry(*structure, values);
  auto kept = std::make_shared<const std::vector<double>>(KeptValues(*structure, values));
  return SymmetricMatrix(std::move(structure), std::move(kept));
}

SymmetricMatrix SymmetricMatrix::FromCoordinates(int64_t n,
                                                 Span<const int32_t> rows,
                                                 Span<const int32_t> columns,
                                                 Span<const double> values,
                                                 Triangle triangle) {
  return Make(CoordinateStructure(n, rows, columns, triangle), values);
}

SymmetricMatrix SymmetricMatrix::FromCoordinates(int64_t n,
                                                 Span<const int64_t> rows,
                                                 Span<const int64_t> columns,
                                                 Span<const double> values,
                                                 Triangle triangle) {
  return Make(CoordinateStructure(n, rows, columns, triangle), values);
}

SymmetricMatrix SymmetricMatrix::FromCsc(int64_t n,
                                         Span<const int32_t> column_starts,
                                         Span<const int32_t> row_indices,
                                         Span<const double> values,
                                         Triangle triangle) {
  return Make(CompressedStructure(n, column_starts, row_indices, triangle, false), values);
}

SymmetricMatrix SymmetricMatrix::FromCsc(int64_t n,
                                         Span<const int64_t> column_starts,
                                         Span<const int64_t> row_indices,
                                         Span<const double> values,
                                         Triangle triangle) {
  return Make(CompressedStructure(n, column_starts, row_indices, triangle, false), values);
}

SymmetricMatrix SymmetricMatrix::FromCsr(int64_t n,
                                         Span<const int32_t> row_starts,
                                         Span<const int32_t> column_indices,
                                         Span<const double> values,
                                         Triangle triangle) {
  return Make(CompressedStructure(n, row_starts, column_indices, triangle, true), values);
}

SymmetricMatrix SymmetricMatrix::FromCsr(int64_t n,
                                         Span<const int64_t> row_starts,
                                         Span<const int64_t> column_indices,
                                         Span<const double> values,
                                         Triangle triangle) {
  return Make(CompressedStructure(n, row_starts, column_indices, triangle, true), values);
}

SymmetricMatrix SymmetricMatrix::WithValues(Span<const double> values) const {
  if (values.empty() && structure_->input_entries > 0) {
    throw Error(
        ErrorCode::kInvalidArgument,
        "WithValues needs " + std::to_string(structure_->input_entries) + " values, one per entry");
  }
  return Make(structure_, values);
}

int64_t SymmetricMatrix::entries() const { return structure_->input_entries; }
int64_t SymmetricMatrix::stored_entries() const {
  return static_cast<int64_t>(structure_->rows.size());
}
Triangle SymmetricMatrix::triangle() const { return structure_->triangle; }

Span<const int32_t> SymmetricMatrix::routine_rows() const { return structure_->rows; }
Span<const int32_t> SymmetricMatrix::routine_columns() const { return structure_->columns; }
Span<const double> SymmetricMatrix::routine_values() const {
  return values_ ? Span<const double>(*values_) : Span<const double>();
}

bool SymmetricMatrix::SamePattern(const SymmetricMatrix& other) const {
  if (structure_ == other.structure_) return true;
  return order_ == other.order_ && structure_->rows == other.structure_->rows &&
         structure_->columns == other.structure_->columns;
}

void SymmetricMatrix::Multiply(Span<const double> x, Span<double> y) const {
  if (!values_) throw Error(ErrorCode::kInvalidArgument, "a pattern has no values to multiply by");
  if (static_cast<int64_t>(x.size()) != order_ || static_cast<int64_t>(y.size()) != order_) {
    throw Error(ErrorCode::kInvalidArgument,
                "Multiply takes vectors of the order " + std::to_string(order_));
  }
  std::fill(y.begin(), y.end(), 0.0);
  const auto& r = structure_->rows;
  const auto& c = structure_->columns;
  const auto& v = *values_;
  for (size_t k = 0; k < v.size(); ++k) {
    const int32_t i = r[k] - 1, j = c[k] - 1;
    y[i] += v[k] * x[j];
    if (i != j) y[j] += v[k] * x[i];
  }
}

double SymmetricMatrix::NormInf() const {
  if (!values_) return 0.0;
  std::vector<double> sums(static_cast<size_t>(order_), 0.0);
  const auto& r = structure_->rows;
  const auto& c = structure_->columns;
  const auto& v = *values_;
  for (size_t k = 0; k < v.size(); ++k) {
    sums[r[k] - 1] += std::fabs(v[k]);
    if (r[k] != c[k]) sums[c[k] - 1] += std::fabs(v[k]);
  }
  return sums.empty() ? 0.0 : *std::max_element(sums.begin(), sums.end());
}

}  // namespace dalvex
