// Matrix Market files (the NIST exchange format) for the LDL^T: sparse
// symmetric matrices in coordinate form, and dense matrices in array form
// for right-hand sides and solutions.
//
// The reader is strict about what carries meaning (the header, the size
// line, the number of entries, index ranges, every number, nothing extra on
// a line) and tolerant of what does not (comment lines, blank lines, LF or
// CRLF line ends, blanks around fields, keywords in any case). Counts are
// read in 64 bits. A fault throws Error (kMalformedInput) whose message
// starts with the line number: "line 7: row index 0 outside 1..5".
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "dalvex/span.hpp"
#include "dalvex/symmetric_matrix.hpp"

namespace dalvex {

// A symmetric matrix from a coordinate file whose field is real or integer
// and whose symmetry is "symmetric" (entries on and below the diagonal, as
// the format stores them) or "general" (the whole matrix, checked for
// symmetry: a mismatch throws Error kNotSymmetric naming it). Other kinds
// are refused with the reason: skew-symmetric and hermitian matrices, complex
// and pattern fields, array files, a matrix that is not square.
SymmetricMatrix ReadSymmetricMatrix(std::istream& in);
// The same from a file; a file that cannot be opened or read throws Error
// (kFile).
SymmetricMatrix ReadSymmetricMatrixFile(const std::string& path);

// A dense matrix, column-major: entry (i, j) at values[i + j * rows].
struct DenseMatrix {
  int64_t rows = 0;
  int64_t columns = 0;
  std::vector<double> values;
};

// A dense matrix from an array file, real or integer, general.
DenseMatrix ReadDenseMatrix(std::istream& in);
DenseMatrix ReadDenseMatrixFile(const std::string& path);

// Writes an array file, real, general, every value to 17 significant digits
// (read back exactly). Throws Error (kFile) when the stream fails.
void WriteDenseMatrix(std::ostream& out, int64_t rows, int64_t columns, Span<const double> values);

}  // namespace dalvex
