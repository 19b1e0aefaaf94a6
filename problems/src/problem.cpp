#include "problems/problem.h"

#include <algorithm>
#include <cstddef>
#include <numeric>

namespace problems {
namespace {

// Records positions only.
class PatternRecorder final : public JacobianSink {
 public:
  explicit PatternRecorder(std::vector<int32_t>& rows, std::vector<int32_t>& cols)
      : rows_(rows), cols_(cols) {}
  void Add(int32_t row, int32_t col, double) override {
    rows_.push_back(row);
    cols_.push_back(col);
  }

 private:
  std::vector<int32_t>& rows_;
  std::vector<int32_t>& cols_;
};

// Stores values one after another in natural order.  Writing past the end
// would mean the problem produced more entries than its pattern holds; such
// extra entries are dropped rather than written out of bounds.
class ValueWriter final : public JacobianSink {
 public:
  explicit ValueWriter(std::vector<double>& values) : values_(values) {}
  void Add(int32_t, int32_t, double value) override {
    if (next_ < values_.size()) values_[next_] = value;
    ++next_;
  }

 private:
  std::vector<double>& values_;
  std::size_t next_ = 0;
};

}  // namespace

std::string Problem::EquationName(int32_t i) const {
  return "F" + std::to_string(i + 1);
}

std::string Problem::VariableName(int32_t j) const {
  return "X" + std::to_string(j + 1);
}

void Problem::Bounds(double* lower, double* upper) const {
  std::fill(lower, lower + nvars_, -kUnbounded);
  std::fill(upper, upper + nvars_, kUnbounded);
}

bool Problem::KnownSolution(double*) const { return false; }

std::optional<double> Problem::KnownMinimum() const { return std::nullopt; }

// The pattern is taken once, at the starting point, then sorted into column
// order with a stable sort, so that entries of one column keep rows ascending
// once ties are broken by row.  Example: natural (1,1) (1,2) (2,1) (2,2) gives
// column order (1,1) (2,1) (1,2) (2,2) and to_natural_ = [0 2 1 3].
void Problem::EnsurePattern() const {
  if (have_pattern_) return;
  std::vector<int32_t> rows, cols;
  PatternRecorder recorder(rows, cols);
  std::vector<double> x(static_cast<std::size_t>(nvars_));
  StartingPoint(x.data());
  Jacobian(x.data(), recorder);

  to_natural_.resize(rows.size());
  std::iota(to_natural_.begin(), to_natural_.end(), 0);
  std::stable_sort(to_natural_.begin(), to_natural_.end(), [&](int32_t a, int32_t b) {
    if (cols[a] != cols[b]) return cols[a] < cols[b];
    return rows[a] < rows[b];
  });
  rows_.resize(rows.size());
  cols_.resize(rows.size());
  for (std::size_t k = 0; k < rows.size(); ++k) {
    rows_[k] = rows[to_natural_[k]];
    cols_[k] = cols[to_natural_[k]];
  }
  natural_values_.assign(rows.size(), 0.0);
  have_pattern_ = true;
}

int32_t Problem::NNz() const {
  EnsurePattern();
  return static_cast<int32_t>(rows_.size());
}

const std::vector<int32_t>& Problem::JacobianRows() const {
  EnsurePattern();
  return rows_;
}

const std::vector<int32_t>& Problem::JacobianCols() const {
  EnsurePattern();
  return cols_;
}

void Problem::JacobianValues(const double* x, double* values) const {
  EnsurePattern();
  ValueWriter writer(natural_values_);
  Jacobian(x, writer);
  for (std::size_t k = 0; k < to_natural_.size(); ++k) values[k] = natural_values_[to_natural_[k]];
}

}  // namespace problems
