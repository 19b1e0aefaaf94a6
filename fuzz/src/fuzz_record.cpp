// The record writer with any value in any field: integers at the limits,
// NaN, infinities, subnormal and huge reals, any width, digit count and scale
// factor. Checks: each field formatter returns exactly `width` characters;
// a field either holds asterisks or reads back as the value it was given
// (exactly for integers, to the printed digits for finite reals); a record
// written to a stream arrives whole, with one final line end.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "dalvex_fuzz/fuzz_support.h"
#include "dalvex_test/stream_capture.h"
#include "pemric/record.h"
#include "pemric/streams.h"

namespace dalvex_fuzz {
namespace {

constexpr const char* kName = "record";
void Check(bool ok, const char* what) {
  if (!ok) Fail(kName, what);
}

bool AllStars(const std::string& s) { return s.find_first_not_of('*') == std::string::npos; }

int64_t AnyInteger(FuzzInput& in) {
  if (in.Bool()) return in.AnyInt();
  uint64_t raw = 0;
  for (int k = 0; k < 8; ++k) raw = (raw << 8) | in.Byte();
  return static_cast<int64_t>(raw);
}

void CheckInteger(int64_t value, int width) {
  std::string s = pemric::FormatI(value, width);
  Check(static_cast<int>(s.size()) == width, "Iw field not w characters wide");
  if (AllStars(s)) return;
  Check(std::strtoll(s.c_str(), nullptr, 10) == value, "Iw field does not read back as its value");
}

void CheckReal(double value, int width, int digits, int scale, char letter) {
  std::string s = letter == 'F' ? pemric::FormatF(value, width, digits, scale)
                                : pemric::FormatE(value, width, digits, scale, letter);
  Check(static_cast<int>(s.size()) == width, "real field not w characters wide");
  if (AllStars(s) || !std::isfinite(value) || digits < 1 || digits > 15) return;
  if (letter == 'F' || scale < 0 || scale > 1) return;  // read-back checked for plain and 1P forms
  std::string t = s;
  for (char& c : t) {
    if (c == 'D') c = 'E';
  }
  char* end = nullptr;
  long double back = std::strtold(t.c_str(), &end);
  if (end == t.c_str()) return;
  if (*end == '+' || *end == '-') {  // a three-digit exponent drops its letter: 0.1798+309
    back *= std::pow(10.0L, std::strtol(end, nullptr, 10));
  }
  long double tol = std::pow(10.0L, 1 - digits) * std::fabs(static_cast<long double>(value));
  if (std::getenv("DALVEX_FUZZ_TRACE") != nullptr) {
    std::fprintf(stderr, "%c%d.%d scale %d value %.17g -> [%s] reads %.17Lg\n", letter, width, digits, scale, value,
                 s.c_str(), back);
  }
  Check(!(std::fabs(back - value) > tol) || std::fabs(value) < 1e-300,
        "real field does not read back as its value");
}

}  // namespace

namespace {

void RunRecord(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  constexpr int32_t kUnit = 91;
  // Detached however the input ends, also when a check ends it early.
  const dalvex_test::StreamCapture capture(kUnit);
  std::string expected_prefix;
  {
    pemric::Record record(kUnit);
    int fields = in.Int(0, 12);
    for (int k = 0; k < fields; ++k) {
      int width = in.Byte() < 16 ? in.Int(-3, 0) : in.Int(1, 60);
      int digits = in.Byte() < 16 ? in.Int(-3, 40) : in.Int(0, 17);
      int scale = in.Int(-4, 4);
      switch (in.Byte() % 8) {
        case 0: {
          int64_t v = AnyInteger(in);
          if (width > 0) CheckInteger(v, width);
          record.I(v, width);
          break;
        }
        case 1: case 2: {
          double v = in.AnyReal();
          if (width > 0) CheckReal(v, width, digits, scale, 'E');
          record.P(scale).E(v, width, digits);
          break;
        }
        case 3: {
          double v = in.AnyReal();
          if (width > 0) CheckReal(v, width, digits, scale, 'D');
          record.P(scale).D(v, width, digits);
          break;
        }
        case 4: {
          double v = in.AnyReal();
          if (width > 0) CheckReal(v, width, digits, scale, 'F');
          record.P(scale).F(v, width, digits);
          break;
        }
        case 5: record.X(in.Int(-2, 20)); break;
        case 6: record.Slash(); break;
        default: {
          std::string text;
          for (int n = in.Int(0, 8); n > 0; --n) text.push_back(static_cast<char>(in.Byte()));
          record.Text(text);
        }
      }
    }
    expected_prefix = record.text();
  }
  const std::string& sink = capture.text();
  Check(sink.size() >= expected_prefix.size() + 1 && sink.back() == '\n',
        "record did not arrive with a final line end");
  Check(sink.find(expected_prefix) != std::string::npos, "record arrived altered");
  // List-directed output of the same kinds of items.
  {
    pemric::ListRecord list(kUnit);
    for (int n = in.Int(0, 6); n > 0; --n) {
      if (in.Bool()) {
        list << static_cast<int64_t>(AnyInteger(in));
      } else {
        list << in.AnyReal();
      }
    }
    Check(list.text().empty() || list.text()[0] == ' ', "list-directed record lacks its leading blank");
  }
}

}  // namespace

std::string FuzzRecord(const uint8_t* data, size_t size) {
  return CheckedRun([&] { RunRecord(data, size); });
}

}  // namespace dalvex_fuzz
