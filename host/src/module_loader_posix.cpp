// Module loading on POSIX systems (dlopen). A Windows host would use
// LoadLibrary / GetProcAddress in the same shape.
#include <dlfcn.h>

#include "vorn_host/module_loader.h"

namespace vorn_host {

PluginModule::~PluginModule() {
  if (handle_ != nullptr) dlclose(handle_);
}

bool PluginModule::Load(const std::string& path) {
  if (handle_ != nullptr) {
    error_ = "a module is already loaded";
    return false;
  }
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* reason = dlerror();
    error_ = reason != nullptr ? reason : "dlopen failed";
    return false;
  }
  void* symbol = dlsym(handle_, "GetFactoryNLASystem");
  if (symbol == nullptr) {
    error_ = "GetFactoryNLASystem not exported by " + path;
    dlclose(handle_);
    handle_ = nullptr;
    return false;
  }
  entry_ = reinterpret_cast<GetFactoryNLASystemFn>(symbol);
  return true;
}

VornFactoryNLASystem* PluginModule::CreateFactory() const {
  return entry_ != nullptr ? entry_() : nullptr;
}

}  // namespace vorn_host
