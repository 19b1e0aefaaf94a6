#include "console.h"

namespace dalvex_run {

void Console::ClearProgress() {
  if (!progress_shown_) return;
  std::fputs("\r\033[K", out_);  // back to column 1, erase to the end of the line
  progress_shown_ = false;
}

void VORN_CALL Console::Print(const char* text) {
  if (text == nullptr || *text == '\0') return;
  ClearProgress();
  std::fputs(text, out_);
  for (const char* c = text; *c != '\0'; ++c) at_line_start_ = (*c == '\n');
}

void VORN_CALL Console::Flush() { std::fflush(out_); }

void Console::Progress(const std::string& line) {
  if (!live_) return;
  if (!at_line_start_) {
    std::fputc('\n', out_);
    at_line_start_ = true;
  }
  std::fputs("\r\033[K", out_);
  std::fputs(line.c_str(), out_);
  std::fflush(out_);
  progress_shown_ = true;
}

void Console::EndLine() {
  ClearProgress();
  if (!at_line_start_) std::fputc('\n', out_);
  at_line_start_ = true;
}

void Console::Write(const std::string& text) {
  EndLine();
  std::fputs(text.c_str(), out_);
  if (!text.empty()) at_line_start_ = text.back() == '\n';
  std::fflush(out_);
}

}  // namespace dalvex_run
