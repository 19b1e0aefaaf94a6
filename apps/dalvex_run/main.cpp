// dalvex-run: a command-line host for the solver plug-in.  It loads the
// module as a modelling host would, hands it one of the built-in problems as
// an equation set object, and calls Solve until the solver stops asking to be
// called again; the solver's messages are shown as they come, with a live
// progress line on a terminal and a summary at the end that says truly what
// the solve came to (outcome.h).
#if defined(_WIN32)
#include <io.h>
#define DALVEX_ISATTY(stream) (_isatty(_fileno(stream)) != 0)
#else
#include <fcntl.h>
#include <unistd.h>
#define DALVEX_ISATTY(stream) (isatty(fileno(stream)) != 0)
#endif

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "console.h"
#include "ending.h"
#include "heartbeat.h"
#include "module_path.h"
#include "options.h"
#include "outcome.h"
#include "output_file.h"
#include "problems/registry.h"
#include "report.h"
#include "run.h"
#include "solver_host.h"

namespace dalvex_run {
namespace {

void ListProblems(std::FILE* out) {
  for (const auto& e : problems::Registry()) {
    const std::string size = e.default_size > 0 ? "--size " + std::to_string(e.default_size) + " in [" +
                                                      std::to_string(e.min_size) + ", " +
                                                      std::to_string(e.max_size) + "]"
                                                : "fixed size";
    std::fprintf(out, "%-24s %-27s %s\n", e.name.c_str(), size.c_str(), e.summary.c_str());
    if (e.takes_lambda)
      std::fprintf(out, "%-24s --lambda %g in [%g, %g]\n", "", problems::ProblemOptions{}.lambda,
                   e.min_lambda, e.max_lambda);
  }
}

// The table's own description of each parameter, and beneath it what the
// parameter does in practice.
void ListParameters(const SolverHost& host, std::FILE* out) {
  std::fprintf(out, "%-17s %-8s %-20s %-14s %s\n", "name", "type", "bounds", "value", "description");
  for (const auto& p : host.Parameters()) {
    const std::string value = p.value + (p.given ? " (set)" : "");
    std::fprintf(out, "%-17s %-8s %-20s %-14s %s\n%-17s in practice: %s\n", p.name.c_str(), p.type.c_str(),
                 p.bounds.c_str(), value.c_str(), p.description.c_str(), "", p.in_practice.c_str());
  }
  std::fprintf(out, "\n(set): given with --set.\n");
}

// Set once a failure of standard output has been told, so that it is told once.
bool standard_output_told = false;
// Why standard output first failed to take what was flushed to it, 0 if it has not.
int standard_output_error = 0;

// Flushes our text; a failure of standard output is kept for the end (a later
// flush of a stream in error no longer says why).
void FlushText(std::FILE* text) {
  errno = 0;
  if (std::fflush(text) != 0 && text == stdout && standard_output_error == 0) standard_output_error = errno;
}

// A file that failed, as one line naming its option.
void TellFileError(const char* option, const OutputFile& file) {
  std::fprintf(stderr, "dalvex-run: %s: %s\n", option, file.error().c_str());
  if (file.path() == "-") standard_output_told = true;
}

// The named output files, opened before anything is solved.
struct Outputs {
  OutputFile csv, history, json;

  bool Open(const Options& o) {
    for (auto [file, path, option] : {std::tuple{&csv, &o.csv, "--csv"}, {&history, &o.history, "--history"},
                                      {&json, &o.json, "--json"}}) {
      if (path->empty() || file->Open(*path)) continue;
      TellFileError(option, *file);
      return false;
    }
    return true;
  }
  // Removes the temporary files of those not put in place.
  void DiscardAll() {
    for (OutputFile* file : {&csv, &history, &json}) file->Discard();
  }
};

// The residuals at the final point: their sum of squares, the largest and
// where it is (a NaN counts as the largest).
void Measure(const problems::Problem& p, const std::vector<double>& x, StopFacts* f, int32_t* worst) {
  std::vector<double> r(static_cast<size_t>(p.NEqs()));
  p.Residuals(x.data(), r.data());
  double sum = 0.0;
  *worst = 0;
  for (int32_t i = 0; i < p.NEqs(); ++i) {
    sum += r[i] * r[i];
    if (std::isnan(r[i]) || (!std::isnan(r[*worst]) && std::fabs(r[i]) > std::fabs(r[*worst]))) *worst = i;
  }
  f->largest = p.NEqs() > 0 ? std::fabs(r[*worst]) : 0.0;
  f->sum_squares = std::isnan(f->largest) ? f->largest : sum;
}

StopFacts Facts(const SolverHost& host, const problems::Problem& p, const RunOutcome& r) {
  StopFacts f;
  f.created = r.created;
  f.result = r.result;
  f.status = r.status;
  f.call_limit = r.call_limit;
  f.calls = r.calls;
  f.evaluations = r.evaluations;
  f.neqs = p.NEqs();
  f.nvars = p.NVars();
  f.known_least = p.KnownMinimum();
  f.tol = host.RealValue("Tol");
  f.sac = host.RealValue("Sac");
  f.acc = host.RealValue("Acc");
  f.hmax = host.RealValue("Hmax");
  const double max_iters = host.IntegerValue("MaxIters");
  f.max_iters = std::isnan(max_iters) ? 0 : static_cast<int32_t>(max_iters);
  f.message = r.message;
  return f;
}

bool Finish(OutputFile& file, const char* option, const char* label, Summary& s) {
  if (!file.Close()) {
    TellFileError(option, file);
    return false;
  }
  if (file.path() != "-") s.written.emplace_back(label, file.path());
  return true;
}

// Loads the module and applies --set; an exit status on failure.
std::optional<int> LoadSolver(const Options& o, SolverHost& host) {
  std::string error;
  if (!host.Load(o.module, &error)) {
    std::fprintf(stderr, "dalvex-run: %s\n", error.c_str());
    return kExitEnvironment;
  }
  for (const auto& s : o.settings) {
    if (!host.Set(s, &error)) {
      std::fprintf(stderr, "dalvex-run: --set: %s\n", error.c_str());
      return kExitUsage;
    }
  }
  return std::nullopt;
}

// Progress: a live line on a terminal (beside the messages when they go to
// one), and a plain line now and then on standard error when it is not one.
RunSettings Settings(const Options& o, const SolverHost& host, Console& console, Console& status_line,
                     std::FILE* text) {
  RunSettings settings;
  settings.max_calls = o.max_calls;
  if (!o.quiet && DALVEX_ISATTY(text))
    settings.live = &console;
  else if (!o.quiet && DALVEX_ISATTY(stderr))
    settings.live = &status_line;
  settings.differencing = host.RealValue("Hmax") > 0.0;
  return settings;
}

// The problem's and the solver's facts, as far as they are known, for an
// early end: `problem` is null when it was not built.
Summary Known(const Options& o, const SolverHost& host, const problems::Problem* problem) {
  Summary s;
  s.solver = host.SolverName();
  s.problem = o.problem;
  s.instance = problem;
  s.options = o.problem_options;
  const problems::RegistryEntry* entry = problems::FindProblem(o.problem);
  s.sizeable = entry->default_size > 0;
  if (s.sizeable && s.options.size == 0) s.options.size = entry->default_size;
  s.takes_lambda = entry->takes_lambda;
  for (const auto& p : host.Parameters()) {
    const bool integer = p.type == "integer";
    s.parameters.push_back({p.name, integer ? host.IntegerValue(p.name.c_str())
                                            : host.RealValue(p.name.c_str()), integer});
  }
  s.peak_bytes = PeakResidentBytes();
  return s;
}

Summary Summarise(const Options& o, const SolverHost& host, const problems::Problem& problem,
                  const RunOutcome& run) {
  Summary s = Known(o, host, &problem);
  s.facts = Facts(host, problem, run);
  int32_t worst = 0;
  Measure(problem, run.x, &s.facts, &worst);
  s.verdict = Classify(s.facts);
  s.run = &run;
  s.largest_in = problem.NEqs() > 0 ? problem.EquationName(worst) : "";
  return s;
}

// The solver's own file of its output unit (Iprint), written as it went.
void AddUnitFile(const Console& console, Summary& s) {
  if (*console.unit_file() != '\0' && !console.unit_failed())
    s.written.emplace_back("Solver records", console.unit_file());
}

// The history's last row, the solution and the JSON summary, each closed and
// checked; false when any of them could not be written in full.  The JSON
// goes last, so that its exit status can tell of a file that failed before
// it (or of standard output failing so far).
bool WriteOutputs(Outputs& files, History* history, const problems::Problem& problem,
                  const RunOutcome& run, const Console& console, std::FILE* text, Summary& s,
                  const char** stage) {
  const NormalEnd end;
  bool ok = true;
  if (history) {
    history->Finish(s.verdict.test.empty() ? "failure" : s.verdict.test);
    ok = Finish(files.history, "--history", "History", s) && ok;
  }
  if (files.csv.is_open()) {
    *stage = "the solution file";
    if (run.created) {  // otherwise there is no solution, and the file stays as it was
      WriteSolutionCsv(files.csv, [&](int32_t j) { return problem.VariableName(j); }, run.x.data(),
                       problem.NVars());
      ok = Finish(files.csv, "--csv", "Solution", s) && ok;
    } else {
      files.csv.Discard();
    }
  }
  AddUnitFile(console, s);
  if (files.json.is_open()) {
    *stage = "the JSON summary";
    if (text == stdout) FlushText(stdout);
    const bool text_failed = text == stdout && (standard_output_error != 0 || std::ferror(stdout));
    if (!ok || text_failed) s.verdict.exit_status = kExitEnvironment;
    files.json.Write(SummaryJson(s));
    ok = Finish(files.json, "--json", "JSON summary", s) && ok;
  }
  return ok;
}

// What an early end writes (ending.h): the history so far, when it has a
// row, and the JSON summary with the exit status and the reason; the
// solution file is left as it was.  Runs on the thread that ends the run,
// while the solve's thread may be anywhere in the solver: everything it
// reads of the solve is behind the tally's lock.
class KnownSoFar final : public EarlyWriter {
 public:
  KnownSoFar(const Options& o, const SolverHost& host, Outputs& files, Tally& tally, const Console& console)
      : o_(o), host_(host), files_(files), tally_(tally), console_(console) {}

  // The problem and the history, once they exist.
  void Built(const problems::Problem* problem, History* history) {
    const std::lock_guard<std::mutex> lock(tally_.mutex());
    problem_ = problem;
    history_ = history;
  }

  void Write(int status, const std::string& reason, const char* word) override {
    const Tally::Figures f = tally_.Read();
    std::string said = reason;
    if (f.started)
      said += " in Solve call " + std::to_string(f.calls) + ", after " + Count(f.evaluations, "evaluation");
    std::fprintf(stderr, "%sdalvex-run: %s\n", DALVEX_ISATTY(stderr) ? "\n" : "", said.c_str());
    std::fflush(stderr);
    Summary s;
    const problems::Problem* problem = nullptr;
    {
      const std::lock_guard<std::mutex> lock(tally_.mutex());  // no row is added meanwhile
      problem = problem_;
      if (history_ != nullptr && !history_->empty()) {
        history_->Finish(word);
        Finish(files_.history, "--history", "History", s);
      }
    }
    files_.history.Discard();
    if (files_.csv.is_open()) std::fprintf(stderr, "dalvex-run: --csv: %s left as it was\n", files_.csv.path().c_str());
    files_.csv.Discard();
    if (files_.json.is_open()) WriteJson(status, said, f, problem, s);
    for (const auto& [what, where] : s.written)
      std::fprintf(stderr, "dalvex-run: %s%s written to %s\n", what.c_str(), what == "History" ? " so far" : "",
                   where.c_str());
  }

 private:
  void WriteJson(int status, const std::string& reason, const Tally::Figures& f,
                 const problems::Problem* problem, Summary& written) {
    try {
      Summary s = Known(o_, host_, problem);
      s.written = written.written;
      AddUnitFile(console_, s);
      EarlyEnd e;
      e.exit_status = status;
      e.reason = reason;
      e.outcome = status == kExitEnvironment ? "failed" : "interrupted";
      e.figures = f;
      files_.json.Write(EarlyJson(s, e));
      Finish(files_.json, "--json", "JSON summary", s);
      written.written = s.written;
    } catch (const std::bad_alloc&) {
      std::fprintf(stderr, "dalvex-run: --json: no memory left to write the summary\n");
      files_.json.Discard();
    }
  }

  const Options& o_;
  const SolverHost& host_;
  Outputs& files_;
  Tally& tally_;
  const Console& console_;
  const problems::Problem* problem_ = nullptr;  // guarded by the tally's lock
  History* history_ = nullptr;                  // likewise
};

// Arms an early end for as long as it lives.
struct Armed {
  explicit Armed(EarlyWriter* writer) { ArmEarlyEnd(writer); }
  ~Armed() { ArmEarlyEnd(nullptr); }
};

// What the run builds once its files are open, kept by the caller, so that
// an early end after memory ran out still finds it.
struct Built {
  std::shared_ptr<const problems::Problem> problem;
  std::unique_ptr<History> history;
};

// The problem built, the solve and its end, with the files open.
int SolveWithFiles(const Options& o, SolverHost& host, Outputs& files, Tally& tally, Console& console,
                   KnownSoFar& known, Built& built, const char** stage) {
  *stage = "the problem";
  std::string error;
  std::shared_ptr<const problems::Problem>& problem = built.problem;
  problem = problems::MakeProblem(o.problem, o.problem_options, &error);
  if (!problem) {  // the command line's checks make this unreachable
    std::fprintf(stderr, "dalvex-run: %s\n", error.c_str());
    return kExitUsage;
  }
  problem->NNz();  // the Jacobian pattern is built on first use: build it now
  std::unique_ptr<History>& history = built.history;
  if (files.history.is_open())
    history = std::make_unique<History>(files.history, host.RealValue("Tol"), host.RealValue("Sac"));
  known.Built(problem.get(), history.get());

  // With the JSON on standard output, everything for people goes to standard error.
  std::FILE* text = o.json == "-" ? stderr : stdout;
  std::fprintf(text, "Solver   %s\n", host.SolverName().c_str());
  std::fprintf(text, "Problem  %s: %s\n", o.problem.c_str(), problem->Description().c_str());
  std::fprintf(text, "         %d equations, %d variables, %d Jacobian entries\n\n", problem->NEqs(),
               problem->NVars(), problem->NNz());
  FlushText(text);
  Console status_line(stderr, true);
  RunSettings settings = Settings(o, host, console, status_line, text);
  settings.history = history.get();
  settings.tally = &tally;
  RunOutcome run;
  {
    const Heartbeat heartbeat(tally, !o.quiet && !DALVEX_ISATTY(stderr) ? stderr : nullptr, settings.live,
                              o.progress_seconds);
    run = Run(host, problem, console, settings, stage);
  }

  *stage = "the summary";
  Summary s = Summarise(o, host, *problem, run);
  const bool written = WriteOutputs(files, history.get(), *problem, run, console, text, s, stage);
  *stage = "the summary";
  std::fputs(SummaryText(s).c_str(), text);
  FlushText(text);
  return written ? s.verdict.exit_status : kExitEnvironment;
}

[[noreturn]] void EndLoaded(int status);

// The run in order, once the solver is loaded and set (Solve): the files
// opened (a bad path ends it before the problem takes time and memory), the
// problem built, the solve, the summary.  From the files on, an early end
// writes what is known.
int SolveLoaded(const Options& o, SolverHost& host, const char** stage) {
  *stage = "the output files";
  Outputs files;
  if (!files.Open(o)) return kExitEnvironment;
  Tally tally;
  Console console(o.json == "-" ? stderr : stdout, !o.quiet && DALVEX_ISATTY(o.json == "-" ? stderr : stdout));
  Built built;
  KnownSoFar known(o, host, files, tally, console);
  const Armed armed(&known);
  try {
    return SolveWithFiles(o, host, files, tally, console, known, built, stage);
  } catch (const std::bad_alloc&) {
    EndEarly(kExitEnvironment, std::string("out of memory while building ") + *stage, "out of memory");
    files.DiscardAll();
    EndLoaded(kExitEnvironment);
  } catch (const std::exception& e) {  // the system refused something else (a thread, a lock)
    EndEarly(kExitEnvironment, std::string("failed while building ") + *stage + ": " + e.what(), "failure");
    files.DiscardAll();
    EndLoaded(kExitEnvironment);
  }
}

int CheckStandardOutput(int status);

// A run that failed for want of memory (or of a file) with the module loaded
// ends the process at once, once standard output is checked. Unloading the
// module, or the clean-up at exit, would wait for BLAS's worker threads, and
// one that started when memory had run out never ends: OpenBLAS retries the
// allocation of its buffer for ever.
[[noreturn]] void EndLoaded(int status) {
  status = CheckStandardOutput(status);
  std::fflush(nullptr);
  std::_Exit(status);
}

// The solver loaded and set first: a refused --set or a module that will not
// load ends the run before any file is touched.
int Solve(const Options& o, const char** stage) {
  SolverHost host;
  int status = kExitEnvironment;
  try {
    if (const auto rc = LoadSolver(o, host)) return *rc;
    status = SolveLoaded(o, host, stage);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "dalvex-run: out of memory while building %s\n", *stage);
    EndLoaded(kExitEnvironment);
  }
  if (status == kExitEnvironment) EndLoaded(status);
  return status;
}

// A listing on standard output, or as JSON to --json's file.
int List(const Options& o, const SolverHost* host) {
  if (o.json.empty()) {
    if (host != nullptr)
      ListParameters(*host, stdout);
    else
      ListProblems(stdout);
    return kExitSuccess;
  }
  OutputFile file;
  if (!file.Open(o.json)) {
    TellFileError("--json", file);
    return kExitEnvironment;
  }
  file.Write(host != nullptr ? ParameterListJson(host->Parameters()) : ProblemListJson());
  if (file.Close()) return kExitSuccess;
  TellFileError("--json", file);
  return kExitEnvironment;
}

int ListParameters(const Options& o) {
  SolverHost host;
  if (const auto rc = LoadSolver(o, host)) return *rc;
  return List(o, &host);
}

int ParseAndRun(int argc, char** argv, const char** stage) {
  Options o;
  o.module = DefaultModulePath();
  if (const auto rc = ParseCommandLine(argc, argv, &o)) return *rc;
  if (o.list) return List(o, nullptr);
  *stage = "the solver's module";
  return o.parameters ? ListParameters(o) : Solve(o, stage);
}

// A standard stream that was closed gets /dev/null, so that no file the tool
// opens takes its place (the summary would land in the solution file).  True
// when standard output was among them.
bool ReopenClosedStreams() {
#if defined(_WIN32)
  return false;
#else
  bool stdout_closed = false;
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    stdout_closed = stdout_closed || fd == 1;
    const int opened = open("/dev/null", O_RDWR);  // the lowest free descriptor: fd
    if (opened != fd && opened >= 0) close(opened);
  }
  return stdout_closed;
#endif
}

// What went to standard output (ours and the option parser's) must have
// reached it: a failure is told in one line and ends with status 3.
int CheckStandardOutput(int status) {
  FlushText(stdout);
  std::cout.flush();
  const int error = standard_output_error;
  if (error == 0 && !std::ferror(stdout) && std::cout.good()) return status;
  if (!standard_output_told)
    std::fprintf(stderr, "dalvex-run: cannot write standard output%s%s\n", error != 0 ? ": " : "",
                 error != 0 ? std::strerror(error) : "");
  return kExitEnvironment;
}

// Memory may run out anywhere, the command line's parsing included.
int Main(int argc, char** argv) {
  InstallEndings();
  if (ReopenClosedStreams()) {
    std::fprintf(stderr, "dalvex-run: cannot write standard output: %s\n", std::strerror(EBADF));
    return kExitEnvironment;
  }
  const char* stage = "the command line";
  int status = kExitEnvironment;
  try {
    status = ParseAndRun(argc, argv, &stage);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "dalvex-run: out of memory while building %s\n", stage);
  }
  return CheckStandardOutput(status);
}

}  // namespace
}  // namespace dalvex_run

int main(int argc, char** argv) { return dalvex_run::Main(argc, argv); }
