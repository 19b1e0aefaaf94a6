// Loading the plug-in module and finding its entry; the operating system's
// part lives in vorn_host/shared_library.h.
#include "vorn_host/module_loader.h"

#include "vorn_host/shared_library.h"

namespace vorn_host {

PluginModule::~PluginModule() {
  if (handle_ != nullptr) vorn_library_close(handle_);
}

bool PluginModule::Load(const std::string& path) {
  if (handle_ != nullptr) {
    error_ = "a module is already loaded";
    return false;
  }
  void* module = vorn_library_open(path.c_str());
  if (module == nullptr) {
    char reason[256];
    vorn_library_error(reason, sizeof reason);
    error_ = "cannot load " + path + ": " + reason;
    return false;
  }
  void* symbol = vorn_library_symbol(module, "GetFactoryNLASystem");
  if (symbol == nullptr) {
    error_ = "GetFactoryNLASystem not exported by " + path;
    vorn_library_close(module);
    return false;
  }
  handle_ = module;
  entry_ = reinterpret_cast<GetFactoryNLASystemFn>(symbol);
  return true;
}

VornFactoryNLASystem* PluginModule::CreateFactory() const {
  return entry_ != nullptr ? entry_() : nullptr;
}

}  // namespace vorn_host
