#include "pemric/record.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

// The decimal digits of |value| rounded to `significant` digits, and the
// exponent e with |value| ~ 0.d1d2... x 10^e. Zero gives all zeros and e = 0.
void DecimalDigits(double value, int significant, std::string& digits, int& exponent) {
  if (value == 0.0) {
    digits.assign(significant, '0');
    exponent = 0;
    return;
  }
  char buf[512];
  std::snprintf(buf, sizeof buf, "%.*e", significant - 1, std::fabs(value));
  // buf = "d.ddddde+XX"
  digits.clear();
  const char* p = buf;
  for (; *p != 'e'; ++p)
    if (*p != '.') digits.push_back(*p);
  exponent = std::atoi(p + 1) + 1;
}

}  // namespace

std::string FormatI(int64_t value, int width) {
  return RightAlign(std::to_string(value), width);
}

std::string FormatE(double value, int width, int digits, int scale, char letter) {
  if (!std::isfinite(value)) return NonFinite(value, width);
  if (digits < 0 || scale <= -digits || scale >= digits + 2) return Stars(width);
  const int significant = scale <= 0 ? digits + scale : digits + 1;
  std::string ds;
  int exponent = 0;
  if (significant > 0) {
    DecimalDigits(value, significant, ds, exponent);
  }
  const int e = value == 0.0 ? 0 : exponent - scale;
  std::string mantissa;
  if (scale <= 0) {
    mantissa = "." + std::string(-scale, '0') + ds;
  } else {
    mantissa = ds.substr(0, scale) + "." + ds.substr(scale);
  }
  const int ae = std::abs(e);
  char expbuf[16];
  if (ae <= 99) {
    std::snprintf(expbuf, sizeof expbuf, "%c%c%02d", letter, e < 0 ? '-' : '+', ae);
  } else if (ae <= 999) {
    std::snprintf(expbuf, sizeof expbuf, "%c%03d", e < 0 ? '-' : '+', ae);
  } else {
    return Stars(width);
  }
  const std::string sign = std::signbit(value) ? "-" : "";
  std::string s = sign + mantissa + expbuf;
  // The optional zero before the point is written when the width allows it.
  if (scale <= 0 && static_cast<int>(s.size()) < width) s = sign + "0" + mantissa + expbuf;
  return RightAlign(s, width);
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

Record::~Record() {
  text_.push_back('\n');
  WriteStream(unit_, text_.data(), text_.size());
}

Record& Record::Text(std::string_view s) {
  text_.append(s);
  return *this;
}

Record& Record::I(int64_t value, int width) {
  text_ += FormatI(value, width);
  return *this;
}

Record& Record::E(double value, int width, int digits) {
  text_ += FormatE(value, width, digits, scale_, 'E');
  return *this;
}

Record& Record::D(double value, int width, int digits) {
  text_ += FormatE(value, width, digits, scale_, 'D');
  return *this;
}

Record& Record::F(double value, int width, int digits) {
  text_ += FormatF(value, width, digits, scale_);
  return *this;
}

Record& Record::P(int scale) {
  scale_ = scale;
  return *this;
}

Record& Record::X(int blanks) {
  if (blanks > 0) text_.append(static_cast<std::size_t>(blanks), ' ');
  return *this;
}

Record& Record::Slash() {
  text_.push_back('\n');
  return *this;
}

ListRecord::~ListRecord() {
  text_.push_back('\n');
  WriteStream(unit_, text_.data(), text_.size());
}

ListRecord& ListRecord::operator<<(std::string_view s) {
  text_.push_back(' ');
  text_.append(s);
  return *this;
}

ListRecord& ListRecord::operator<<(int64_t v) {
  text_.push_back(' ');
  text_ += std::to_string(v);
  return *this;
}

ListRecord& ListRecord::operator<<(double v) {
  text_.push_back(' ');
  std::string s = FormatE(v, 24, 16, 1, 'E');
  text_ += s.substr(s.find_first_not_of(' ') == std::string::npos ? 0 : s.find_first_not_of(' '));
  return *this;
}

}  // namespace pemric
