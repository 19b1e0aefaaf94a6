// How dalvex-run ends, each ending for real on a running tool: an interrupt
// by a signal while a long Solve call runs, a file-size limit that fails a
// file half-way, and standard output closed under it.  Files are written
// whole or not at all: an earlier file survives every early end, the
// history holds the evaluations so far, and the JSON says how the run ended.
// The interrupt waits for the tool's own heartbeat line, never for a time.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void Keep(const std::string& path) { std::ofstream(path, std::ios::binary) << "precious\n"; }

// No temporary file may be left beside the outputs.
void ExpectNoPartialFiles() {
  for (const auto& entry : fs::directory_iterator("."))
    EXPECT_EQ(entry.path().string().find(".partial"), std::string::npos) << entry.path();
}

// The tool started with its standard error (and, unless `closed_stdout`,
// its standard output) on pipes of ours; `limit` runs in the child first.
struct Tool {
  pid_t pid = -1;
  int err = -1;
  std::string stderr_text;

  Tool(const std::vector<std::string>& args, bool closed_stdout, void (*limit)() = nullptr) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(DALVEX_RUN_PROGRAM));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int err_pipe[2], out_pipe[2];
    if (pipe(err_pipe) != 0 || pipe(out_pipe) != 0) return;
    // A pipe whose reader is gone before the tool writes: EPIPE at once.
    close(out_pipe[0]);
    const int out = closed_stdout ? out_pipe[1] : open("/dev/null", O_WRONLY);
    pid = fork();
    if (pid == 0) {  // only calls that are safe after a fork
      if (limit) limit();
      dup2(out, 1);
      dup2(err_pipe[1], 2);
      execv(DALVEX_RUN_PROGRAM, argv.data());
      _exit(127);
    }
    close(err_pipe[1]);
    close(out_pipe[1]);
    if (!closed_stdout) close(out);
    err = err_pipe[0];
  }

  // Reads standard error until `marker` appears; false at its end without it.
  bool WaitFor(const std::string& marker) {
    char buf[4096];
    while (stderr_text.find(marker) == std::string::npos) {
      const ssize_t n = read(err, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      stderr_text.append(buf, static_cast<size_t>(n));
    }
    return true;
  }

  // The rest of standard error, then the wait status.
  int Finish() {
    WaitFor(std::string(1, '\0'));  // a marker never written: reads to the end
    close(err);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
  }
};

nlohmann::json Json(const std::string& path) { return nlohmann::json::parse(Read(path)); }

struct Interrupt {
  int signal;
  const char* name;
};

class Interrupted : public ::testing::TestWithParam<Interrupt> {};

// Interrupted while the first Solve call factorizes a large system, after
// the first evaluation: the history so far and the JSON are written, the
// earlier solution file is left as it was, and the tool ends by the signal.
TEST_P(Interrupted, WritesWhatIsKnownAndLeavesTheRest) {
  const Interrupt interrupt = GetParam();
  Keep("sol.csv");
  Tool tool({"-p", "bratu-2d", "-n", "700", "--csv", "sol.csv", "--history", "h.csv", "--json", "r.json",
             "--progress-every", "0.1"},
            false);
  ASSERT_GT(tool.pid, 0);
  // The heartbeat tells of the first evaluation while the call goes on.
  ASSERT_TRUE(tool.WaitFor("running for")) << tool.stderr_text;
  ASSERT_TRUE(tool.WaitFor("1 evaluation; Iter 0")) << tool.stderr_text;
  kill(tool.pid, interrupt.signal);
  const int status = tool.Finish();
  ASSERT_TRUE(WIFSIGNALED(status)) << tool.stderr_text;
  EXPECT_EQ(WTERMSIG(status), interrupt.signal);
  EXPECT_NE(tool.stderr_text.find(std::string("dalvex-run: interrupted by ") + interrupt.name + " in Solve call"),
            std::string::npos)
      << tool.stderr_text;

  EXPECT_EQ(Read("sol.csv"), "precious\n");
  const std::string history = Read("h.csv");
  EXPECT_EQ(history.rfind("iter,sum_of_squares,largest_abs_residual,tests_met,stopped_by,elapsed_seconds\r\n0,", 0),
            0u)
      << history;
  EXPECT_NE(history.find(",interrupted,"), std::string::npos) << history;
  const nlohmann::json doc = Json("r.json");
  EXPECT_EQ(doc["outcome"]["name"], "interrupted");
  EXPECT_EQ(doc["outcome"]["exit_status"], 128 + interrupt.signal);
  EXPECT_GE(doc["counts"]["evaluations"].get<int>(), 1);
  EXPECT_EQ(doc["files_written"], (nlohmann::json{{"history", "h.csv"}}));  // the solution untouched
  ExpectNoPartialFiles();
}

INSTANTIATE_TEST_SUITE_P(Signals, Interrupted,
                         ::testing::Values(Interrupt{SIGINT, "SIGINT"}, Interrupt{SIGTERM, "SIGTERM"}),
                         [](const auto& info) { return std::string(info.param.name); });

void LimitFileSize() {
  const rlimit limit{16384, 16384};
  setrlimit(RLIMIT_FSIZE, &limit);
}

// A solution file that cannot be written in full (here past a file-size
// limit) never replaces the earlier one; the JSON tells of the failure.
TEST(Endings, AFileThatFailsLeavesTheEarlierOne) {
  Keep("sol.csv");
  Tool tool({"-p", "bratu-2d", "-n", "64", "--set", "PrintLevel=0", "--csv", "sol.csv", "--json", "r.json"}, false,
            LimitFileSize);
  ASSERT_GT(tool.pid, 0);
  const int status = tool.Finish();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 3) << tool.stderr_text;
  EXPECT_NE(tool.stderr_text.find("dalvex-run: --csv: cannot write sol.csv: File too large"), std::string::npos)
      << tool.stderr_text;
  EXPECT_EQ(Read("sol.csv"), "precious\n");
  EXPECT_EQ(Json("r.json")["outcome"]["exit_status"], 3);
  ExpectNoPartialFiles();
}

// Standard output whose reader is gone ends with status 3, not SIGPIPE.
TEST(Endings, ClosedPipeIsAnErrorOfTheEnvironment) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--list"},
                                               std::vector<std::string>{"-p", "rosenbrock"}}) {
    Tool tool(args, true);
    ASSERT_GT(tool.pid, 0);
    const int status = tool.Finish();
    ASSERT_TRUE(WIFEXITED(status)) << args[0];
    EXPECT_EQ(WEXITSTATUS(status), 3) << args[0];
    EXPECT_NE(tool.stderr_text.find("dalvex-run: cannot write standard output: Broken pipe"), std::string::npos)
        << tool.stderr_text;
  }
}

}  // namespace
