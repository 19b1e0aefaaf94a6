#include "output_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace dalvex_run {
namespace {

namespace fs = std::filesystem;

int ProcessId() {
#if defined(_WIN32)
  return _getpid();
#else
  return static_cast<int>(getpid());
#endif
}

// Puts `from` in the place of `to`, replacing it in one step.
bool Replace(const std::string& from, const std::string& to) {
#if defined(_WIN32)
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
  errno = EACCES;
  return false;
#else
  return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

// The written data on the device before the rename makes the file visible.
bool Sync(std::FILE* file) {
#if defined(_WIN32)
  return _commit(_fileno(file)) == 0;
#else
  return fsync(fileno(file)) == 0;
#endif
}

}  // namespace

OutputFile::~OutputFile() { Discard(); }

bool OutputFile::Open(const std::string& path) {
  path_ = path;
  if (path == "-") {
    file_ = stdout;
    return true;
  }
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (!error && fs::exists(status) && !fs::is_regular_file(status) && !fs::is_directory(status)) {
    // A device or a pipe: written as it goes.  Binary mode: the same bytes,
    // CRLF included, on every platform.
    errno = 0;
    file_ = std::fopen(path.c_str(), "wb");
  } else {
    // A link is followed: its target is replaced and the link stays.
    std::string target = path;
    if (fs::is_symlink(fs::symlink_status(path, error))) {
      const fs::path resolved = fs::canonical(path, error);
      if (!error) target = resolved.string();
    }
    OpenPartial(target);
  }
  if (file_ == nullptr) {
    failed_ = true;
    errno_ = errno != 0 ? errno : EIO;
    error_ = "cannot write " + shown() + ": " + std::strerror(errno_);
    partial_.clear();
    return false;
  }
  return true;
}

bool OutputFile::OpenPartial(const std::string& target) {
  target_ = target;
  partial_ = target + "." + std::to_string(ProcessId()) + ".partial";
  errno = 0;
  // A directory named as the file is told as such, before any temporary file.
  std::error_code error;
  if (fs::is_directory(target, error)) {
    errno = EISDIR;
    return false;
  }
#if defined(_WIN32)
  file_ = std::fopen(partial_.c_str(), "wb");
#else
  // Not through a link that someone left under the temporary name.
  const int fd = open(partial_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  file_ = fdopen(fd, "wb");
  if (file_ == nullptr) {
    const int saved = errno;
    close(fd);
    std::remove(partial_.c_str());
    errno = saved;
  }
#endif
  return file_ != nullptr;
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

void OutputFile::Flush() {
  if (failed_ || file_ == nullptr) return;
  errno = 0;
  if (std::fflush(file_) != 0) Fail();
}

bool OutputFile::Tell(std::fpos_t* at) {
  return file_ != nullptr && file_ != stdout && !partial_.empty() && std::fgetpos(file_, at) == 0;
}

bool OutputFile::Seek(const std::fpos_t& at) {
  if (failed_ || file_ == nullptr) return false;
  errno = 0;
  if (std::fsetpos(file_, &at) == 0) return true;
  Fail();
  return false;
}

bool OutputFile::Close() {
  if (file_ != nullptr) {
    errno = 0;
    if (std::fflush(file_) != 0 || std::ferror(file_)) Fail();
    if (file_ != stdout) {
      errno = 0;
      if (!partial_.empty() && !failed_ && !Sync(file_)) Fail();
      errno = 0;
      if (std::fclose(file_) != 0) Fail();
    }
    file_ = nullptr;
    if (!partial_.empty()) {
      errno = 0;
      if (!failed_ && !Replace(partial_, target_)) Fail();
      if (failed_) std::remove(partial_.c_str());
      partial_.clear();
    }
  }
  if (failed_ && error_.empty()) error_ = "cannot write " + shown() + ": " + std::strerror(errno_);
  return !failed_;
}

void OutputFile::Discard() {
  if (file_ == nullptr) return;
  if (file_ != stdout) std::fclose(file_);
  file_ = nullptr;
  if (!partial_.empty()) std::remove(partial_.c_str());
  partial_.clear();
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
