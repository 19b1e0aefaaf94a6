// Final form of the stored factors, and their printing.
//
// The front's pivot rows hold the negated multipliers -L(k, i) and, for the
// first member of a 2x2 pivot, the off-diagonal of D^-1 at position (i, i+1).
// They are stored with the signs changed (CopyPivotRow), so that the solution
// phase can apply each pivot block as a packed unit lower triangle; the
// finish moves the 2x2 off-diagonals, negated back, into one area after the
// blocks. Example for a block with p = 2 taken as one 2x2 pivot, as stored
// and after the finish (area at r + 1):
//   FACT(a..a+2) = d11, -d12, d22       ->  d11, 0, d22     and FACT(r+1) = d12
#include <algorithm>
#include <cmath>
#include <string>

#include "ma57_frontal.h"
#include "ma57_gates.h"
#include "pemric/common.h"
#include "pemric/one_based.h"
#include "pemric/record.h"
#include "pemric/streams.h"

namespace pemric {

void MA57FinishFactors(double* fact, int64_t la, const int32_t* ifact, int32_t lifact, int64_t next) {
  (void)la;
  (void)lifact;
  const OneBased<double> F(fact);
  const OneBased<const int32_t> I(ifact);
  int64_t area = next + 1;
  int64_t pos = 1;
  int64_t rec = kIfactRecords;
  const int32_t blocks = I(kIfactBlocks);
  for (int32_t b = 0; b < blocks; ++b) {
    const int64_t c = I(rec), p = I(rec + 1);
    bool previous_first = false;
    for (int64_t i = 1; i <= p; ++i) {
      const bool first = I(rec + 1 + i) < 0 && !previous_first;
      const int64_t len = p - i + 1;  // diagonal, then (i, i+1..p)
      if (first) {
        F(area++) = -F(pos + 1);  // stored negated like the multipliers
        F(pos + 1) = 0.0;
      }
      previous_first = first;
      pos += len;
    }
    pos += p * (c - p);
    rec += c + 2;
  }
}

namespace {

// The 72-character line buffer of the factor print.
class LineBuffer {
 public:
  LineBuffer(int32_t unit, int width) : unit_(unit), width_(width) {}
  void Field(const std::string& text) {
    if (static_cast<int>(line_.size()) + width_ > 72) Write();
    line_ += text;
  }
  void Blank() { Field(std::string(static_cast<size_t>(width_), ' ')); }
  // End of a row of the factor: the partly filled line goes out padded.
  void Flush() { Write(); }

 private:
  void Write() {
    line_.resize(72, ' ');
    Record(unit_).Text(line_);
    line_.clear();
  }
  int32_t unit_;
  int width_;
  std::string line_;
};

void PrintHeader(int32_t unit, bool all_blocks) {
  Record{unit};
  if (all_blocks) {
    Record(unit).Text("For each block, the following information is provided:");
  } else {
    Record(unit).Text("For the first block only,").Text(" the following information is provided:");
  }
  static const char* const kLines[] = {
      "   1. Block number, number of rows, number of columns",
      "   2. List of indices for the pivot, each negated if part of",
      "      a 2x2 pivot",
      "   3. The factorized block pivot",
      "      It has the form",
      "            -1  T",
      "        L  D   L ",
      "                         -1    T",
      "      and is printed as D and L  packed together.",
      "   4. List of indices for the non-pivot columns",
      "   5. The non-pivot part as rectangular block by rows"};
  for (const char* line : kLines) Record(unit).Text(line);
}

void PrintIndices(int32_t unit, const int32_t* idx, int64_t count, bool map) {
  if (count == 0) {
    Record{unit};
    return;
  }
  const int64_t per_line = map ? 72 : 6;
  for (int64_t start = 0; start < count; start += per_line) {
    Record r(unit);
    for (int64_t k = start; k < std::min(count, start + per_line); ++k) {
      if (map) {
        r.Text(idx[k] < 0 ? "-" : "+");
      } else {
        r.I(idx[k], 12);
      }
    }
  }
}

std::string ValueField(double v, bool map) {
  if (!map) return FormatE(v, 12, 4, 1, 'D');
  const int32_t tiny = MACHINE_TINY_AGAIN;
  return std::fabs(v) <= MachineConstant(&tiny) ? "." : "*";
}

}  // namespace

void MA57PrintFactors(const double* fact,
                      int32_t lfact,
                      const int32_t* ifact,
                      int32_t lifact,
                      const int32_t* icntl) {
  (void)lfact;
  (void)lifact;
  const ma57::Gates gates(icntl);
  const int32_t unit = gates.mp, level = gates.level;
  const bool map = level == 5;
  const OneBased<const int32_t> header(ifact);
  const OneBased<const double> factors(fact);
  const int32_t blocks = header(kIfactBlocks);
  const int32_t shown = level == 3 ? std::min(blocks, 1) : blocks;
  if (!map) PrintHeader(unit, level != 3 || blocks <= 1);
  int64_t area = header(kIfactAreaFirst);
  int64_t pos = 1, rec = kIfactRecords;
  for (int32_t k = 1; k <= shown; ++k) {
    const int64_t c = header(rec), p = header(rec + 1);
    const int32_t* idx = header.from(rec + 2);
    Record{unit};
    Record(unit)
        .Text("Block pivot")
        .I(k, 6)
        .Text(" with")
        .I(p, 6)
        .Text(" rows and")
        .I(c, 6)
        .Text(" columns");
    PrintIndices(unit, idx, p, map);
    LineBuffer buf(unit, map ? 1 : 12);
    bool previous_first = false;
    for (int64_t i = 1; i <= p; ++i) {
      const bool first = idx[i - 1] < 0 && !previous_first;
      for (int64_t b = 1; b < i; ++b) buf.Blank();
      for (int64_t j = i; j <= p; ++j, ++pos) {
        const double v = (first && j == i + 1) ? factors(area++) : factors(pos);
        buf.Field(ValueField(v, map));
      }
      buf.Flush();
      previous_first = first;
    }
    PrintIndices(unit, idx + p, c - p, map);
    for (int64_t i = 1; i <= p; ++i) {
      if (c == p) break;
      for (int64_t j = p + 1; j <= c; ++j, ++pos) buf.Field(ValueField(factors(pos), map));
      buf.Flush();
    }
    rec += c + 2;
  }
}

}  // namespace pemric
