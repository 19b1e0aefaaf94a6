#include "dalvex_test/stream_capture.h"

#include <cstddef>

#include "pemric/streams.h"

namespace dalvex_test {
namespace {

void Append(void* context, const char* text, std::size_t length) {
  static_cast<std::string*>(context)->append(text, length);
}

}  // namespace

StreamCapture::StreamCapture(int32_t unit) : unit_(unit) {
  pemric::AttachStream(unit, &Append, &text_);
}

StreamCapture::~StreamCapture() { pemric::DetachStream(unit_); }

std::vector<std::string> StreamCapture::Lines() const {
  std::vector<std::string> lines;
  std::string line;
  for (char c : text_) {
    if (c == '\n') {
      lines.push_back(line);
      line.clear();
    } else {
      line.push_back(c);
    }
  }
  return lines;
}

}  // namespace dalvex_test
