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
  const problems::Problem* instance = nullptr;  // null when not built
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

// A run that ended before its time (ending.h): what it came to, and what
// was known of the solve then.
struct EarlyEnd {
  int exit_status = 0;
  std::string reason;
  const char* outcome = "interrupted";  // or "failed"
  Tally::Figures figures;
};

// The summary lines; ends with a line end.
std::string SummaryText(const Summary& s);
// The summary as a JSON document (with a final line end).
std::string SummaryJson(const Summary& s);
// The same document for an early end: `s` without run or verdict, and
// without instance when the problem was not built.
std::string EarlyJson(const Summary& s, const EarlyEnd& e);

// The listings as JSON: every problem with its size and lambda ranges, and
// every parameter with its bounds, value, description and practice.
std::string ProblemListJson();
std::string ParameterListJson(const std::vector<ParameterLine>& parameters);

// The process's peak resident memory in bytes, or -1 where it cannot be had.
int64_t PeakResidentBytes();

}  // namespace dalvex_run

#endif  // DALVEX_RUN_REPORT_H
