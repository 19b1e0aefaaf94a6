// LeastSquaresProblem: the caller's Jacobian pattern, checked and put in the
// column order NS23AD takes, with the map that carries the caller's values
// into that order.
//
// Example: entries (row, column) = (1,1) (0,0) (0,1) sorted by column, then
// row, become (0,0) (0,1) (1,1); routine entry q holds the caller's entry
// order[q] = [1 2 0], and the column starts are [1 2 4] (from 1).
#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "dalvex/error.hpp"
#include "dalvex/least_squares.hpp"
#include "least_squares_data.h"

namespace dalvex {
namespace {

constexpr int64_t kMax32 = std::numeric_limits<int32_t>::max();

[[noreturn]] void Fail(ErrorCode code, const std::string& message) { throw Error(code, message); }

template <class Index>
std::shared_ptr<LeastSquaresProblem::Data> Build(int64_t m,
                                                 int64_t n,
                                                 Span<const Index> rows,
                                                 Span<const Index> columns,
                                                 ResidualFunction residuals,
                                                 JacobianFunction jacobian,
                                                 JacobianViewFunction jacobian_view,
                                                 bool differences) {
  if (n < 1 || m < n) {
    Fail(ErrorCode::kInvalidArgument, "a problem of " + std::to_string(m) + " residuals in " +
                                          std::to_string(n) +
                                          " variables: it needs 1 <= variables <= residuals");
  }
  if (m > kMax32 || static_cast<int64_t>(rows.size()) >= kMax32) {
    Fail(ErrorCode::kTooLarge, "sizes beyond the least-squares routine's 32-bit lengths");
  }
  if (rows.size() != columns.size()) {
    Fail(ErrorCode::kInvalidArgument, std::to_string(rows.size()) + " row indices but " +
                                          std::to_string(columns.size()) + " column indices");
  }
  if (!residuals) Fail(ErrorCode::kInvalidArgument, "the residual function is empty");
  if (!differences && !jacobian && !jacobian_view)
    Fail(ErrorCode::kInvalidArgument, "the Jacobian function is empty");
  auto d = std::make_shared<LeastSquaresProblem::Data>();
  d->m = static_cast<int32_t>(m);
  d->n = static_cast<int32_t>(n);
  d->differences = differences;
  d->residuals = std::move(residuals);
  d->jacobian = std::move(jacobian);
  d->jacobian_view = std::move(jacobian_view);
  const int32_t nnz = static_cast<int32_t>(rows.size());
  const size_t cells = static_cast<size_t>(nnz), columns_plus = static_cast<size_t>(n) + 1;
  d->block.Resize(internal::CellCount(3 * uint64_t{cells} + std::max<size_t>(cells, 1) + columns_plus));
  int32_t* at = d->block.data();
  const auto place = [&at](size_t length) {
    const Span<int32_t> s(at, length);
    at += length;
    return s;
  };
  d->rows = place(cells);
  d->columns = place(cells);
  d->irn = place(std::max<size_t>(cells, 1));
  d->ip = place(columns_plus);
  const Span<int32_t> order = place(cells);
  for (int32_t k = 0; k < nnz; ++k) {
    if (rows[k] < 0 || rows[k] >= m || columns[k] < 0 || columns[k] >= n) {
      Fail(ErrorCode::kIndexOutOfRange, "Jacobian entry " + std::to_string(k) + " at (row " +
                                            std::to_string(rows[k]) + ", column " +
                                            std::to_string(columns[k]) + ") lies outside " +
                                            std::to_string(m) + " x " + std::to_string(n));
    }
    d->rows[k] = static_cast<int32_t>(rows[k]);
    d->columns[k] = static_cast<int32_t>(columns[k]);
  }
  // Entries by column, then row, ties in the caller's order: a counting
  // sort by column (stable), then each column's entries sorted by row where
  // they are not in order already (never for a pattern given by rows).
  std::fill(d->ip.begin(), d->ip.end(), 0);
  for (int32_t k = 0; k < nnz; ++k) d->ip[d->columns[k] + 1] += 1;
  d->ip[0] = 1;
  for (int64_t j = 0; j < n; ++j) d->ip[j + 1] += d->ip[j];
  {
    std::vector<int32_t> next(d->ip.begin(), d->ip.end() - 1);  // from 1
    for (int32_t k = 0; k < nnz; ++k) order[next[d->columns[k]]++ - 1] = k;
  }
  const auto by_row = [&](int32_t a, int32_t b) { return d->rows[a] < d->rows[b]; };
  for (int64_t j = 0; j < n; ++j) {
    const auto first = order.begin() + (d->ip[j] - 1), last = order.begin() + (d->ip[j + 1] - 1);
    if (!std::is_sorted(first, last, by_row)) std::stable_sort(first, last, by_row);
  }
  d->irn[0] = 1;  // the one cell of an empty pattern
  for (int32_t q = 0; q < nnz; ++q) {
    const int32_t k = order[q];
    if (q > 0 && d->rows[k] == d->rows[order[q - 1]] && d->columns[k] == d->columns[order[q - 1]]) {
      Fail(ErrorCode::kInvalidArgument,
           "Jacobian entry " + std::to_string(std::max(k, order[q - 1])) + " repeats (row " +
               std::to_string(d->rows[k]) + ", column " + std::to_string(d->columns[k]) +
               ") of entry " + std::to_string(std::min(k, order[q - 1])));
    }
    d->irn[q] = d->rows[k] + 1;
  }
  if (!std::is_sorted(order.begin(), order.end())) d->order = order;
  return d;
}

}  // namespace

LeastSquaresProblem::LeastSquaresProblem(std::shared_ptr<const Data> data)
    : data_(std::move(data)) {}

LeastSquaresProblem LeastSquaresProblem::WithJacobian(int64_t m,
                                                      int64_t n,
                                                      Span<const int32_t> rows,
                                                      Span<const int32_t> columns,
                                                      ResidualFunction residuals,
                                                      JacobianFunction jacobian) {
  return LeastSquaresProblem(
      Build(m, n, rows, columns, std::move(residuals), std::move(jacobian), {}, false));
}

LeastSquaresProblem LeastSquaresProblem::WithJacobian(int64_t m,
                                                      int64_t n,
                                                      Span<const int64_t> rows,
                                                      Span<const int64_t> columns,
                                                      ResidualFunction residuals,
                                                      JacobianFunction jacobian) {
  return LeastSquaresProblem(
      Build(m, n, rows, columns, std::move(residuals), std::move(jacobian), {}, false));
}

LeastSquaresProblem LeastSquaresProblem::WithJacobianView(int64_t m,
                                                          int64_t n,
                                                          Span<const int32_t> rows,
                                                          Span<const int32_t> columns,
                                                          ResidualFunction residuals,
                                                          JacobianViewFunction jacobian) {
  return LeastSquaresProblem(
      Build(m, n, rows, columns, std::move(residuals), {}, std::move(jacobian), false));
}

LeastSquaresProblem LeastSquaresProblem::WithJacobianView(int64_t m,
                                                          int64_t n,
                                                          Span<const int64_t> rows,
                                                          Span<const int64_t> columns,
                                                          ResidualFunction residuals,
                                                          JacobianViewFunction jacobian) {
  return LeastSquaresProblem(
      Build(m, n, rows, columns, std::move(residuals), {}, std::move(jacobian), false));
}

LeastSquaresProblem LeastSquaresProblem::WithDifferenceJacobian(int64_t m,
                                                                int64_t n,
                                                                Span<const int32_t> rows,
                                                                Span<const int32_t> columns,
                                                                ResidualFunction residuals) {
  return LeastSquaresProblem(Build(m, n, rows, columns, std::move(residuals), {}, {}, true));
}

LeastSquaresProblem LeastSquaresProblem::WithDifferenceJacobian(int64_t m,
                                                                int64_t n,
                                                                Span<const int64_t> rows,
                                                                Span<const int64_t> columns,
                                                                ResidualFunction residuals) {
  return LeastSquaresProblem(Build(m, n, rows, columns, std::move(residuals), {}, {}, true));
}

int32_t LeastSquaresProblem::residuals() const { return data_->m; }
int32_t LeastSquaresProblem::variables() const { return data_->n; }
int64_t LeastSquaresProblem::jacobian_entries() const {
  return static_cast<int64_t>(data_->rows.size());
}
bool LeastSquaresProblem::difference_jacobian() const { return data_->differences; }
Span<const int32_t> LeastSquaresProblem::jacobian_rows() const { return data_->rows; }
Span<const int32_t> LeastSquaresProblem::jacobian_columns() const { return data_->columns; }

}  // namespace dalvex
