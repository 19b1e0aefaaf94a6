// The command line of dalvex-run: what it accepts, checked in full before
// anything is loaded, built or solved.  Every refusal is one line naming the
// option and what it accepts, and exit status 2.
#ifndef DALVEX_RUN_OPTIONS_H
#define DALVEX_RUN_OPTIONS_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "problems/registry.h"

namespace dalvex_run {

// Exit statuses of the tool.
constexpr int kExitSuccess = 0;      // converged, or a least-squares minimum; listings
constexpr int kExitNotSolved = 1;    // stalled, evaluation limit, failed
constexpr int kExitUsage = 2;        // the command line was refused
constexpr int kExitEnvironment = 3;  // a file, the module or memory failed us

struct Options {
  std::string problem = "reactor-flash";
  std::vector<std::string> settings;  // "Name=value", in order
  std::string csv, history, json;     // output files; json "-" is standard output
  std::string module;
  bool list = false;
  bool parameters = false;
  bool quiet = false;
  // Checked values of the options given as text.
  problems::ProblemOptions problem_options;
  int64_t max_calls = 1000000;
  double progress_seconds = 5.0;
};

// Reads the command line into `o`.  Returns an exit status when the tool is
// done (help, version, a refusal already printed), or nothing to go on.
std::optional<int> ParseCommandLine(int argc, char** argv, Options* o);

}  // namespace dalvex_run

#endif  // DALVEX_RUN_OPTIONS_H
