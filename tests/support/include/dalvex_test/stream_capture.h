// Collects everything the numeric routines write to one output stream while
// the object lives, and gives the stream back its default destination after.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dalvex_test {

class StreamCapture {
 public:
  explicit StreamCapture(int32_t unit);
  ~StreamCapture();
  StreamCapture(const StreamCapture&) = delete;
  StreamCapture& operator=(const StreamCapture&) = delete;

  const std::string& text() const { return text_; }
  // The complete lines written so far, without their line ends.
  std::vector<std::string> Lines() const;

 private:
  int32_t unit_;
  std::string text_;
};

}  // namespace dalvex_test
