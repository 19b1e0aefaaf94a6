// Message sinks a host hands to a solver: one that prints, one that records.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "vorn/host_interfaces.h"

namespace vorn_host {

// Writes every message to a C stream as it arrives.
class PrintingSink final : public VornMessageSink {
 public:
  explicit PrintingSink(std::FILE* stream = stdout) : stream_(stream) {}
  void VORN_CALL Print(const char* text) override;
  void VORN_CALL Flush() override;

 private:
  std::FILE* stream_;
};

// Records each Print and each Flush, in order, for inspection.
class RecordingSink final : public VornMessageSink {
 public:
  struct Event {
    bool flush;        // a Flush call (text empty) rather than a Print
    std::string text;  // the text of a Print
  };

  void VORN_CALL Print(const char* text) override;
  void VORN_CALL Flush() override;

  const std::vector<Event>& events() const { return events_; }
  // The texts of the Print calls, in order.
  std::vector<std::string> Prints() const;
  // Every printed text run together.
  std::string Transcript() const;
  // True when every Print is followed at once by one Flush.
  bool EachPrintFlushed() const;
  void Clear() { events_.clear(); }

 private:
  std::vector<Event> events_;
};

}  // namespace vorn_host
