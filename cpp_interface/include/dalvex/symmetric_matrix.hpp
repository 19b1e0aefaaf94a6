// A sparse symmetric matrix of order n, built once from the caller's arrays
// and immutable afterwards. It keeps one triangle of the matrix, whatever the
// caller gave, with the entries in the caller's order, so that new values for
// the same pattern (WithValues) are taken in that order too.
//
// Copies share their storage: copying a SymmetricMatrix, or making one with
// new values, never copies the pattern. An LDLT keeps the matrix it
// factorized alive by holding such a copy.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dalvex/span.hpp"

namespace dalvex {

// Which entries the caller's arrays hold.
enum class Triangle {
  kLower,  // row >= column for every entry
  kUpper,  // row <= column for every entry
  kBoth,   // the whole matrix: checked for symmetry, the upper triangle then dropped
};

// "lower", "upper", "both".
const char* to_string(Triangle triangle);

class SymmetricMatrix {
 public:
  // Coordinate form: entry k is (rows[k], columns[k]) with value values[k],
  // counted from 0. Repeated positions are summed. An empty `values` for one
  // or more entries makes a pattern only, which LDLT::Analyse takes and
  // LDLT::Factorize does not; without entries the matrix is zero.
  // Throws Error: n < 1 or beyond 32 bits, arrays of different lengths, an
  // index outside 0..n-1, an entry outside the declared triangle, a
  // non-finite value, with kBoth a mismatch between the triangles (the first
  // in the order of rows, then columns, named with both values).
  static SymmetricMatrix FromCoordinates(int64_t n,
                                         Span<const int32_t> rows,
                                         Span<const int32_t> columns,
                                         Span<const double> values,
                                         Triangle triangle);
  static SymmetricMatrix FromCoordinates(int64_t n,
                                         Span<const int64_t> rows,
                                         Span<const int64_t> columns,
                                         Span<const double> values,
                                         Triangle triangle);

  // Compressed columns: column j holds the rows row_indices[p] with values
  // values[p] for column_starts[j] <= p < column_starts[j + 1];
  // column_starts has n + 1 entries, non-decreasing from 0. Entries keep
  // this order (column after column). Throws as FromCoordinates, and for
  // column starts that do not fit the row indices.
  static SymmetricMatrix FromCsc(int64_t n,
                                 Span<const int32_t> column_starts,
                                 Span<const int32_t> row_indices,
                                 Span<const double> values,
                                 Triangle triangle);
  static SymmetricMatrix FromCsc(int64_t n,
                                 Span<const int64_t> column_starts,
                                 Span<const int64_t> row_indices,
                                 Span<const double> values,
                                 Triangle triangle);

  // Compressed rows, the same with rows and columns exchanged.
  static SymmetricMatrix FromCsr(int64_t n,
                                 Span<const int32_t> row_starts,
                                 Span<const int32_t> column_indices,
                                 Span<const double> values,
                                 Triangle triangle);
  static SymmetricMatrix FromCsr(int64_t n,
                                 Span<const int64_t> row_starts,
                                 Span<const int64_t> column_indices,
                                 Span<const double> values,
                                 Triangle triangle);

  // The same pattern with new values, given in the order of the entries this
  // matrix was built from (entries() of them). Checked as at construction.
  SymmetricMatrix WithValues(Span<const double> values) const;

  int32_t order() const { return order_; }
  // Entries as the caller gave them.
  int64_t entries() const;
  // Entries of the triangle kept (the lower one), repeats included.
  int64_t stored_entries() const;
  Triangle triangle() const;
  bool has_values() const { return values_ != nullptr; }

  // y = A x (x and y of length order(), distinct).
  void Multiply(Span<const double> x, Span<double> y) const;
  // max over rows of sum_j |a_ij|: the infinity norm of the whole matrix.
  double NormInf() const;

  // Two matrices share a pattern when one was made from the other by
  // WithValues, or when their orders, triangles and kept entries agree.
  bool SamePattern(const SymmetricMatrix& other) const;

  // The kept lower triangle, entry k at (row, column) counted from 1, for the
  // numeric routines; values in the same order.
  Span<const int32_t> routine_rows() const;
  Span<const int32_t> routine_columns() const;
  Span<const double> routine_values() const;

  struct Structure;

 private:
  SymmetricMatrix(std::shared_ptr<const Structure> structure,
                  std::shared_ptr<const std::vector<double>> values);
  // A matrix on `structure` with the caller's values (checked, reduced to
  // the kept entries), or a pattern when `values` is empty.
  static SymmetricMatrix Make(std::shared_ptr<const Structure> structure,
                              Span<const double> values);

  std::shared_ptr<const Structure> structure_;         // never null
  std::shared_ptr<const std::vector<double>> values_;  // stored_entries() values, or null
  int32_t order_ = 0;
};

}  // namespace dalvex
