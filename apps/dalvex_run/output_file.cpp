#include "output_file.h"

#include <cerrno>
#include <cstring>

namespace dalvex_run {

OutputFile::~OutputFile() {
  if (file_ != nullptr && file_ != stdout) std::fclose(file_);
}

bool OutputFile::Open(const std::string& path) {
  path_ = path;
  if (path == "-") {
    file_ = stdout;
    return true;
  }
  // Binary mode: the same bytes, CRLF included, on every platform.
  errno = 0;
  file_ = std::fopen(path.c_str(), "wb");
  if (file_ == nullptr) {
    failed_ = true;
    errno_ = errno;
    error_ = "cannot write " + shown() + ": " + std::strerror(errno_);
    return false;
  }
  return true;
}

void OutputFile::Fail() {
  if (failed_) return;
  failed_ = true;
  errno_ = errno != 0 ? errno : EIO;
}

void OutputFile::Write(const char* text) {
  if (failed_ || file_ == nullptr) return;
  errno = 0;
  if (std::fputs(text, file_) == EOF || std::ferror(file_)) Fail();
}

bool OutputFile::Close() {
  if (file_ != nullptr) {
    errno = 0;
    if (std::fflush(file_) != 0 || std::ferror(file_)) Fail();
    if (file_ != stdout) {
      errno = 0;
      if (std::fclose(file_) != 0) Fail();
    }
    file_ = nullptr;
  }
  if (failed_ && error_.empty()) error_ = "cannot write " + shown() + ": " + std::strerror(errno_);
  return !failed_;
}

std::string CsvField(const std::string& text) {
  const bool blank_edge = !text.empty() && (text.front() == ' ' || text.front() == '\t' ||
                                            text.back() == ' ' || text.back() == '\t');
  if (text.find_first_of(",\"\r\n") == std::string::npos && !blank_edge) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

}  // namespace dalvex_run
