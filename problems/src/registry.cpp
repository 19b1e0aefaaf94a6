#include "problems/registry.h"

#include "catalogue.h"

namespace problems {
namespace {

std::vector<RegistryEntry> BuildRegistry() {
  using O = const ProblemOptions&;
  return {
      {"rosenbrock", "Rosenbrock's banana valley: 2 equations, a curved narrow valley", 0, 0, 0,
       "", [](O) { return MakeRosenbrock(); }},
      {"powell-singular", "Powell's singular function: 4 equations, singular Jacobian at the root",
       0, 0, 0, "", [](O) { return MakePowellSingular(); }},
      {"helical-valley", "Fletcher-Powell helical valley: 3 equations along a helix", 0, 0, 0, "",
       [](O) { return MakeHelicalValley(); }},
      {"broyden-tridiagonal", "Broyden tridiagonal function: n equations, tridiagonal Jacobian",
       10, 1, 10000000, "equations", [](O o) { return MakeBroydenTridiagonal(o.size); }},
      {"broyden-banded", "Broyden banded function: n equations, bandwidth 5 below and 1 above",
       10, 1, 10000000, "equations", [](O o) { return MakeBroydenBanded(o.size); }},
      {"discrete-boundary-value", "Discrete boundary value problem: u'' = (u+t+1)^3/2 on n points",
       10, 1, 10000000, "interior points", [](O o) { return MakeDiscreteBoundaryValue(o.size); }},
      {"chebyquad", "Chebyquad: equal-weight quadrature abscissae, dense Jacobian", 7, 1, 50,
       "abscissae", [](O o) { return MakeChebyquad(o.size); }},
      {"kowalik-osborne", "Kowalik-Osborne enzyme fit: 11 observations, 4 parameters (least squares)",
       0, 0, 0, "", [](O) { return MakeKowalikOsborne(); }},
      {"osborne1", "Osborne two-exponential fit: 33 observations, 5 parameters (least squares)", 0,
       0, 0, "", [](O) { return MakeOsborne1(); }},
      {"bratu-2d", "2D Bratu problem -lap(u) = lambda exp(u) on an n x n grid (large, sparse)", 32,
       1, 2000, "grid points per side", [](O o) { return MakeBratu2D(o.size, o.lambda); },
       true, -100.0, 100.0},
      {"reactor-flash",
       "Stirred-tank reactors (reversible A<->B, Arrhenius, cooled) and a flash drum with log equilibria", 3, 1,
       1000000, "reactors", [](O o) { return MakeReactorFlash(o.size); }},
  };
}

}  // namespace

const std::vector<RegistryEntry>& Registry() {
  static const std::vector<RegistryEntry> registry = BuildRegistry();
  return registry;
}

const RegistryEntry* FindProblem(const std::string& name) {
  for (const RegistryEntry& e : Registry())
    if (e.name == name) return &e;
  return nullptr;
}

std::unique_ptr<Problem> MakeProblem(const std::string& name,
                                     const ProblemOptions& options,
                                     std::string* error) {
  const RegistryEntry* entry = FindProblem(name);
  if (entry == nullptr) {
    if (error) *error = "unknown problem '" + name + "'";
    return nullptr;
  }
  ProblemOptions o = options;
  if (entry->default_size == 0) {
    if (o.size != 0) {
      if (error) *error = "problem '" + name + "' has a fixed size";
      return nullptr;
    }
  } else {
    if (o.size == 0) o.size = entry->default_size;
    if (o.size < entry->min_size || o.size > entry->max_size) {
      if (error)
        *error = "size of '" + name + "' must lie in [" + std::to_string(entry->min_size) + ", " +
                 std::to_string(entry->max_size) + "]";
      return nullptr;
    }
  }
  return entry->make(o);
}

}  // namespace problems
