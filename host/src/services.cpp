// Stand-in for the host's services library: the functions the plug-in calls
// on the host, with the semantics it relies on.
#include "vorn/services.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int32_t kFirstUnit = 1;
constexpr int32_t kLastUnit = 99;

// reserved[u] is true while unit u is handed out. Units 5 and 6 are the
// console (input and output) and are never handed out. Solvers on different
// threads reserve at the same time: taking a unit is one atomic exchange, so
// two callers can never both be given the same unit.
std::atomic<bool> reserved[kLastUnit + 1] = {};

bool IsConsoleUnit(int32_t unit) { return unit == 5 || unit == 6; }

// The version text this stand-in reports for every library.
constexpr char kVersionText[] = "1.0.0";
static_assert(sizeof(kVersionText) <= VornServices::kVersionTextSize, "version text too long");

}  // namespace

char* VORN_CALL VornServices::AllocateString(int32_t size) {
  std::size_t bytes = size < 1 ? 1 : static_cast<std::size_t>(size);
  char* text = static_cast<char*>(std::calloc(bytes, 1));
  return text;
}

void VORN_CALL VornServices::FreeString(char* text) { std::free(text); }

int32_t VORN_CALL VornServices::GetDLLVersionNumber(const char* file, char* buffer) {
  if (buffer == nullptr) return -1;
  if (file == nullptr) {
    buffer[0] = '\0';
    return -1;
  }
  // Never more than kVersionTextSize bytes, whatever the text: truncate.
  std::size_t n = std::strlen(kVersionText);
  if (n > static_cast<std::size_t>(kVersionTextSize - 1)) n = kVersionTextSize - 1;
  std::memcpy(buffer, kVersionText, n);
  buffer[n] = '\0';
  return 0;
}

bool VORN_CALL VornServices::ReserveFortranLogicalUnit(int32_t unit) {
  if (unit < kFirstUnit || unit > kLastUnit || IsConsoleUnit(unit)) return false;
  return !reserved[unit].exchange(true);
}

void VORN_CALL VornServices::FreeFortranLogicalUnit(int32_t unit) {
  if (unit < kFirstUnit || unit > kLastUnit) return;
  reserved[unit].store(false);
}
