#include "console.h"

#include <cstring>

namespace dalvex_run {
namespace {

// Lines that report progress or debug detail rather than what happened.
bool IsReport(const char* text) {
  static const char* const kPrefixes[] = {
      "(Obj)",      "(Var)",          "(Res)",           "(Jac)",
      "Variable values:", "Residual values:", "Jacobian:", "Retrieving param",
      "Successful; value", "Delta[",  ">>>CALLBACK",     "Returned from NS23",
      "Dalvex_NumericNLASystem:"};
  for (const char* prefix : kPrefixes)
    if (std::strncmp(text, prefix, std::strlen(prefix)) == 0) return true;
  return false;
}

}  // namespace

void Console::MarkCall() {
  message_[0] = '\0';
  message_found_ = false;
}

void Console::Notice(const char* text) {
  if (message_found_ || IsReport(text)) return;
  std::size_t n = std::strcspn(text, "\n");
  if (n >= sizeof message_) n = sizeof message_ - 1;
  std::memcpy(message_, text, n);
  message_[n] = '\0';
  message_found_ = true;
}

void Console::ClearProgress() {
  if (!progress_shown_) return;
  std::fputs("\r\033[K", out_);  // back to column 1, erase to the end of the line
  progress_shown_ = false;
}

void VORN_CALL Console::Print(const char* text) {
  if (text == nullptr || *text == '\0') return;
  Notice(text);
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
