#include "solver_host.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <map>
#include <new>

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

enum class Reading { kOk, kMalformed, kOutOfRange };

// An integer beyond 32 bits is well formed but outside every bound.
Reading ParseInteger(const std::string& s, int32_t* out) {
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(s.c_str(), &end, 10);
  if (s.empty() || *end != '\0') return Reading::kMalformed;
  if (errno == ERANGE || v < INT32_MIN || v > INT32_MAX) return Reading::kOutOfRange;
  *out = static_cast<int32_t>(v);
  return Reading::kOk;
}

// NaN reads, and the parameter's bounds refuse it; an overflow does not read
// as the largest number but as out of range.
Reading ParseReal(const std::string& s, double* out) {
  errno = 0;
  char* end = nullptr;
  *out = std::strtod(s.c_str(), &end);
  if (s.empty() || *end != '\0') return Reading::kMalformed;
  if (errno == ERANGE && std::fabs(*out) > 1.0) return Reading::kOutOfRange;
  return Reading::kOk;
}

// What each parameter does in practice, beside the table's own one-line
// description, which stays as the module gives it.
const char* InPractice(const std::string& name) {
  static const std::map<std::string, const char*> practice = {
      {"PrintLevel", "bit mask of the solver's reports at each evaluation: 1 objective line, "
                     "2 variables, 4 residuals, 8 Jacobian; 16 names at set-up; 0 none"},
      {"PrintInterval", "the reports at every this-many-th evaluation"},
      {"MaxIters", "budget of residual evaluations of one solve, difference steps included; checked "
                   "before each step, so a difference Jacobian under way is finished past it"},
      {"Acc", "the small-step test: a step at most this long ends the solve (tried after Sac)"},
      {"Sac", "a sum of squares at most this ends the solve, whatever the largest residual"},
      {"Tol", "converged when the largest |residual| falls below this; tried after every "
              "evaluation (0: never)"},
      {"Hmax", "0: the problem supplies the Jacobian; > 0: the solver differences it, no step "
               "longer than this"},
      {"Hmin", "with Hmax > 0: when > 0, every variable's first difference step (otherwise "
               "Hmax times the square root of the machine precision)"},
      {"Epsf", "with Hmax > 0: the residuals' relative rounding error, which the difference "
               "steps are refined against (0: the solver's own estimate)"},
      {"SeriouslyVerbose", "non-zero: debug messages at every step of set-up and Solve"},
      {"Iprint", "non-zero: the method's records every |Iprint| iterations in the file fortN of "
                 "the working folder (N: the first free unit, 1 when alone; Iprint < 0 adds x and F)"},
  };
  const auto found = practice.find(name);
  return found != practice.end() ? found->second
                                 : "no effect: read and kept, but the method's difference scheme "
                                   "and steps are its own";
}
}  // namespace

SolverHost::~SolverHost() {
  if (parameters_ != nullptr) parameters_->Release();
  if (factory_ != nullptr) factory_->Release();
}

bool SolverHost::Load(const std::string& module_path, std::string* error) {
  if (!module_.Load(module_path)) {
    // The system's reason often names the file again: say it once.
    *error = module_.error();
    const std::string twice = module_path + ": " + module_path + ": ";
    const auto at = error->find(twice);
    if (at != std::string::npos) error->replace(at, twice.size(), module_path + ": ");
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
  const int32_t found = parameters_->GetParameterInfo(name.c_str(), &info);
  // The module answers -15 when the parameter's texts could not be made.
  if (found == kVornFailure) throw std::bad_alloc();
  if (found != kVornOk) {
    *error = "unknown parameter '" + name + "' (see --parameters)";
    return false;
  }
  const std::string canonical = Adopt(info.name);
  Adopt(info.description);
  VornValueCell cell{};
  std::string bounds;
  Reading reading = Reading::kOk;
  if (info.type == kVornInteger) {
    bounds = "[" + std::to_string(info.values.integer.lower) + ", " +
             std::to_string(info.values.integer.upper) + "]";
    reading = ParseInteger(text, &cell.integer);
    if (reading == Reading::kMalformed) {
      *error = canonical + " takes an integer in " + bounds + ", not '" + text + "'";
      return false;
    }
  } else if (info.type == kVornReal) {
    bounds = "[" + Real(info.values.real.lower) + ", " + Real(info.values.real.upper) + "]";
    reading = ParseReal(text, &cell.real);
    if (reading == Reading::kMalformed) {
      *error = canonical + " takes a real number in " + bounds + ", not '" + text + "'";
      return false;
    }
  } else {
    Adopt(info.values.text.value);
    Adopt(info.values.text.second);
    cell.text = const_cast<char*>(text.c_str());  // the plug-in copies it
  }
  const int32_t rc = reading == Reading::kOutOfRange
                         ? int32_t{kVornOutOfBounds}
                         : parameters_->SetParameterValue(name.c_str(), info.type, cell);
  if (rc == kVornOutOfBounds) {
    *error = canonical + " = " + text + " lies outside its bounds " + bounds;
    return false;
  }
  if (rc != kVornOk) {
    *error = "setting " + canonical + " failed with code " + std::to_string(rc);
    return false;
  }
  given_.insert(canonical);
  return true;
}

double SolverHost::Value(const char* name, int32_t wanted) const {
  int32_t type = -1;
  VornValueCell cell{};
  if (parameters_->GetParameterValue(name, &type, &cell) != kVornOk) type = -1;
  if (type == kVornText) Adopt(cell.text);
  if (type != wanted) return std::numeric_limits<double>::quiet_NaN();
  return type == kVornInteger ? cell.integer : cell.real;
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
    line.given = given_.count(line.name) != 0;
    line.in_practice = InPractice(line.name);
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
