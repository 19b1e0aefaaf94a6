// Loads a solver plug-in module and finds its exported entry point.
#pragma once

#include <string>

#include "vorn/host_interfaces.h"

namespace vorn_host {

// Owns one loaded module; unloads it on destruction. Release every object
// obtained from the module before the loader goes.
class PluginModule {
 public:
  PluginModule() = default;
  ~PluginModule();
  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;

  // Loads the module at `path` and looks up GetFactoryNLASystem. On failure
  // returns false and leaves a reason in error().
  bool Load(const std::string& path);
  // A new factory with one reference for the caller; null if not loaded.
  VornFactoryNLASystem* CreateFactory() const;

  const std::string& error() const { return error_; }

 private:
  void* handle_ = nullptr;
  GetFactoryNLASystemFn entry_ = nullptr;
  std::string error_;
};

}  // namespace vorn_host
