#include "options.h"

#include <CLI/CLI.hpp>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <system_error>
#include <utility>

#ifndef DALVEX_VERSION
#define DALVEX_VERSION "unknown"
#endif

namespace dalvex_run {
namespace {

constexpr int64_t kMaxCalls = 1000000000;
constexpr double kMinProgress = 0.1, kMaxProgress = 3600.0;

// What each option accepts, for the refusals that CLI11 detects.
const std::map<std::string, std::string>& Accepts() {
  static const std::map<std::string, std::string> accepts = {
      {"--problem", "a problem name (see --list)"},
      {"--size", "an integer within the problem's range (see --list)"},
      {"--lambda", "a finite number within the problem's range (see --list)"},
      {"--set", "Name=value for a solver parameter (see --parameters)"},
      {"--csv", "a file path"},
      {"--history", "a file path"},
      {"--json", "a file path, or - for standard output"},
      {"--module", "the path of the plug-in module"},
      {"--max-calls", "an integer in [1, " + std::to_string(kMaxCalls) + "]"},
      {"--progress-every", "a number of seconds in [0.1, 3600]"},
  };
  return accepts;
}

int Refuse(const std::string& line) {
  std::fprintf(stderr, "dalvex-run: %s\n", line.c_str());
  return kExitUsage;
}

// CLI11's refusals as one line each: the option, what went wrong, what it
// takes.  A word left over that names a problem was most likely meant for -p.
int RefuseParse(const CLI::ParseError& e, const std::vector<std::string>& extras) {
  const std::string what = e.what();
  if (dynamic_cast<const CLI::ExtrasError*>(&e) != nullptr) {
    for (const auto& word : extras)
      if (problems::FindProblem(word) != nullptr)
        return Refuse(what + " (" + word + " is a problem: to solve it, give -p " + word + ")");
    return Refuse(what + " (see --help)");
  }
  const std::string option = what.substr(0, what.find(':'));
  const auto accepts = Accepts().find(option);
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&e) != nullptr && accepts != Accepts().end()) {
    const bool missing = what.find("missing") != std::string::npos;
    return Refuse(option + (missing ? " needs a value: " : " may be given only once: ") +
                  accepts->second);
  }
  return Refuse(what + " (see --help)");
}

std::optional<int64_t> ReadInteger(const std::string& text, int64_t lower, int64_t upper) {
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || v < lower || v > upper) return std::nullopt;
  return v;
}

std::optional<double> ReadNumber(const std::string& text, double lower, double upper) {
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !std::isfinite(v) || v < lower || v > upper) return std::nullopt;
  return v;
}

std::string Range(double lower, double upper) {
  char buf[80];
  std::snprintf(buf, sizeof buf, "[%g, %g]", lower, upper);
  return buf;
}

std::string Range(int64_t lower, int64_t upper) {
  return "[" + std::to_string(lower) + ", " + std::to_string(upper) + "]";
}

// The problem and the options that shape it, against the problem's own ranges.
// (Given as options: the parser's count by name looks the option up in a
// function that may not throw, and allocates there, so memory running out
// would end the program.)
int CheckProblem(const CLI::Option& size_option,
                 const CLI::Option& lambda_option,
                 const std::string& size,
                 const std::string& lambda,
                 Options* o) {
  const problems::RegistryEntry* entry = problems::FindProblem(o->problem);
  if (entry == nullptr) return Refuse("unknown problem '" + o->problem + "' (see --list)");
  if (size_option.count() != 0) {
    if (entry->default_size == 0)
      return Refuse("--size does not apply: " + o->problem + " has a fixed size");
    const auto n = ReadInteger(size, entry->min_size, entry->max_size);
    if (!n)
      return Refuse("--size takes an integer in " + Range(int64_t{entry->min_size}, int64_t{entry->max_size}) +
                    " for " + o->problem + ", not '" + size + "'");
    o->problem_options.size = static_cast<int32_t>(*n);
  }
  if (lambda_option.count() != 0) {
    if (!entry->takes_lambda) return Refuse("--lambda does not apply: " + o->problem + " has no lambda");
    const auto v = ReadNumber(lambda, entry->min_lambda, entry->max_lambda);
    if (!v)
      return Refuse("--lambda takes a finite number in " + Range(entry->min_lambda, entry->max_lambda) +
                    " for " + o->problem + ", not '" + lambda + "'");
    o->problem_options.lambda = *v;
  }
  return kExitSuccess;
}

// A file value must be a path: not empty, and not an option the parser took
// as the value (--csv --quiet); only --json may name standard output, "-".
int CheckFileValue(const CLI::Option& option, const std::string& path) {
  const std::string name = option.get_name();
  if (option.count() != 0 && path.empty()) return Refuse(name + " takes a file path, not an empty value");
  if (path.empty() || path[0] != '-' || (path == "-" && name == "--json")) return kExitSuccess;
  if (path == "-")
    return Refuse(name + " takes a file path, not '-': only --json writes to standard output");
  return Refuse(name + " takes a file path, not '" + path + "' (a file of that name is ./" + path + ")");
}

// The path as the system resolves it, for comparing two names of one file.
std::string Resolved(const std::string& path) {
  std::error_code error;
  std::filesystem::path p = std::filesystem::absolute(path, error);
  if (!error) p = std::filesystem::weakly_canonical(p, error);
  std::string text = (error ? std::filesystem::path(path) : p).lexically_normal().string();
#if defined(_WIN32)
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
#endif
  return text;
}

// An existing file reached by two names (links included), or two names that
// resolve to one path.
bool SameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  return std::filesystem::equivalent(a, b, error) || Resolved(a) == Resolved(b);
}

// Two options that would write one file (or write over the module) corrupt
// it: refused before anything is touched.
int CheckDistinctFiles(const Options& o) {
  const std::pair<const char*, const std::string*> files[] = {
      {"--csv", &o.csv}, {"--history", &o.history}, {"--json", &o.json}, {"--module", &o.module}};
  for (size_t i = 0; i < 3; ++i)
    for (size_t j = i + 1; j < 4; ++j) {
      const std::string& a = *files[i].second;
      const std::string& b = *files[j].second;
      if (a.empty() || b.empty() || a == "-" || b == "-" || !SameFile(a, b)) continue;
      return Refuse(std::string(files[i].first) + " and " + files[j].first + " name the same file: " +
                    (a == b ? a : a + " and " + b));
    }
  return kExitSuccess;
}

// A setting must read Name=value.  A bare word is most often a problem
// named without -p, which the refusal says.
int CheckSettings(const Options& o) {
  for (const auto& setting : o.settings) {
    const auto eq = setting.find('=');
    if (eq != std::string::npos && eq != 0) continue;
    std::string line = "--set takes Name=value, not '" + setting + "'";
    if (problems::FindProblem(setting) != nullptr)
      line += " (" + setting + " is a problem: to solve it, give -p " + setting + ")";
    return Refuse(line);
  }
  return kExitSuccess;
}

// A listing writes no solution and no history: those options are refused
// rather than left without effect; --json takes the listing as JSON.
int CheckListing(const Options& o, const CLI::Option& csv, const CLI::Option& history) {
  if (o.list && o.parameters) return Refuse("--list and --parameters are two listings: give one");
  if (!o.list && !o.parameters) return kExitSuccess;
  const char* listing = o.list ? "--list" : "--parameters";
  for (const CLI::Option* option : {&csv, &history})
    if (option->count() != 0)
      return Refuse(option->get_name() + " does not apply to " + listing +
                    ", which solves nothing (--json takes the listing as JSON)");
  return kExitSuccess;
}

const char* kFooter =
    "Exit status:\n"
    "  0  converged (largest |F| below Tol), or a least-squares minimum; also after\n"
    "     --list, --parameters, --help and --version\n"
    "  1  stalled (stopped by the solver's own tests short of a solution), evaluation\n"
    "     limit (MaxIters or --max-calls), or failed (the solver's message tells why)\n"
    "  2  usage error: the command line was refused before anything ran\n"
    "  3  error of the environment: a file or standard output could not be written,\n"
    "     the module could not be loaded, or memory ran out (in the solver too:\n"
    "     outcome failed)\n"
    "  128+N  ended by signal N (130 SIGINT, 143 SIGTERM, 129 SIGHUP), after writing\n"
    "     the history so far and the JSON summary\n"
    "Files are written whole or not at all: each to FILE.<pid>.partial, renamed\n"
    "into place when complete; an early end leaves the solution file as it was.";

}  // namespace

std::optional<int> ParseCommandLine(int argc, char** argv, Options* o) {
  CLI::App app{"Solves a built-in nonlinear system with the sparse Levenberg-Marquardt plug-in,\n"
               "loaded and driven as a modelling host does.",
               "dalvex-run"};
  std::string size, lambda, max_calls = std::to_string(o->max_calls), progress = "5";
  app.add_option("-p,--problem", o->problem, "Problem to solve (see --list)")
      ->type_name("NAME")
      ->capture_default_str();
  const CLI::Option* size_option =
      app.add_option("-n,--size", size, "Size of a sizeable problem (default and range: see --list)")
          ->type_name("INT");
  const CLI::Option* lambda_option =
      app.add_option("--lambda", lambda, "Bratu's parameter, in [-100, 100] (default 6)")->type_name("NUMBER");
  app.add_option("-s,--set", o->settings, "Set a solver parameter, Name=value (repeatable)")
      ->type_name("NAME=VALUE")
      ->allow_extra_args(false);
  const CLI::Option* csv_option =
      app.add_option("--csv", o->csv, "Write the solution as CSV (variable,value) to this file")
          ->type_name("FILE");
  const CLI::Option* history_option =
      app.add_option("--history", o->history,
                     "Write one CSV row per evaluation (iter, sum of squares, largest |F|, tests met, "
                     "what stopped the solve, seconds) to this file")
          ->type_name("FILE");
  const CLI::Option* json_option =
      app.add_option("--json", o->json, "Write the summary as JSON to this file (- for standard output)")
          ->type_name("FILE");
  app.add_option("--module", o->module, "Path of the plug-in module")
      ->type_name("FILE")
      ->capture_default_str();
  app.add_option("--max-calls", max_calls, "Give up after this many Solve calls, in [1, 1e9]")
      ->type_name("INT")
      ->capture_default_str();
  const CLI::Option* progress_option =
      app.add_option("--progress-every", progress,
                     "Seconds between progress lines on standard error when it is not a terminal, "
                     "also while one Solve call runs")
          ->type_name("SECONDS")
          ->capture_default_str();
  app.add_flag("-q,--quiet", o->quiet, "No progress lines");
  app.add_flag("-l,--list", o->list, "List the built-in problems (as JSON with --json) and exit");
  app.add_flag("--parameters", o->parameters,
               "List the solver's parameters (after any --set) and what each does, as JSON with "
               "--json, and exit");
  app.set_version_flag("--version", "dalvex-run " DALVEX_VERSION);
  app.footer(kFooter);
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    // Through stdio, whose flush at the end says why standard output failed.
    std::ostringstream out;
    const int rc = app.exit(e, out);
    std::fputs(out.str().c_str(), stdout);
    return rc;
  } catch (const CLI::ParseError& e) {
    return RefuseParse(e, app.remaining());
  }
  if (const int rc = CheckSettings(*o); rc != kExitSuccess) return rc;
  if (const int rc = CheckListing(*o, *csv_option, *history_option); rc != kExitSuccess) return rc;
  if (o->quiet && progress_option->count() != 0)
    return Refuse("--progress-every has nothing to time with --quiet, which prints no progress");
  if (o->list) {
    if (const int rc = CheckFileValue(*json_option, o->json); rc != kExitSuccess) return rc;
    return std::nullopt;
  }
  if (const int rc = CheckProblem(*size_option, *lambda_option, size, lambda, o); rc != kExitSuccess) return rc;
  const auto calls = ReadInteger(max_calls, 1, kMaxCalls);
  if (!calls)
    return Refuse("--max-calls takes an integer in " + Range(int64_t{1}, kMaxCalls) + ", not '" +
                  max_calls + "'");
  o->max_calls = *calls;
  const auto every = ReadNumber(progress, kMinProgress, kMaxProgress);
  if (!every)
    return Refuse("--progress-every takes a number of seconds in " + Range(kMinProgress, kMaxProgress) +
                  ", not '" + progress + "'");
  o->progress_seconds = *every;
  for (auto [option, path] : {std::pair{csv_option, &o->csv}, {history_option, &o->history},
                              {json_option, &o->json}})
    if (const int rc = CheckFileValue(*option, *path); rc != kExitSuccess) return rc;
  if (const int rc = CheckDistinctFiles(*o); rc != kExitSuccess) return rc;
  return std::nullopt;
}

}  // namespace dalvex_run
