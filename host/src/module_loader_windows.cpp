// Module loading on Windows (LoadLibrary / GetProcAddress).
#include <windows.h>

#include <string>

#include "vorn_host/module_loader.h"

namespace vorn_host {

PluginModule::~PluginModule() {
  if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
}

bool PluginModule::Load(const std::string& path) {
  if (handle_ != nullptr) {
    error_ = "a module is already loaded";
    return false;
  }
  HMODULE module = LoadLibraryA(path.c_str());
  if (module == nullptr) {
    error_ = "LoadLibrary failed for " + path + " (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  FARPROC symbol = GetProcAddress(module, "GetFactoryNLASystem");
  if (symbol == nullptr) {
    error_ = "GetFactoryNLASystem not exported by " + path;
    FreeLibrary(module);
    return false;
  }
  handle_ = module;
  entry_ = reinterpret_cast<GetFactoryNLASystemFn>(reinterpret_cast<void*>(symbol));
  return true;
}

VornFactoryNLASystem* PluginModule::CreateFactory() const {
  return entry_ != nullptr ? entry_() : nullptr;
}

}  // namespace vorn_host
