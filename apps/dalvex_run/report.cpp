#include "report.h"

#if defined(_WIN32)
#include <windows.h>
// windows.h first: psapi.h needs its types.
#include <psapi.h>
#else
#include <sys/resource.h>
#endif

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

namespace dalvex_run {
namespace {

std::string Line(const char* label, const std::string& text) {
  char head[20];
  std::snprintf(head, sizeof head, "%-16s ", label);
  return head + text + "\n";
}

std::string Num(const char* format, double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, v);
  return buf;
}

std::string Duration(double seconds) {
  return seconds < 1.0 ? Num("%.3g ms", seconds * 1e3) : Num("%.3f s", seconds);
}

double SolverSeconds(const RunOutcome& r) {
  return std::max(0.0, r.seconds - r.evaluation_seconds - r.tool_seconds);
}

std::string KnownLeast(const StopFacts& f) {
  if (!f.known_least) return "";
  if (*f.known_least == 0.0) return "   (least possible: 0)";
  return "   (known least: " + Num("%g", *f.known_least) + "; this is " +
         Num("%.7g", f.sum_squares / *f.known_least) + " times it)";
}

}  // namespace

std::string SummaryText(const Summary& s) {
  const RunOutcome& r = *s.run;
  const StopFacts& f = s.facts;
  std::string t = "\n" + Line("Outcome", OutcomeName(s.verdict.outcome)) +
                  Line("", s.verdict.text);
  if (!r.created) return t;
  if (r.evaluations > 0) {
    // The solver prints its "(Obj) Iter" lines from PrintLevel 1 only.
    const auto level = std::find_if(s.parameters.begin(), s.parameters.end(),
                                    [](const Summary::Parameter& p) { return p.name == "PrintLevel"; });
    const bool lines = level == s.parameters.end() || level->value >= 1;
    t += Line("Iterations", std::to_string(r.evaluations - 1) + " after the starting point" +
                                (lines ? " (\"Iter\" 0 to " + std::to_string(r.evaluations - 1) +
                                             " in the solver's lines)"
                                       : std::string()));
  }
  t += Line("Evaluations", Count(r.evaluations, "residual evaluation") + " in " + Count(r.calls, "Solve call"));
  t += Line("Time", Duration(r.seconds) + ": " + Duration(r.evaluation_seconds) +
                        " in the problem's evaluations, " + Duration(SolverSeconds(r)) +
                        " in the solver, " + Duration(r.tool_seconds) + " in this tool");
  if (s.peak_bytes >= 0)
    t += Line("Peak memory", Num("%.1f MiB resident", static_cast<double>(s.peak_bytes) / 1048576.0));
  t += Line("Largest |F|", Num("%.3e", f.largest) + " in " + s.largest_in);
  t += Line("Sum of squares", Num("%.6e", f.sum_squares) + KnownLeast(f));
  for (const auto& [what, where] : s.written) t += Line(what.c_str(), "written to " + where);
  return t;
}

namespace {

using Json = nlohmann::ordered_json;

// NaN has no JSON form: it is written as null.
Json Number(double v) { return std::isnan(v) ? Json() : Json(v); }

Json ProblemJson(const Summary& s) {
  Json problem = {{"name", s.problem}};
  if (s.instance != nullptr) {
    problem["description"] = s.instance->Description();
    problem["equations"] = s.instance->NEqs();
    problem["variables"] = s.instance->NVars();
    problem["jacobian_entries"] = s.instance->NNz();
  }
  if (s.sizeable) problem["size"] = s.options.size;
  if (s.takes_lambda) problem["lambda"] = s.options.lambda;
  return problem;
}

Json ParametersJson(const Summary& s) {
  Json parameters = Json::object();
  for (const auto& p : s.parameters)
    parameters[p.name] =
        p.integer && !std::isnan(p.value) ? Json(static_cast<int64_t>(p.value)) : Json(p.value);
  return parameters;
}

Json FilesJson(const Summary& s) {
  Json files = Json::object();
  for (const auto& [what, where] : s.written) {
    std::string key = what;  // "JSON summary" -> "json_summary"
    for (char& c : key) c = c == ' ' ? '_' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    files[key] = where;
  }
  return files;
}

std::string Document(const Summary& s, Json outcome, Json counts, Json residuals, Json time) {
  Json doc = {{"tool", {{"name", "dalvex-run"}, {"version", DALVEX_VERSION}}},
              {"solver", s.solver.empty() ? Json() : Json(s.solver)},
              {"problem", ProblemJson(s)},
              {"parameters", ParametersJson(s)},
              {"outcome", std::move(outcome)},
              {"counts", std::move(counts)},
              {"residuals", std::move(residuals)},
              {"time", std::move(time)},
              {"peak_resident_bytes", s.peak_bytes >= 0 ? Json(s.peak_bytes) : Json()},
              {"files_written", FilesJson(s)}};
  return doc.dump(2) + "\n";
}

}  // namespace

std::string SummaryJson(const Summary& s) {
  const RunOutcome& r = *s.run;
  const StopFacts& f = s.facts;
  Json outcome = {{"name", OutcomeName(s.verdict.outcome)},
                  {"stopped_by", s.verdict.test.empty() ? Json() : Json(s.verdict.test)},
                  {"reason", s.verdict.text},
                  {"exit_status", s.verdict.exit_status},
                  {"solve_result", r.result},
                  {"status", r.status ? Json(*r.status) : Json()}};
  Json counts = {{"iterations", r.evaluations > 0 ? Json(r.evaluations - 1) : Json()},
                 {"evaluations", r.evaluations},
                 {"solve_calls", r.calls}};
  Json residuals = {{"sum_of_squares", f.sum_squares},
                    {"largest_abs", f.largest},
                    {"largest_in", s.largest_in},
                    {"known_least_sum_of_squares", f.known_least ? Json(*f.known_least) : Json()}};
  Json time = {{"total_seconds", r.seconds},
               {"evaluation_seconds", r.evaluation_seconds},
               {"solver_seconds", SolverSeconds(r)},
               {"tool_seconds", r.tool_seconds}};
  return Document(s, std::move(outcome), std::move(counts), std::move(residuals), std::move(time));
}

std::string EarlyJson(const Summary& s, const EarlyEnd& e) {
  const Tally::Figures& f = e.figures;
  Json outcome = {{"name", e.outcome},
                  {"stopped_by", Json()},
                  {"reason", e.reason},
                  {"exit_status", e.exit_status},
                  {"solve_result", Json()},
                  {"status", Json()}};
  Json counts = {{"iterations", f.evaluations > 0 ? Json(f.evaluations - 1) : Json()},
                 {"evaluations", f.evaluations},
                 {"solve_calls", f.calls}};
  // The residuals of the latest evaluation, where the solve had come to.
  const bool evaluated = f.evaluations > 0;
  const std::optional<double> least = s.instance != nullptr ? s.instance->KnownMinimum() : std::nullopt;
  Json residuals = {{"sum_of_squares", evaluated ? Number(f.sum_squares) : Json()},
                    {"largest_abs", evaluated ? Number(f.largest) : Json()},
                    {"largest_in", Json()},
                    {"known_least_sum_of_squares", least ? Json(*least) : Json()}};
  Json time = {{"total_seconds", f.started ? Json(f.seconds) : Json()},
               {"evaluation_seconds", Json()},
               {"solver_seconds", Json()},
               {"tool_seconds", Json()}};
  return Document(s, std::move(outcome), std::move(counts), std::move(residuals), std::move(time));
}

std::string ProblemListJson() {
  Json list = Json::array();
  for (const auto& e : problems::Registry()) {
    Json p = {{"name", e.name}, {"summary", e.summary}};
    p["size"] = e.default_size > 0 ? Json({{"default", e.default_size}, {"min", e.min_size}, {"max", e.max_size}})
                                   : Json();
    p["lambda"] = e.takes_lambda ? Json({{"default", problems::ProblemOptions{}.lambda},
                                         {"min", e.min_lambda},
                                         {"max", e.max_lambda}})
                                 : Json();
    list.push_back(std::move(p));
  }
  return Json({{"problems", std::move(list)}}).dump(2) + "\n";
}

std::string ParameterListJson(const std::vector<ParameterLine>& parameters) {
  Json list = Json::array();
  for (const auto& p : parameters) {
    list.push_back({{"name", p.name},
                    {"type", p.type},
                    {"bounds", p.bounds},
                    {"value", p.value},
                    {"set", p.given},
                    {"description", p.description},
                    {"in_practice", p.in_practice}});
  }
  return Json({{"parameters", std::move(list)}}).dump(2) + "\n";
}

int64_t PeakResidentBytes() {
#if defined(_WIN32)
  PROCESS_MEMORY_COUNTERS counters{};
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return -1;
  return static_cast<int64_t>(counters.PeakWorkingSetSize);
#else
  rusage usage{};
  if (getrusage(RUSAGE_SELF, &usage) != 0) return -1;
  return static_cast<int64_t>(usage.ru_maxrss) * 1024;  // kilobytes on Linux
#endif
}

}  // namespace dalvex_run
