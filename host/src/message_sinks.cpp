#include "vorn_host/message_sinks.h"

namespace vorn_host {

void VORN_CALL PrintingSink::Print(const char* text) {
  if (text != nullptr) std::fputs(text, stream_);
}

void VORN_CALL PrintingSink::Flush() { std::fflush(stream_); }

void VORN_CALL RecordingSink::Print(const char* text) {
  events_.push_back({false, text != nullptr ? text : "(null)"});
}

void VORN_CALL RecordingSink::Flush() { events_.push_back({true, std::string()}); }

std::vector<std::string> RecordingSink::Prints() const {
  std::vector<std::string> texts;
  for (const Event& e : events_) {
    if (!e.flush) texts.push_back(e.text);
  }
  return texts;
}

std::string RecordingSink::Transcript() const {
  std::string all;
  for (const Event& e : events_) all += e.text;
  return all;
}

bool RecordingSink::EachPrintFlushed() const {
  if (events_.size() % 2 != 0) return false;
  for (std::size_t k = 0; k < events_.size(); k += 2) {
    if (events_[k].flush || !events_[k + 1].flush) return false;
  }
  return true;
}

}  // namespace vorn_host
