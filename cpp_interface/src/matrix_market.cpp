// The Matrix Market reader and writer. A file is a header line
//   %%MatrixMarket matrix <coordinate|array> <field> <symmetry>
// then comment lines (starting with %), a size line ("rows columns
// entries" for coordinate files, "rows columns" for arrays) and the
// entries, one per line: "row column value" counted from 1, or for arrays
// one value per line, column after column.
#include "dalvex/matrix_market.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <istream>
#include <limits>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "dalvex/error.hpp"

namespace dalvex {
namespace {

constexpr int64_t kMax32 = std::numeric_limits<int32_t>::max();

// Lines with their numbers, blank and comment lines skipped, line ends
// (LF or CRLF) removed.
class Lines {
 public:
  explicit Lines(std::istream& in) : in_(in) {}

  // The next line, or false at the end of the input.
  bool Next(std::string& line, bool skip_comments = true) {
    while (std::getline(in_, line)) {
      ++number_;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!skip_comments) return true;
      const size_t first = line.find_first_not_of(" \t");
      if (first == std::string::npos || line[first] == '%') continue;
      return true;
    }
    if (in_.bad())
      throw Error(ErrorCode::kFile, "reading stopped at line " + std::to_string(number_));
    return false;
  }
  int64_t number() const { return number_; }
  [[noreturn]] void Fail(const std::string& what) const {
    throw Error(ErrorCode::kMalformedInput, "line " + std::to_string(number_) + ": " + what);
  }

 private:
  std::istream& in_;
  int64_t number_ = 0;
};

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    size_t j = i;
    while (j < line.size() && line[j] != ' ' && line[j] != '\t') ++j;
    if (j > i) fields.push_back(line.substr(i, j - i));
    i = j;
  }
  return fields;
}

std::string Lower(std::string_view s) {
  std::string t(s);
  for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return t;
}

int64_t Integer(const Lines& lines, std::string_view field, const char* what) {
  if (!field.empty() && field[0] == '+') field.remove_prefix(1);
  int64_t v = 0;
  const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), v);
  if (error == std::errc::result_out_of_range)
    lines.Fail(std::string(what) + " '" + std::string(field) + "' exceeds 64 bits");
  if (error != std::errc() || end != field.data() + field.size()) {
    lines.Fail(std::string(what) + " '" + std::string(field) + "' is not an integer");
  }
  return v;
}

double Real(const Lines& lines, std::string_view field, bool integer_field) {
  if (integer_field) return static_cast<double>(Integer(lines, field, "the value"));
  std::string_view digits = field;
  if (!digits.empty() && digits[0] == '+') digits.remove_prefix(1);
  double v = 0.0;
  const auto [end, error] =
      std::from_chars(digits.data(), digits.data() + digits.size(), v, std::chars_format::general);
  if ((error != std::errc() && error != std::errc::result_out_of_range) ||
      end != digits.data() + digits.size() || digits.empty()) {
    lines.Fail("the value '" + std::string(field) + "' is not a real number");
  }
  if (error == std::errc::result_out_of_range || !std::isfinite(v)) {
    lines.Fail("the value '" + std::string(field) + "' is not a finite double");
  }
  return v;
}

struct Header {
  std::string format, field, symmetry;
};

// The header line, and the refusals of what the reader does not take.
Header ReadHeader(Lines& lines, bool want_array) {
  std::string line;
  if (!lines.Next(line, false)) lines.Fail("the file is empty; it must start with %%MatrixMarket");
  const auto f = Fields(line);
  if (f.empty() || f[0] != "%%MatrixMarket") {
    lines.Fail("the header must start with %%MatrixMarket");
  }
  if (f.size() != 5)
    lines.Fail("the header must be '%%MatrixMarket matrix <format> <field> <symmetry>'");
  if (Lower(f[1]) != "matrix") lines.Fail("the object '" + std::string(f[1]) + "' is not 'matrix'");
  Header h{Lower(f[2]), Lower(f[3]), Lower(f[4])};
  if (h.format != "coordinate" && h.format != "array") {
    lines.Fail("the format '" + std::string(f[2]) + "' is neither 'coordinate' nor 'array'");
  }
  if (h.symmetry == "skew-symmetric" || h.symmetry == "hermitian") {
    lines.Fail("a " + h.symmetry + " matrix is not taken: the factorization is for symmetric ones");
  }
  if (h.symmetry != "general" && h.symmetry != "symmetric") {
    lines.Fail("the symmetry '" + std::string(f[4]) +
               "' is not one of general, symmetric, skew-symmetric, hermitian");
  }
  if (h.field == "complex" || h.field == "pattern") {
    lines.Fail("a " + h.field + " matrix is not taken: the values must be real or integer");
  }
  if (h.field != "real" && h.field != "integer") {
    lines.Fail("the field '" + std::string(f[3]) +
               "' is not one of real, integer, complex, pattern");
  }
  if (want_array && (h.format != "array" || h.symmetry != "general")) {
    lines.Fail("a dense matrix must be an array file of symmetry general");
  }
  if (!want_array && h.format != "coordinate") {
    lines.Fail("an array file is dense: a sparse symmetric matrix must be a coordinate file");
  }
  return h;
}

std::vector<int64_t> SizeLine(Lines& lines, size_t count) {
  std::string line;
  if (!lines.Next(line)) lines.Fail("the file ends before its size line");
  const auto f = Fields(line);
  if (f.size() != count) {
    lines.Fail(count == 3 ? "the size line must hold rows, columns and entries"
                          : "the size line must hold rows and columns");
  }
  std::vector<int64_t> sizes;
  for (const auto field : f) {
    const int64_t v = Integer(lines, field, "the size");
    if (v < 0) lines.Fail("the size " + std::to_string(v) + " is negative");
    sizes.push_back(v);
  }
  return sizes;
}

std::ifstream OpenOrThrow(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Error(ErrorCode::kFile, "cannot open " + path + " for reading");
  return in;
}

// Adds "path: " to a reader's message.
template <class Read>
auto FromFile(const std::string& path, Read read) {
  std::ifstream in = OpenOrThrow(path);
  try {
    return read(in);
  } catch (const Error& e) {
    throw Error(e.code(), path + ": " + e.what(), e.routine_status());
  }
}

}  // namespace

SymmetricMatrix ReadSymmetricMatrix(std::istream& in) {
  Lines lines(in);
  const Header h = ReadHeader(lines, false);
  const auto sizes = SizeLine(lines, 3);
  const int64_t n = sizes[0], entries = sizes[2];
  if (sizes[0] != sizes[1]) {
    lines.Fail("the matrix is " + std::to_string(sizes[0]) + " x " + std::to_string(sizes[1]) +
               ": it must be square");
  }
  if (n < 1) lines.Fail("the matrix has no rows");
  if (n > kMax32 || entries > kMax32) {
    lines.Fail("the matrix exceeds the factorization's 32-bit sizes");
  }
  const bool symmetric = h.symmetry == "symmetric", integer = h.field == "integer";
  std::vector<int32_t> rows, columns;
  std::vector<double> values;
  const size_t reserve = static_cast<size_t>(std::min<int64_t>(entries, 1 << 20));
  rows.reserve(reserve);
  columns.reserve(reserve);
  values.reserve(reserve);
  std::string line;
  for (int64_t k = 0; k < entries; ++k) {
    if (!lines.Next(line)) {
      lines.Fail("the file ends after " + std::to_string(k) + " of the " + std::to_string(entries) +
                 " entries its size line declares");
    }
    const auto f = Fields(line);
    if (f.size() != 3) lines.Fail("an entry must hold a row, a column and a value");
    const int64_t i = Integer(lines, f[0], "the row"), j = Integer(lines, f[1], "the column");
    if (i < 1 || i > n || j < 1 || j > n) {
      lines.Fail("the entry (" + std::to_string(i) + ", " + std::to_string(j) +
                 ") lies outside 1.." + std::to_string(n));
    }
    if (symmetric && i < j) {
      lines.Fail("the entry (" + std::to_string(i) + ", " + std::to_string(j) +
                 ") lies above the diagonal, which a symmetric file does not store");
    }
    rows.push_back(static_cast<int32_t>(i - 1));
    columns.push_back(static_cast<int32_t>(j - 1));
    values.push_back(Real(lines, f[2], integer));
  }
  if (lines.Next(line)) {
    lines.Fail("an entry beyond the " + std::to_string(entries) + " the size line declares");
  }
  return SymmetricMatrix::FromCoordinates(n, rows, columns, values,
                                          symmetric ? Triangle::kLower : Triangle::kBoth);
}

SymmetricMatrix ReadSymmetricMatrixFile(const std::string& path) {
  return FromFile(path, [](std::istream& in) { return ReadSymmetricMatrix(in); });
}

DenseMatrix ReadDenseMatrix(std::istream& in) {
  Lines lines(in);
  const Header h = ReadHeader(lines, true);
  const auto sizes = SizeLine(lines, 2);
  DenseMatrix d;
  d.rows = sizes[0];
  d.columns = sizes[1];
  if (d.rows > 0 && d.columns > std::numeric_limits<int64_t>::max() / d.rows) {
    lines.Fail("rows times columns exceeds 64 bits");
  }
  const int64_t count = d.rows * d.columns;
  d.values.reserve(static_cast<size_t>(std::min<int64_t>(count, 1 << 20)));
  std::string line;
  for (int64_t k = 0; k < count; ++k) {
    if (!lines.Next(line)) {
      lines.Fail("the file ends after " + std::to_string(k) + " of the " + std::to_string(count) +
                 " values its size line declares");
    }
    const auto f = Fields(line);
    if (f.size() != 1) lines.Fail("an array file holds one value per line");
    d.values.push_back(Real(lines, f[0], h.field == "integer"));
  }
  if (lines.Next(line))
    lines.Fail("a value beyond the " + std::to_string(count) + " the size line declares");
  return d;
}

DenseMatrix ReadDenseMatrixFile(const std::string& path) {
  return FromFile(path, [](std::istream& in) { return ReadDenseMatrix(in); });
}

void WriteDenseMatrix(std::ostream& out, int64_t rows, int64_t columns, Span<const double> values) {
  if (rows < 0 || columns < 0 || static_cast<int64_t>(values.size()) != rows * columns) {
    throw Error(ErrorCode::kInvalidArgument, "WriteDenseMatrix: " + std::to_string(values.size()) +
                                                 " values for " + std::to_string(rows) + " x " +
                                                 std::to_string(columns));
  }
  out << "%%MatrixMarket matrix array real general\n" << rows << ' ' << columns << '\n';
  char text[32];
  for (double v : values) {
    const auto result = std::to_chars(text, text + sizeof text, v, std::chars_format::general, 17);
    *result.ptr = '\n';
    out.write(text, result.ptr - text + 1);
  }
  out.flush();
  if (!out) throw Error(ErrorCode::kFile, "the matrix could not be written in full");
}

}  // namespace dalvex
