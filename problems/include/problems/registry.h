// The problems by name, for command-line tools, tests and benchmarks.
#ifndef PROBLEMS_REGISTRY_H
#define PROBLEMS_REGISTRY_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "problems/problem.h"

namespace problems {

struct ProblemOptions {
  int32_t size = 0;     // 0: the entry's default size; ignored by fixed-size problems
  double lambda = 6.0;  // Bratu's parameter (its turning point lies near 6.808)
};

struct RegistryEntry {
  std::string name;     // lower case, words joined by '-'
  std::string summary;  // one line for listings
  int32_t default_size; // 0 for a problem of fixed size
  int32_t min_size;
  int32_t max_size;
  std::string size_meaning;  // what --size counts, e.g. "grid points per side"
  std::function<std::unique_ptr<Problem>(const ProblemOptions&)> make;
  // Whether the problem takes ProblemOptions::lambda, and the values it accepts.
  bool takes_lambda = false;
  double min_lambda = 0.0;
  double max_lambda = 0.0;
};

// Every problem, in listing order.
const std::vector<RegistryEntry>& Registry();

// The entry called `name` (exact match), or null.
const RegistryEntry* FindProblem(const std::string& name);

// Builds `name` with `options`.  On an unknown name or a size out of range it
// returns null and, if `error` is given, says why.
std::unique_ptr<Problem> MakeProblem(const std::string& name,
                                     const ProblemOptions& options,
                                     std::string* error = nullptr);

}  // namespace problems

#endif  // PROBLEMS_REGISTRY_H
