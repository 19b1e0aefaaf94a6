// Fixed-layout records in the field notation of formatted Fortran output.
//
//   Record(6).Text(" N =").I(n, 8).P(1).E(x, 12, 4);
//
// builds one record and writes it, with its final line end, to stream 6 when
// the object goes out of scope. The fields:
//   I(v, w)        Iw: integer right-aligned in w columns
//   E(v, w, d)     Ew.d: exponent form, letter E
//   D(v, w, d)     Dw.d: the same with letter D
//   F(v, w, d)     Fw.d: fixed form
//   P(k)           kP: scale factor for every later E, D and F field of the record
//                  (1P gives one non-zero digit before the decimal point)
//   X(n)           nX: n blanks
//   Slash()        "/": a new line within the record
//   Text(s)        quoted text, printed unchanged
// A value that does not fit its width fills the field with asterisks.
// Every record starts on a new line; an empty Record() writes an empty line.
// Building a record never throws: when the heap cannot hold its text, the
// record is dropped and its stream marked as having lost output
// (MarkStreamLost), like a record its device would not take.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pemric {

class Record {
 public:
  explicit Record(int32_t unit) : unit_(unit) {}
  Record(const Record&) = delete;
  Record& operator=(const Record&) = delete;
  ~Record();

  Record& Text(std::string_view s);
  Record& I(int64_t value, int width);
  Record& E(double value, int width, int digits);
  Record& D(double value, int width, int digits);
  Record& F(double value, int width, int digits);
  Record& P(int scale);
  Record& X(int blanks);
  Record& Slash();

  // The text built so far, without the final line end (for tests).
  const std::string& text() const { return text_; }

 private:
  int32_t unit_;  // stream that receives the record on destruction
  int scale_ = 0;  // current kP factor; applies to later E, D and F fields
  std::string text_;  // the record so far
  bool lost_ = false;  // the heap could not hold the text: the record is dropped
};

// Field formatting on its own, for callers that build text themselves.
// Each returns exactly `width` characters.
std::string FormatI(int64_t value, int width);
std::string FormatE(double value, int width, int digits, int scale, char letter);
std::string FormatF(double value, int width, int digits, int scale);

// List-directed output of a record: one leading blank, then the items
// separated by single blanks. Integers are written in their shortest form and
// reals with 17 significant digits in exponent form (1PE24.16 style).
class ListRecord {
 public:
  explicit ListRecord(int32_t unit) : unit_(unit) {}
  ListRecord(const ListRecord&) = delete;
  ListRecord& operator=(const ListRecord&) = delete;
  ~ListRecord();

  ListRecord& operator<<(std::string_view s);
  ListRecord& operator<<(const char* s) { return *this << std::string_view(s); }
  ListRecord& operator<<(int64_t v);
  ListRecord& operator<<(int32_t v) { return *this << static_cast<int64_t>(v); }
  ListRecord& operator<<(double v);

  const std::string& text() const { return text_; }

 private:
  int32_t unit_;
  std::string text_;
  bool lost_ = false;  // as in Record
};

}  // namespace pemric
