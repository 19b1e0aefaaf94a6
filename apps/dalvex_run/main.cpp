// dalvex-run: a command-line host for the solver plug-in.  It loads the
// module as a modelling host would, hands it one of the built-in problems as
// an equation set object, and calls Solve until the solver stops asking to be
// called again; the solver's messages are shown as they come, with a live
// progress line on a terminal and a summary at the end.
#if defined(_WIN32)
#include <io.h>
#define DALVEX_ISATTY(stream) (_isatty(_fileno(stream)) != 0)
#else
#include <unistd.h>
#define DALVEX_ISATTY(stream) (isatty(fileno(stream)) != 0)
#endif

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "console.h"
#include "module_path.h"
#include "problems/registry.h"
#include "run.h"
#include "solver_host.h"

namespace dalvex_run {
namespace {

constexpr int kExitConverged = 0;
constexpr int kExitNotConverged = 1;
constexpr int kExitUsage = 2;

struct Options {
  std::string problem = "reactor-flash";
  int32_t size = 0;
  double lambda = 6.0;
  std::vector<std::string> settings;
  std::string csv;
  std::string module = DefaultModulePath();
  int64_t max_calls = 1000000;
  bool list = false;
  bool parameters = false;
};

std::string Format(const char* fmt, double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, fmt, v);
  return buf;
}

void ListProblems() {
  for (const auto& e : problems::Registry()) {
    const std::string size =
        e.default_size > 0 ? "--size " + std::to_string(e.default_size) : "fixed size";
    std::printf("%-24s %-12s %s\n", e.name.c_str(), size.c_str(), e.summary.c_str());
  }
}

void ListParameters(const SolverHost& host) {
  std::printf("%-17s %-8s %-20s %-10s %s\n", "name", "type", "bounds", "value", "description");
  for (const auto& p : host.Parameters())
    std::printf("%-17s %-8s %-20s %-10s %s\n", p.name.c_str(), p.type.c_str(), p.bounds.c_str(),
                p.value.c_str(), p.description.c_str());
}

std::string StatusText(const RunOutcome& r) {
  if (!r.created) return "the solver could not be created (code " + std::to_string(r.result) + ")";
  if (r.call_limit)
    return "still running after " + std::to_string(r.calls) + " Solve calls (--max-calls)";
  switch (r.result) {
    case 0: return "converged (Solve returned 0)";
    case -15: return "failed (Solve returned -15)";
    default: return "stopped by an error of the equation set (Solve returned " +
                    std::to_string(r.result) + ")";
  }
}

// The summary: status, counts, time, and the residuals at the point the
// equation set holds at the end, recomputed here.
void Summarise(const problems::Problem& p, const RunOutcome& r, const Options& o) {
  std::printf("\n%-16s %s\n", "Status", StatusText(r).c_str());
  if (!r.created) return;
  std::printf("%-16s %d\n", "Iterations", r.iterations);
  std::printf("%-16s %lld residual evaluations in %lld Solve calls\n", "Evaluations",
              static_cast<long long>(r.evaluations), static_cast<long long>(r.calls));
  if (r.seconds < 1.0)
    std::printf("%-16s %.3g ms\n", "Time", r.seconds * 1e3);
  else
    std::printf("%-16s %.3f s\n", "Time", r.seconds);
  std::vector<double> f(p.NEqs());
  p.Residuals(r.x.data(), f.data());
  int32_t worst = 0;
  double sum = 0.0;
  for (int32_t i = 0; i < p.NEqs(); ++i) {
    sum += f[i] * f[i];
    if (std::isnan(f[i]) || (!std::isnan(f[worst]) && std::fabs(f[i]) > std::fabs(f[worst]))) worst = i;
    if (std::isnan(f[worst])) break;
  }
  std::printf("%-16s %s in %s\n", "Largest |F|", Format("%.3e", std::fabs(f[worst])).c_str(),
              p.EquationName(worst).c_str());
  std::string known;
  if (auto least = p.KnownMinimum()) known = "   (least possible: " + Format("%.6g", *least) + ")";
  std::printf("%-16s %s%s\n", "Sum of squares", Format("%.6e", sum).c_str(), known.c_str());
  if (!o.csv.empty()) std::printf("%-16s %s\n", "Solution", ("written to " + o.csv).c_str());
}

bool WriteCsv(const problems::Problem& p, const std::vector<double>& x, const std::string& path) {
  std::ofstream out(path);
  out << "variable,value\n";
  char buf[40];
  for (int32_t j = 0; j < p.NVars(); ++j) {
    std::snprintf(buf, sizeof buf, "%.17g", x[j]);
    out << p.VariableName(j) << ',' << buf << '\n';
  }
  return static_cast<bool>(out);
}

int Main(int argc, char** argv) {
  Options o;
  CLI::App app{"Solves a built-in nonlinear system with the sparse Levenberg-Marquardt plug-in,\n"
               "loaded and driven as a modelling host does.",
               "dalvex-run"};
  app.add_option("-p,--problem", o.problem, "Problem to solve (see --list)")->capture_default_str();
  app.add_option("-n,--size", o.size, "Size of a sizeable problem (0: its default)");
  app.add_option("--lambda", o.lambda, "Bratu's parameter")->capture_default_str();
  app.add_option("-s,--set", o.settings, "Set a solver parameter, Name=value (repeatable)");
  app.add_option("--csv", o.csv, "Write the solution as CSV (variable,value) to this file");
  app.add_option("--module", o.module, "Path of the plug-in module")->capture_default_str();
  app.add_option("--max-calls", o.max_calls, "Give up after this many Solve calls")
      ->capture_default_str()
      ->check(CLI::PositiveNumber);
  app.add_flag("-l,--list", o.list, "List the built-in problems and exit");
  app.add_flag("--parameters", o.parameters, "List the solver's parameters and exit");
  CLI11_PARSE(app, argc, argv);

  if (o.list) {
    ListProblems();
    return kExitConverged;
  }
  problems::ProblemOptions popts;
  popts.size = o.size;
  popts.lambda = o.lambda;
  std::string error;
  std::shared_ptr<const problems::Problem> problem = problems::MakeProblem(o.problem, popts, &error);
  if (!problem) {
    std::fprintf(stderr, "dalvex-run: %s (try --list)\n", error.c_str());
    return kExitUsage;
  }
  SolverHost host;
  if (!host.Load(o.module, &error)) {
    std::fprintf(stderr, "dalvex-run: cannot load %s: %s\n", o.module.c_str(), error.c_str());
    return kExitUsage;
  }
  if (o.parameters) {
    ListParameters(host);
    return kExitConverged;
  }
  for (const auto& s : o.settings) {
    if (!host.Set(s, &error)) {
      std::fprintf(stderr, "dalvex-run: %s\n", error.c_str());
      return kExitUsage;
    }
  }

  std::printf("Solver   %s\n", host.SolverName().c_str());
  std::printf("Problem  %s: %s\n", o.problem.c_str(), problem->Description().c_str());
  std::printf("         %d equations, %d variables, %d Jacobian entries\n\n", problem->NEqs(),
              problem->NVars(), problem->NNz());
  std::fflush(stdout);

  Console console(stdout, DALVEX_ISATTY(stdout));
  RunLimits limits;
  limits.max_calls = o.max_calls;
  const RunOutcome outcome = Run(host, problem, console, limits);
  if (outcome.created && !o.csv.empty() && !WriteCsv(*problem, outcome.x, o.csv)) {
    std::fprintf(stderr, "dalvex-run: cannot write %s\n", o.csv.c_str());
    o.csv.clear();
  }
  Summarise(*problem, outcome, o);
  return outcome.created && outcome.result == 0 ? kExitConverged : kExitNotConverged;
}

}  // namespace
}  // namespace dalvex_run

int main(int argc, char** argv) { return dalvex_run::Main(argc, argv); }
