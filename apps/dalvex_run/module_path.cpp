#include "module_path.h"

#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

#ifndef DALVEX_MODULE_PATH
#define DALVEX_MODULE_PATH "vorn_dalvex.so"
#endif

namespace dalvex_run {
namespace {

// The folder of the running program; empty when the system does not say.
std::filesystem::path ProgramFolder() {
#if defined(_WIN32)
  std::wstring name(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
  if (length == 0 || length >= name.size()) return {};
  name.resize(length);
  return std::filesystem::path(name).parent_path();
#else
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : self.parent_path();
#endif
}

}  // namespace

std::string DefaultModulePath() {
#if defined(DALVEX_INSTALLED_MODULE) && defined(DALVEX_BUILD_FOLDER)
  // Anywhere but its build folder the program runs installed (or copied), and
  // its plug-in is the installed one even when that is missing: falling back
  // on the build tree would load a plug-in that may be stale, or name in the
  // error a path the user never had.
  const std::filesystem::path folder = ProgramFolder();
  std::error_code error;
  if (!folder.empty() && !std::filesystem::equivalent(folder, DALVEX_BUILD_FOLDER, error)) {
    return (folder / DALVEX_INSTALLED_MODULE).lexically_normal().string();
  }
#endif
  return DALVEX_MODULE_PATH;
}

}  // namespace dalvex_run
