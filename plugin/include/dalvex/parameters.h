// The plug-in's solver parameters: name, description, type, inclusive
// bounds and default of each, in the order the factory registers them. Hosts
// see the same through the factory's VornSolverParameters face.
#pragma once

#include <cstdint>

#include "vorn/host_interfaces.h"

namespace dalvex {

// The solver parameters, in registration order (the index of each in
// kSolverParameters).
enum class Parameter : int32_t {
  PrintLevel,
  PrintInterval,
  MaxIters,
  Acc,
  Sac,
  Tol,
  Hmax,
  Hmin,
  Epsf,
  Eps,
  RangeFrac,
  MaxVarStep,
  MinNonZero,
  BoundsFrac,
  ClipThresh,
  DiffScheme,
  SeriouslyVerbose,
  Iprint,
};
inline constexpr int32_t kParameterCount = 18;

struct ParameterDefinition {
  const char* name;
  const char* description;
  int32_t type;                // kVornInteger or kVornReal
  double lower, upper, value;  // integer bounds and defaults are exact in a double
};

// The one table of the solver parameters: what the factory registers, and,
// but for two named exceptions, the value a solver falls back to when it
// cannot read one from its factory. Bounds are inclusive.
inline constexpr ParameterDefinition kSolverParameters[kParameterCount] = {
    {"PrintLevel", "Level of detail to print", kVornInteger, 0, 32, 1},
    {"PrintInterval", "Output interval for prints", kVornInteger, 1, 100, 1},
    {"MaxIters", "Maximum number of iterations", kVornInteger, 1, 100000, 100},
    {"Acc", "Tolerance for solve", kVornReal, 0.0, 1.0, 1.0e-4},
    {"Sac", "Acceptable final sum-squares", kVornReal, 0.0, 1.0, 1.0e-4},
    {"Tol", "Acceptable value of maximum residual", kVornReal, 0.0, 100.0, 1.0e-4},
    {"Hmax", "Step length for numerical differencing Jacobian", kVornReal, 0.0, 1.0e6, 0.0},
    {"Hmin", "Absolute minimum value of step length for numerical derivs", kVornReal, 0.0, 1.0, 0.0},
    {"Epsf", "Relative round-off error in function calculations", kVornReal, 0.0, 0.1, 0.0},
    {"Eps", "Min step length multiplier for numerical differencing Jacobian", kVornReal, 0.0, 0.1, 0.0},
    {"RangeFrac", "Step length heuristic multiplier on variable range", kVornReal, 0.0, 1.0, 1.0},
    {"MaxVarStep", "Step length < MaxVarStep*RangeFrac*(Upb-Lwb)", kVornReal, 0.0, 100.0, 50.0},
    {"MinNonZero", "Step length for absolute/relative step control", kVornReal, 0.0, 0.1, 1.0e-5},
    {"BoundsFrac", "Cut back the newton step; can't move more than boundfrac towards bound", kVornReal,
     0.0, 1.0, 1.0},
    {"ClipThresh", "If scaling < ClipThresh, then clip bounds violating variables", kVornReal, 0.0, 1.0,
     1.0e-6},
    {"DiffScheme", "1 - forward differencing 2 - central differencing", kVornInteger, 1, 2, 2},
    {"SeriouslyVerbose", "Debug diagnostic output", kVornInteger, 0, 10, 0},
    {"Iprint", "Controls NS23 printing", kVornInteger, -100, 100, 0},
};

constexpr const ParameterDefinition& Definition(Parameter p) {
  return kSolverParameters[static_cast<int32_t>(p)];
}

}  // namespace dalvex
