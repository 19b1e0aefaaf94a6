// One whole solve of a library problem through the loaded module, as a host
// runs it, with everything the host and the user get back from it: the
// result, the point, every message, and the records of the reserved output
// unit's file. Tests compare such runs made in different surroundings.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "problems/host_problem.h"
#include "problems/registry.h"
#include "vorn/host_interfaces.h"
#include "vorn_host/message_sinks.h"
#include "vorn_host/reference_eso.h"

namespace dalvex_test {

struct SolveRun {
  int32_t result = 0;
  int32_t iterations = 0;
  int calls = 0;
  std::vector<uint64_t> x;            // the final point, bit patterns
  std::vector<std::string> messages;  // every Print, the unit search's numbers masked
  int32_t unit = 0;                   // the reserved output unit, 0 when none
  std::string records;                // its file, read before the solver goes
};

// The bit patterns of a vector of doubles: equal exactly when bit for bit.
inline std::vector<uint64_t> Bits(const std::vector<double>& values) {
  std::vector<uint64_t> bits(values.size());
  if (!values.empty()) std::memcpy(bits.data(), values.data(), values.size() * sizeof(double));
  return bits;
}

// Which unit a solver is given depends on what else holds one, so the
// messages of the search are compared without the numbers: the unit found is
// masked and the units found taken are left out.
inline void KeepMessage(const std::string& text, SolveRun& run) {
  static const std::string kAnnounce = "Output will be produced on file:  fort";
  if (text.compare(0, kAnnounce.size(), kAnnounce) == 0) {
    run.unit = std::atoi(text.c_str() + kAnnounce.size());
    run.messages.push_back(kAnnounce + "#\n");
  } else if (text.compare(0, 5, "Unit ") != 0 || text.find(" already used!") == std::string::npos) {
    run.messages.push_back(text);
  }
}

// A regular file's text; nothing for anything else (a device such as
// /dev/full would read for ever).
inline std::string ReadFile(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return {};
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Solves `problem` (sizeable ones at `size`) with a new solver of `factory`
// until Solve stops asking to be called again, then releases the solver.
// Touches only objects of its own and the factory: safe on any thread.
inline SolveRun SolveLibraryProblem(VornFactoryNLASystem* factory, const char* problem, int32_t size) {
  SolveRun run;
  problems::ProblemOptions options;
  options.size = size;
  std::shared_ptr<const problems::Problem> made = problems::MakeProblem(problem, options);
  if (!made) {
    run.result = -999;
    return run;
  }
  vorn_host::ReferenceEso* eso = vorn_host::ReferenceEso::Create(problems::DescribeForHost(made));
  vorn_host::RecordingSink sink;
  VornNumericNLASystem* solver = nullptr;
  run.result = factory->CreateNLASystem(eso->problem(), &sink, &solver);
  if (solver != nullptr) {
    run.result = solver->Solve(0, &run.iterations);
    for (run.calls = 1; run.result == kVornCallAgain && run.calls < 5000; ++run.calls) {
      run.result = solver->Solve(1, &run.iterations);
    }
  }
  run.x = Bits(eso->values());
  for (const std::string& text : sink.Prints()) KeepMessage(text, run);
  if (run.unit > 0) run.records = ReadFile("fort" + std::to_string(run.unit));
  if (solver != nullptr) solver->Release();
  eso->Release();
  return run;
}

}  // namespace dalvex_test
