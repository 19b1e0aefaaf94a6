// printf-style messages delivered whole to the host's message sink.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "vorn/host_interfaces.h"

namespace dalvex {

// Formats each message into one buffer and hands it to the sink as one Print
// followed by one Flush. The buffer holds m_Capacity characters plus the
// terminating zero; the capacity starts at 512 and grows in steps of 512
// when a message does not fit, never shrinking.
class MessageFormatter {
 public:
  static constexpr int32_t kInitialCapacity = 512;
  static constexpr int32_t kGrowth = 512;

  explicit MessageFormatter(VornMessageSink* sink) noexcept : m_Sink(sink) {}
  ~MessageFormatter();
  MessageFormatter(const MessageFormatter&) = delete;
  MessageFormatter& operator=(const MessageFormatter&) = delete;

  // Formats and delivers one message. A null sink drops it. When the heap
  // cannot supply a larger buffer, the message is delivered truncated.
  void Format(const char* format, ...) noexcept __attribute__((format(printf, 2, 3)));

  // Allocates the buffer now, if it is not there yet. False when the heap
  // cannot hold it; Format then tries again at the next message.
  bool Prepare() noexcept { return m_Buffer != nullptr || Reserve(m_Capacity); }

  int32_t capacity() const { return m_Capacity; }
  VornMessageSink* sink() const { return m_Sink; }

 private:
  bool Reserve(int32_t capacity) noexcept;

  VornMessageSink* m_Sink;          // borrowed; may be null
  char* m_Buffer = nullptr;         // null or m_Capacity + 1 characters
  int32_t m_Capacity = kInitialCapacity;  // characters a message may have
};

// Hands `text` straight to the sink's Print, without Flush; "" for a null
// text, nothing for a null sink.
void PrintToSink(VornMessageSink* sink, const char* text) noexcept;

// A text or "" in place of a null one, for printing.
inline const char* OrEmpty(const char* text) { return text != nullptr ? text : ""; }

}  // namespace dalvex
