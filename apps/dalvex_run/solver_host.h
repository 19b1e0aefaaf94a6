// The host side of the plug-in, as the command-line tool drives it: load the
// module, reach its factory and parameter faces, change parameters by name,
// and read its self-description.
#ifndef DALVEX_RUN_SOLVER_HOST_H
#define DALVEX_RUN_SOLVER_HOST_H

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "vorn/host_interfaces.h"
#include "vorn_host/module_loader.h"

namespace dalvex_run {

// One parameter as the factory reports it.
struct ParameterLine {
  std::string name;
  std::string description;
  std::string type;    // "integer", "real" or "text"
  std::string bounds;  // "[lower, upper]", empty for text
  std::string value;
  bool given = false;      // set on this command line
  std::string in_practice;  // what it does, beside the table's own description
};

class SolverHost {
 public:
  SolverHost() = default;
  ~SolverHost();
  SolverHost(const SolverHost&) = delete;
  SolverHost& operator=(const SolverHost&) = delete;

  // Loads the module and takes a factory and its parameter face.
  bool Load(const std::string& module_path, std::string* error);

  // Applies "Name=value": the parameter's own type decides how the value
  // reads.  On failure says why (unknown name, unreadable value, outside the
  // bounds) and leaves the parameter as it was.
  bool Set(const std::string& assignment, std::string* error);

  // The current value of a real or integer parameter, as a solver reads it;
  // NaN when the factory has no such parameter of that type.
  double RealValue(const char* name) const { return Value(name, kVornReal); }
  double IntegerValue(const char* name) const { return Value(name, kVornInteger); }

  // Every parameter with its bounds and current value, in table order.
  std::vector<ParameterLine> Parameters() const;

  // "name, version" from the factory's component face.
  std::string SolverName() const;

  VornFactoryNLASystem* factory() const { return factory_; }

 private:
  double Value(const char* name, int32_t type) const;

  vorn_host::PluginModule module_;  // declared first: unloaded after the faces are released
  VornFactoryNLASystem* factory_ = nullptr;
  VornSolverParameters* parameters_ = nullptr;
  std::set<std::string> given_;  // canonical names set through Set
};

}  // namespace dalvex_run

#endif  // DALVEX_RUN_SOLVER_HOST_H
