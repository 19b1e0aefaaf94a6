// The suite's random sparse matrices, seeded so that every run sees the
// same ones: symmetric matrices with values for the factorization tests,
// and bare patterns (repeats and, on request, bad indices included) for the
// analysis tests.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace dalvex_test {

// A square sparse matrix, or its pattern, in coordinate form: entry k is
// (irn[k], jcn[k]) with value a[k] when the matrix has values. Indices count
// from 1; a pattern may hold repeats and indices outside 1..n.
struct SparseCoordinates {
  int32_t n = 0;
  std::vector<int32_t> irn, jcn;
  std::vector<double> a;

  void Add(int32_t i, int32_t j) {
    irn.push_back(i);
    jcn.push_back(j);
  }
  void Add(int32_t i, int32_t j, double v) {
    Add(i, j);
    a.push_back(v);
  }
  int32_t ne() const { return static_cast<int32_t>(irn.size()); }
  // The symmetric matrix dense, column after column: an entry given in
  // either triangle counts for both, repeats are summed, entries outside
  // 1..n are ignored.
  std::vector<double> Dense() const;
};

enum class SymmetricKind {
  kDefinite,      // diagonally dominant with a positive diagonal
  kIndefinite,    // diagonally dominant, diagonal of random sign
  kZeroDiagonal,  // half the diagonal left out, the rest tiny: 2x2 pivots and delays
};

// About `per_row` off-diagonals per row at random columns, each pair once,
// given in one triangle or the other at random, values in [-1, 1], then the
// diagonal as `kind` says.
SparseCoordinates RandomSymmetric(int32_t n, int per_row, SymmetricKind kind, unsigned seed);

// `ne` index pairs drawn uniformly from 1..n (repeats and diagonal entries
// included), or from -2..n+2 when `wild`; no values.
SparseCoordinates RandomPattern(std::mt19937& rng, int32_t n, int32_t ne, bool wild = false);

}  // namespace dalvex_test
