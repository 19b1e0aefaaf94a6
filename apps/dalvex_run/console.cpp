#include "console.h"

#include <cstring>

namespace dalvex_run {
namespace {

template <size_t N>
bool StartsWithAny(const char* text, const char* const (&prefixes)[N]) {
  for (const char* prefix : prefixes)
    if (std::strncmp(text, prefix, std::strlen(prefix)) == 0) return true;
  return false;
}

// Lines that report progress or debug detail rather than what happened.
bool IsReport(const char* text) {
  static const char* const kPrefixes[] = {
      "(Obj)",      "(Var)",          "(Res)",           "(Jac)",
      "Variable values:", "Residual values:", "Jacobian:", "Retrieving param",
      "Successful; value", "Delta[",  ">>>CALLBACK",     "Returned from NS23",
      "Dalvex_NumericNLASystem:"};
  return StartsWithAny(text, kPrefixes);
}

// The solver's own error and diagnostic lines, as against the texts that
// verbose output adds while the problem is set up ("Get num equations", the
// workspace resizes).
bool IsErrorLine(const char* text) {
  static const char* const kPrefixes[] = {"**FATAL", "FATAL", "*** ", "NS23:", "Invalid ESO"};
  static const char* const kVerbose[] = {"NS23: Integer workspace resized",
                                         "NS23: Real workspace resized"};
  return (StartsWithAny(text, kPrefixes) && !StartsWithAny(text, kVerbose)) ||
         std::strstr(text, " violates ") != nullptr;
}

}  // namespace

void Console::MarkCall() {
  message_[0] = '\0';
  message_found_ = false;
  error_found_ = false;
}

// An error line replaces any other line kept before it; otherwise the first
// line stays.
void Console::Notice(const char* text) {
  NoticeUnit(text);
  if (error_found_ || IsReport(text)) return;
  const bool error = IsErrorLine(text);
  if (message_found_ && !error) return;
  std::size_t n = std::strcspn(text, "\n");
  if (n >= sizeof message_) n = sizeof message_ - 1;
  std::memcpy(message_, text, n);
  message_[n] = '\0';
  message_found_ = true;
  error_found_ = error;
}

// The solver names its output unit's file once, at set-up, and tells of a
// write that failed; the file is the solver's, written as it goes.
void Console::NoticeUnit(const char* text) {
  static const char kNamed[] = "Output will be produced on file:";
  if (std::strncmp(text, kNamed, sizeof kNamed - 1) == 0) {
    const char* name = text + sizeof kNamed - 1;
    name += std::strspn(name, " ");
    std::size_t n = std::strcspn(name, " \r\n");
    if (n >= sizeof unit_file_) n = sizeof unit_file_ - 1;
    std::memcpy(unit_file_, name, n);
    unit_file_[n] = '\0';
  } else if (std::strncmp(text, "Output to file ", 15) == 0 && std::strstr(text, " failed") != nullptr) {
    unit_failed_ = true;
  }
}

void Console::ClearProgress() {
  if (!progress_shown_) return;
  std::fputs("\r\033[K", out_);  // back to column 1, erase to the end of the line
  progress_shown_ = false;
}

void VORN_CALL Console::Print(const char* text) {
  if (text == nullptr || *text == '\0') return;
  const std::lock_guard<std::mutex> lock(mutex_);
  Notice(text);
  ClearProgress();
  std::fputs(text, out_);
  for (const char* c = text; *c != '\0'; ++c) at_line_start_ = (*c == '\n');
}

void VORN_CALL Console::Flush() {
  const std::lock_guard<std::mutex> lock(mutex_);
  std::fflush(out_);
}

void Console::Progress(const std::string& line) {
  if (!live_) return;
  const std::lock_guard<std::mutex> lock(mutex_);
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
  const std::lock_guard<std::mutex> lock(mutex_);
  EndLineLocked();
}

void Console::EndLineLocked() {
  ClearProgress();
  if (!at_line_start_) std::fputc('\n', out_);
  at_line_start_ = true;
}

void Console::Write(const std::string& text) {
  const std::lock_guard<std::mutex> lock(mutex_);
  EndLineLocked();
  std::fputs(text.c_str(), out_);
  if (!text.empty()) at_line_start_ = text.back() == '\n';
  std::fflush(out_);
}

}  // namespace dalvex_run
