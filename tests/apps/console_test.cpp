// The console of the command-line host: solver messages and the live
// progress line share one terminal line by line, and nothing is lost or run
// together when they interleave.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "console.h"

namespace dalvex_run {
namespace {

constexpr const char* kErase = "\r\033[K";

class ConsoleOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = std::tmpfile();
    ASSERT_NE(file_, nullptr);
  }
  void TearDown() override { std::fclose(file_); }
  std::string Text() {
    std::fflush(file_);
    std::rewind(file_);
    std::string s;
    for (int c; (c = std::fgetc(file_)) != EOF;) s.push_back(static_cast<char>(c));
    return s;
  }
  std::FILE* file_ = nullptr;
};

TEST_F(ConsoleOutput, MessageErasesTheProgressLineAndEndsCleanly) {
  Console console(file_, true);
  console.Progress("iter 1");
  console.Progress("iter 2");
  console.Print("NS23: done\n");
  console.Flush();
  console.EndLine();
  EXPECT_EQ(Text(), std::string(kErase) + "iter 1" + kErase + "iter 2" + kErase + "NS23: done\n");
}

// A message without a line end is completed before anything of ours follows,
// and never cut by a progress line.
TEST_F(ConsoleOutput, UnterminatedMessageIsCompletedFirst) {
  Console console(file_, true);
  console.Print("**FATAL - could not get Jacobian structure from ESO");
  console.Progress("iter 0");
  console.Write("Status x\n");
  EXPECT_EQ(Text(), std::string("**FATAL - could not get Jacobian structure from ESO\n") + kErase +
                        "iter 0" + kErase + "Status x\n");
}

// Without a terminal there is no progress line and no control characters.
TEST_F(ConsoleOutput, PlainOutputHasNoProgressLine) {
  Console console(file_, false);
  console.Progress("iter 1");
  console.Print("Dalvex_NumericNLASystem: AddRef 2");
  console.Print("Dalvex_NumericNLASystem: Release 1");
  console.EndLine();
  console.Write("Status converged\n");
  EXPECT_EQ(Text(),
            "Dalvex_NumericNLASystem: AddRef 2Dalvex_NumericNLASystem: Release 1\nStatus converged\n");
}

// A failure is told by the solver's error line, not by the verbose set-up
// texts before it, nor by the lines after it.
TEST_F(ConsoleOutput, MessageIsTheFirstErrorLine) {
  Console console(file_, false);
  console.MarkCall();
  console.Print("Get num equations\n");
  console.Print("NS23: Real workspace resized to 90\n");
  EXPECT_STREQ(console.Message(), "Get num equations");
  console.Print("NS23: could not allocate a real workspace of 90 entries\n");
  console.Print("*** Unable to initialize solver; something wrong with your ESO");
  EXPECT_STREQ(console.Message(), "NS23: could not allocate a real workspace of 90 entries");
  console.MarkCall();
  EXPECT_STREQ(console.Message(), "");
}

}  // namespace
}  // namespace dalvex_run
