#include "pemric/record.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "pemric/streams.h"

namespace pemric {
namespace {

std::string Stars(int width) { return std::string(width > 0 ? width : 0, '*'); }

std::string RightAlign(const std::string& s, int width) {
  if (width <= 0) return s;
  if (static_cast<int>(s.size()) > width) return Stars(width);
  return std::string(width - s.size(), ' ') + s;
}

// NaN and infinities as formatted output writes them, right-aligned.
std::string NonFinite(double value, int width) {
  if (std::isnan(value)) return width >= 3 ? RightAlign("NaN", width) : Stars(width);
  const bool negative = value < 0;
  std::string s = width >= 8 + (negative ? 1 : 0) ? "Infinity" : "Inf";
  if (negative) s = "-" + s;
  return RightAlign(s, width);
}

// Longest digit count of an E or D field; wider requests are filled with stars.
constexpr int kMaxDigits = 300;

void AppendStars(std::string& out, int width) {
  if (width > 0) out.append(static_cast<std::size_t>(width), '*');
}

// Appends len characters right-aligned in width columns, or stars when they do
// not fit. A width <= 0 appends the text as it is.
void AppendAligned(std::string& out, const char* text, int len, int width) {
  if (width <= 0) {
    out.append(text, static_cast<std::size_t>(len));
  } else if (len > width) {
    AppendStars(out, width);
  } else {
    out.append(static_cast<std::size_t>(width - len), ' ');
    out.append(text, static_cast<std::size_t>(len));
  }
}

void AppendI(std::string& out, int64_t value, int width) {
  char buf[24];
  char* p = buf + sizeof buf;
  // The magnitude in unsigned arithmetic, so that the most negative value works.
  uint64_t m = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  do {
    *--p = static_cast<char>('0' + m % 10);
    m /= 10;
  } while (m != 0);
  if (value < 0) *--p = '-';
  AppendAligned(out, p, static_cast<int>(buf + sizeof buf - p), width);
}

// The decimal digits of |value| rounded to `significant` digits (at most
// kMaxDigits + 1), and the exponent e with |value| ~ 0.d1d2... x 10^e. Zero
// gives all zeros and e = 0. The rounding is the C library's: correctly
// rounded, ties to even, as formatted Fortran output does it.
int DecimalDigits(double value, int significant, char* digits) {
  if (value == 0.0) {
    std::memset(digits, '0', static_cast<std::size_t>(significant));
    return 0;
  }
  char buf[kMaxDigits + 16];
  std::snprintf(buf, sizeof buf, "%.*e", significant - 1, std::fabs(value));
  // buf = "d.ddddde+XX", or "de+XX" for one digit
  int n = 0;
  const char* p = buf;
  for (; *p != 'e'; ++p)
    if (*p != '.') digits[n++] = *p;
  return std::atoi(p + 1) + 1;
}

// Ew.d (letter E) and Dw.d (letter D) with scale factor kP: a mantissa of d
// digits below one when k <= 0 (k zeros after the point), or k digits before
// the point and d - k + 1 after it when 0 < k < d + 2. Exponents beyond 99
// drop the letter ("-100"); beyond 999 the field is starred.
void AppendE(std::string& out, double value, int width, int digits, int scale, char letter) {
  if (!std::isfinite(value)) {
    out += NonFinite(value, width);
    return;
  }
  if (digits < 0 || digits > kMaxDigits || scale <= -digits || scale >= digits + 2) {
    AppendStars(out, width);
    return;
  }
  const int significant = scale <= 0 ? digits + scale : digits + 1;
  char ds[kMaxDigits + 2];
  const int exponent = DecimalDigits(value, significant, ds);
  const int e = value == 0.0 ? 0 : exponent - scale;
  const int ae = std::abs(e);
  if (ae > 999) {
    AppendStars(out, width);
    return;
  }
  char field[kMaxDigits + 16];
  int len = 0;
  if (std::signbit(value)) field[len++] = '-';
  const int sign_len = len;
  const int before_point = scale > 0 ? scale : 0;
  std::memcpy(field + len, ds, static_cast<std::size_t>(before_point));
  len += before_point;
  field[len++] = '.';
  for (int i = 0; i < -scale; ++i) field[len++] = '0';
  std::memcpy(field + len, ds + before_point, static_cast<std::size_t>(significant - before_point));
  len += significant - before_point;
  if (ae <= 99) field[len++] = letter;
  field[len++] = e < 0 ? '-' : '+';
  if (ae > 99) field[len++] = static_cast<char>('0' + ae / 100);
  field[len++] = static_cast<char>('0' + ae / 10 % 10);
  field[len++] = static_cast<char>('0' + ae % 10);
  // The optional zero before the point is written when the width allows it.
  if (scale <= 0 && len < width) {
    std::memmove(field + sign_len + 1, field + sign_len, static_cast<std::size_t>(len - sign_len));
    field[sign_len] = '0';
    ++len;
  }
  AppendAligned(out, field, len, width);
}

// Adds to a record's text unless the record is already lost; a text the
// heap cannot hold loses it.
template <typename Append>
void Build(bool& lost, Append append) noexcept {
  if (lost) return;
  try {
    append();
  } catch (const std::bad_alloc&) {
    lost = true;
  }
}

// The end of a record: its final line end, then the stream; a lost record
// marks the stream instead, so that what the stream holds stays an unbroken
// beginning of its output. Never throws: it runs in a destructor.
void Emit(int32_t unit, std::string& text, bool lost) noexcept {
  Build(lost, [&] { text.push_back('\n'); });
  if (lost) {
    MarkStreamLost(unit);
  } else {
    WriteStream(unit, text.data(), text.size());
  }
}

}  // namespace

std::string FormatI(int64_t value, int width) {
  std::string s;
  AppendI(s, value, width);
  return s;
}

std::string FormatE(double value, int width, int digits, int scale, char letter) {
  std::string s;
  AppendE(s, value, width, digits, scale, letter);
  return s;
}

std::string FormatF(double value, int width, int digits, int scale) {
  if (!std::isfinite(value)) return NonFinite(value, width);
  if (digits < 0) return Stars(width);
  // kP multiplies the value by 10^k. Doing that on the decimal text, rather than
  // in floating point, keeps the rounding of the unscaled value exact: print
  // with d + k decimals and move the point k places right.
  const int decimals = digits + scale;
  if (decimals < 0 || decimals > 400 || std::fabs(value) >= 1e300) return Stars(width);
  char buf[768];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, std::fabs(value));
  std::string body = buf;
  if (scale != 0) {
    std::string all_digits;
    for (char c : body)
      if (c != '.') all_digits.push_back(c);
    // A negative k can leave fewer digits than the d after the point.
    if (all_digits.size() <= static_cast<std::size_t>(digits))
      all_digits.insert(0, static_cast<std::size_t>(digits) + 1 - all_digits.size(), '0');
    const std::size_t point = all_digits.size() - static_cast<std::size_t>(digits);
    std::string integer = all_digits.substr(0, point);
    const std::size_t nonzero = integer.find_first_not_of('0');
    integer = nonzero == std::string::npos ? "0" : integer.substr(nonzero);
    body = integer + "." + all_digits.substr(point);
  }
  // A negative value keeps its sign even when it rounds to zero.
  const std::string sign = std::signbit(value) ? "-" : "";
  std::string s = sign + body;
  // A leading zero before the point is optional.
  if (static_cast<int>(s.size()) > width && body.size() > 1 && body[0] == '0' && body[1] == '.')
    s = sign + body.substr(1);
  return RightAlign(s, width);
}

Record::~Record() { Emit(unit_, text_, lost_); }

Record& Record::Text(std::string_view s) {
  Build(lost_, [&] { text_.append(s); });
  return *this;
}

Record& Record::I(int64_t value, int width) {
  Build(lost_, [&] { AppendI(text_, value, width); });
  return *this;
}

Record& Record::E(double value, int width, int digits) {
  Build(lost_, [&] { AppendE(text_, value, width, digits, scale_, 'E'); });
  return *this;
}

Record& Record::D(double value, int width, int digits) {
  Build(lost_, [&] { AppendE(text_, value, width, digits, scale_, 'D'); });
  return *this;
}

Record& Record::F(double value, int width, int digits) {
  Build(lost_, [&] { text_ += FormatF(value, width, digits, scale_); });
  return *this;
}

Record& Record::P(int scale) {
  scale_ = scale;
  return *this;
}

Record& Record::X(int blanks) {
  if (blanks > 0) Build(lost_, [&] { text_.append(static_cast<std::size_t>(blanks), ' '); });
  return *this;
}

Record& Record::Slash() {
  Build(lost_, [&] { text_.push_back('\n'); });
  return *this;
}

ListRecord::~ListRecord() { Emit(unit_, text_, lost_); }

ListRecord& ListRecord::operator<<(std::string_view s) {
  Build(lost_, [&] {
    text_.push_back(' ');
    text_.append(s);
  });
  return *this;
}

ListRecord& ListRecord::operator<<(int64_t v) {
  Build(lost_, [&] {
    text_.push_back(' ');
    text_ += std::to_string(v);
  });
  return *this;
}

ListRecord& ListRecord::operator<<(double v) {
  Build(lost_, [&] {
    text_.push_back(' ');
    std::string s = FormatE(v, 24, 16, 1, 'E');
    text_ += s.substr(s.find_first_not_of(' ') == std::string::npos ? 0 : s.find_first_not_of(' '));
  });
  return *this;
}

}  // namespace pemric
