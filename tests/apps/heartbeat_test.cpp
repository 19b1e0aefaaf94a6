// The heartbeat: its line says where the solve stands, and its thread prints
// while a Solve call runs, with no evaluation or call return to prompt it.
#include "heartbeat.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#define fdopen _fdopen
#define read _read
#define close _close
#else
#include <unistd.h>
#endif

namespace dalvex_run {
namespace {

TEST(Heartbeat, LineTellsTheCallTheTimesAndTheLatestEvaluation) {
  Tally::Figures f;
  f.started = true;
  f.calls = 3;
  f.in_call = true;
  f.seconds = 12.34;
  f.call_seconds = 8.06;
  EXPECT_EQ(HeartbeatLine(f, true), "12.3 s, Solve call 3 running for 8.1 s, no evaluation yet");
  f.evaluations = 2;
  f.sum_squares = 1234.5;
  f.largest = 4.5;
  f.in_call = false;
  EXPECT_EQ(HeartbeatLine(f, false),
            "12 s, Solve call 3 returned, 2 evaluations; Iter 1, sum of squares 1.23450e+03, largest |F| 4.500e+00");
}

// A call that never returns while the test looks: the line comes all the
// same.  The test reads a pipe until the first line ends, however long the
// loaded machine makes it wait.
TEST(Heartbeat, PrintsWhileOneCallRuns) {
  int fds[2];
#if defined(_WIN32)
  ASSERT_EQ(_pipe(fds, 4096, _O_BINARY), 0);
#else
  ASSERT_EQ(pipe(fds), 0);
#endif
  std::FILE* out = fdopen(fds[1], "wb");
  ASSERT_NE(out, nullptr);
  Tally tally;
  tally.CallBegins();
  std::string text;
  {
    const Heartbeat heartbeat(tally, out, nullptr, 0.1);
    char c = 0;
    while (c != '\n' && read(fds[0], &c, 1) == 1) text.push_back(c);
  }
  std::fclose(out);
  close(fds[0]);
  EXPECT_EQ(text.rfind("dalvex-run: ", 0), 0u) << text;
  EXPECT_NE(text.find(", Solve call 1 running for "), std::string::npos) << text;
}

}  // namespace
}  // namespace dalvex_run
