#include "solver_host.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "vorn/services.h"

namespace dalvex_run {
namespace {

// Takes ownership of a text the plug-in allocated for us.
std::string Adopt(char* text) {
  std::string s = text != nullptr ? text : "";
  VornServices::FreeString(text);
  return s;
}

std::string Real(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

bool ParseInteger(const std::string& s, int32_t* out) {
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(s.c_str(), &end, 10);
  if (s.empty() || *end != '\0' || errno != 0 || v < INT32_MIN || v > INT32_MAX) return false;
  *out = static_cast<int32_t>(v);
  return true;
}

bool ParseReal(const std::string& s, double* out) {
  char* end = nullptr;
  *out = std::strtod(s.c_str(), &end);
  return !s.empty() && *end == '\0';
}

}  // namespace

SolverHost::~SolverHost() {
  if (parameters_ != nullptr) parameters_->Release();
  if (factory_ != nullptr) factory_->Release();
}

bool SolverHost::Load(const std::string& module_path, std::string* error) {
  if (!module_.Load(module_path)) {
    *error = module_.error();
    return false;
  }
  factory_ = module_.CreateFactory();
  if (factory_ == nullptr) {
    *error = "the module's GetFactoryNLASystem returned no factory";
    return false;
  }
  void* face = nullptr;
  if (factory_->QueryInterface(kIID_VornSolverParameters, &face) != kVornOk) {
    *error = "the factory has no parameter face";
    return false;
  }
  parameters_ = static_cast<VornSolverParameters*>(face);
  return true;
}

bool SolverHost::Set(const std::string& assignment, std::string* error) {
  const auto eq = assignment.find('=');
  if (eq == std::string::npos || eq == 0) {
    *error = "'" + assignment + "' is not of the form Name=value";
    return false;
  }
  const std::string name = assignment.substr(0, eq), text = assignment.substr(eq + 1);
  VornParameterInfo info{};
  if (parameters_->GetParameterInfo(name.c_str(), &info) != kVornOk) {
    *error = "unknown parameter '" + name + "' (see --parameters)";
    return false;
  }
  const std::string canonical = Adopt(info.name);
  Adopt(info.description);
  VornValueCell cell{};
  std::string bounds;
  if (info.type == kVornInteger) {
    bounds = "[" + std::to_string(info.values.integer.lower) + ", " +
             std::to_string(info.values.integer.upper) + "]";
    if (!ParseInteger(text, &cell.integer)) {
      *error = canonical + " takes an integer, not '" + text + "'";
      return false;
    }
  } else if (info.type == kVornReal) {
    bounds = "[" + Real(info.values.real.lower) + ", " + Real(info.values.real.upper) + "]";
    if (!ParseReal(text, &cell.real)) {
      *error = canonical + " takes a real number, not '" + text + "'";
      return false;
    }
  } else {
    Adopt(info.values.text.value);
    Adopt(info.values.text.second);
    cell.text = const_cast<char*>(text.c_str());  // the plug-in copies it
  }
  const int32_t rc = parameters_->SetParameterValue(name.c_str(), info.type, cell);
  if (rc == kVornOutOfBounds) {
    *error = canonical + " = " + text + " lies outside its bounds " + bounds;
    return false;
  }
  if (rc != kVornOk) {
    *error = "setting " + canonical + " failed with code " + std::to_string(rc);
    return false;
  }
  return true;
}

std::vector<ParameterLine> SolverHost::Parameters() const {
  std::vector<ParameterLine> lines;
  const int32_t count = parameters_->GetParameterCount();
  if (count <= 0) return lines;
  std::vector<char*> names(static_cast<size_t>(count), nullptr);
  parameters_->GetParameterNames(names.data());
  for (char* raw : names) {
    const std::string name = Adopt(raw);
    VornParameterInfo info{};
    if (parameters_->GetParameterInfo(name.c_str(), &info) != kVornOk) continue;
    ParameterLine line;
    line.name = Adopt(info.name);
    line.description = Adopt(info.description);
    if (info.type == kVornInteger) {
      line.type = "integer";
      line.bounds = "[" + std::to_string(info.values.integer.lower) + ", " +
                    std::to_string(info.values.integer.upper) + "]";
      line.value = std::to_string(info.values.integer.value);
    } else if (info.type == kVornReal) {
      line.type = "real";
      line.bounds = "[" + Real(info.values.real.lower) + ", " + Real(info.values.real.upper) + "]";
      line.value = Real(info.values.real.value);
    } else {
      line.type = "text";
      line.value = Adopt(info.values.text.value);
      Adopt(info.values.text.second);
    }
    lines.push_back(line);
  }
  return lines;
}

std::string SolverHost::SolverName() const {
  void* face = nullptr;
  if (factory_->QueryInterface(kIID_VornUtilityComponent, &face) != kVornOk) return "(unnamed solver)";
  auto* component = static_cast<VornUtilityComponent*>(face);
  std::string name = Adopt(component->GetName());
  const std::string version = Adopt(component->GetVersion());
  component->Release();
  if (!version.empty()) name += ", version " + version;
  return name;
}

}  // namespace dalvex_run
