#include "host_text.h"

#include <cstdint>
#include <cstring>

#include "vorn/services.h"

namespace dalvex {

char* CopyForHost(const char* text) noexcept {
  const std::size_t length = text != nullptr ? std::strlen(text) : 0;
  if (length >= static_cast<std::size_t>(INT32_MAX)) return nullptr;
  char* copy = VornServices::AllocateString(static_cast<int32_t>(length) + 1);
  if (copy == nullptr) return nullptr;
  if (length > 0) std::memcpy(copy, text, length);
  copy[length] = '\0';
  return copy;
}

namespace {
char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

bool SameNameIgnoringCase(const char* a, const char* b) noexcept {
  if (a == nullptr || b == nullptr) return false;
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (LowerAscii(*a) != LowerAscii(*b)) return false;
  }
  return *a == *b;
}

}  // namespace dalvex
