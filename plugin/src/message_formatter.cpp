#include "message_formatter.h"

#include <cstdio>
#include <cstdlib>

namespace dalvex {

MessageFormatter::~MessageFormatter() { std::free(m_Buffer); }

// Replaces the buffer by one of `capacity` + 1 characters. The old buffer is
// kept when the heap is exhausted.
bool MessageFormatter::Reserve(int32_t capacity) noexcept {
  char* fresh = static_cast<char*>(std::malloc(static_cast<std::size_t>(capacity) + 1));
  if (fresh == nullptr) return false;
  std::free(m_Buffer);
  m_Buffer = fresh;
  m_Capacity = capacity;
  return true;
}

void MessageFormatter::Format(const char* format, ...) noexcept {
  if (m_Sink == nullptr || format == nullptr) return;
  if (!Prepare()) return;

  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(m_Buffer, static_cast<std::size_t>(m_Capacity) + 1, format, args);
  va_end(args);
  if (length > m_Capacity) {
    // Grow by whole steps until the message fits, then format it again.
    int64_t wanted = m_Capacity;
    while (wanted < length) wanted += kGrowth;
    if (wanted <= INT32_MAX - 1 && Reserve(static_cast<int32_t>(wanted))) {
      std::vsnprintf(m_Buffer, static_cast<std::size_t>(m_Capacity) + 1, format, again);
    }
  }
  va_end(again);
  if (length < 0) return;  // an encoding error: nothing sensible to deliver

  m_Sink->Print(m_Buffer);
  m_Sink->Flush();
}

void PrintToSink(VornMessageSink* sink, const char* text) noexcept {
  if (sink != nullptr) sink->Print(OrEmpty(text));
}

}  // namespace dalvex
