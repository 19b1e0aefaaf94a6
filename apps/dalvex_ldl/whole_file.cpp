#include "whole_file.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "dalvex/error.hpp"

#if defined(_WIN32)
#include <process.h>
#define DALVEX_GETPID _getpid
#else
#include <unistd.h>
#define DALVEX_GETPID getpid
#endif

namespace dalvex_ldl {
namespace {

[[noreturn]] void Fail(const std::string& path, const std::string& why) {
  throw dalvex::Error(dalvex::ErrorCode::kFile, "cannot write " + path + ": " + why);
}

}  // namespace

void WriteWholeFile(const std::string& path, const std::string& content) {
  if (path == "-") {
    if (std::fwrite(content.data(), 1, content.size(), stdout) != content.size() ||
        std::fflush(stdout) != 0) {
      Fail("standard output", std::strerror(errno));
    }
    return;
  }
  // A name of its own in the same folder (so that the rename stays on one
  // file system): the destination's, hidden, with the process and a count.
  static std::atomic<int> count{0};
  const std::filesystem::path target(path);
  std::filesystem::path temporary = target;
  temporary.replace_filename("." + target.filename().string() + ".tmp" +
                             std::to_string(DALVEX_GETPID()) + "-" + std::to_string(++count));
  std::FILE* file = std::fopen(temporary.string().c_str(), "wb");
  if (file == nullptr) Fail(path, std::strerror(errno));
  const bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
  const int write_errno = errno;
  const bool closed = std::fclose(file) == 0;
  std::error_code ignored;
  if (!written || !closed) {
    std::filesystem::remove(temporary, ignored);
    Fail(path, std::strerror(written ? errno : write_errno));
  }
  std::error_code error;
  std::filesystem::rename(temporary, target, error);
  if (error) {
    std::filesystem::remove(temporary, ignored);
    Fail(path, error.message());
  }
}

}  // namespace dalvex_ldl
