// The end of a run: the summary a person reads and the same facts as JSON.
#ifndef DALVEX_RUN_REPORT_H
#define DALVEX_RUN_REPORT_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "outcome.h"
#include "problems/problem.h"
#include "problems/registry.h"
#include "run.h"

namespace dalvex_run {

struct Summary {
  std::string solver;                      // name and version
  std::string problem;                     // registry name
  const problems::Problem* instance = nullptr;
  problems::ProblemOptions options;        // size and lambda as used
  bool sizeable = false, takes_lambda = false;
  struct Parameter {
    std::string name;
    double value;
    bool integer;
  };
  std::vector<Parameter> parameters;       // in table order
  const RunOutcome* run = nullptr;
  StopFacts facts;                         // residuals at the final point among them
  std::string largest_in;                  // the equation holding the largest |F|
  Verdict verdict;
  int64_t peak_bytes = -1;                 // peak resident memory, -1 when unknown
  std::vector<std::pair<std::string, std::string>> written;  // what and where, written in full
};

// The summary lines; ends with a line end.
std::string SummaryText(const Summary& s);
// The summary as a JSON document (with a final line end).
std::string SummaryJson(const Summary& s);

// The process's peak resident memory in bytes, or -1 where it cannot be had.
int64_t PeakResidentBytes();

}  // namespace dalvex_run

#endif  // DALVEX_RUN_REPORT_H
