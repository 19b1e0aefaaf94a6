// The driver's answers to workspace requests, with the least-squares routine
// replaced by a script: returns the real routine never gives.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pemric/ns23.h"
#include "pemric/one_based.h"
#include "solver.h"
#include "vorn_host/message_sinks.h"
#include "vorn_host/reference_eso.h"

namespace {

// What the scripted routine saw on each call, and what it answers.
struct Script {
  struct Seen {
    int32_t iflag, liw, lw;
  };
  std::vector<Seen> seen;
  int32_t grow_integer = 0;  // extra integer cells asked for on the first call
  int32_t grow_real = 0;     // extra real cells asked for on the first call
  int32_t first_flag = -3;
};
Script* g_script = nullptr;

void ScriptedRoutine(const int32_t*,
                     const int32_t*,
                     const double*,
                     const double*,
                     const int32_t*,
                     const int32_t*,
                     const int32_t*,
                     int32_t*,
                     const double*,
                     const int32_t*,
                     const int32_t*,
                     const double*,
                     const int32_t* LIW,
                     int32_t* IW,
                     const int32_t* LW,
                     double* W,
                     double*,
                     double*,
                     double*,
                     int32_t* IFLAG,
                     const int32_t*,
                     const double*,
                     int32_t* INFO,
                     double* RINFO,
                     int32_t*,
                     double*,
                     int32_t*) {
  g_script->seen.push_back({*IFLAG, *LIW, *LW});
  IW[*LIW - 1] = 0;  // the whole workspace is there to touch
  W[*LW - 1] = 0.0;
  pemric::At(RINFO)(NS23_RINFO_MARQUARDT) = 0.0;
  if (g_script->seen.size() == 1) {
    *IFLAG = g_script->first_flag;
    const pemric::OneBased<int32_t> info(INFO);
    info(NS23_INFO_STATUS) = *IFLAG;
    info(NS23_INFO_LIW_NEEDED) = *LIW + g_script->grow_integer;
    info(NS23_INFO_LW_NEEDED) = *LW + g_script->grow_real;
  } else {
    *IFLAG = 5;
  }
}

class WorkspaceRequests : public ::testing::Test {
 protected:
  void SetUp() override {
    g_script = &script_;
    eso_ = vorn_host::ReferenceEso::Create(vorn_host::BroydenTridiagonal(3));
    solver_ = new Dalvex_NumericNLASystem(eso_->problem(), &sink_, nullptr, &ScriptedRoutine);
    Face()->AddRef();
  }
  void TearDown() override {
    EXPECT_EQ(Face()->Release(), 0);
    EXPECT_EQ(eso_->Release(), 0);
  }
  VornNumericNLASystem* Face() { return solver_; }
  int32_t Solve() {
    sink_.Clear();
    int32_t iterations = -1;
    return Face()->Solve(0, &iterations);
  }

  Script script_;
  vorn_host::RecordingSink sink_;
  vorn_host::ReferenceEso* eso_ = nullptr;
  Dalvex_NumericNLASystem* solver_ = nullptr;
};

// n = 3 tridiagonal: NNz = 7, first guesses LIW = 3 + 33 + 63 + 44 = 143, LW = 9 + 12 + 21 = 42.
TEST_F(WorkspaceRequests, ShortWorkspaceGrowsToTheLengthsAskedAndTheRoutineRestarts) {
  script_.grow_integer = 10;
  script_.grow_real = 20;
  EXPECT_EQ(Solve(), kVornCallAgain);
  ASSERT_EQ(script_.seen.size(), 2u);
  EXPECT_EQ(script_.seen[0].iflag, 1);
  EXPECT_EQ(script_.seen[0].liw, 143);
  EXPECT_EQ(script_.seen[0].lw, 42);
  EXPECT_EQ(script_.seen[1].iflag, -3) << "called again with the negative flag";
  EXPECT_EQ(script_.seen[1].liw, 153);
  EXPECT_EQ(script_.seen[1].lw, 62);
  EXPECT_EQ(eso_->evaluations(), 1);
}

TEST_F(WorkspaceRequests, RequestsForNoGrowthFailInsteadOfLooping) {
  struct Case {
    int32_t flag, grow_integer, grow_real;
    const char* message;
  };
  const Case cases[] = {
      {-2, 0, 50,
       "NS23: workspace return -2 asks for no larger workspace (LIW = 143, 143 needed; LW = 42, 92 "
       "needed)\n"},
      {-3, -1, 0,
       "NS23: workspace return -3 asks for no larger workspace (LIW = 143, 142 needed; LW = 42, 42 "
       "needed)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    script_ = Script{};
    script_.first_flag = c.flag;
    script_.grow_integer = c.grow_integer;
    script_.grow_real = c.grow_real;
    EXPECT_EQ(Solve(), kVornFailure);
    EXPECT_EQ(script_.seen.size(), 1u);
    ASSERT_FALSE(sink_.Prints().empty());
    EXPECT_EQ(sink_.Prints().back(), c.message);
  }
}

}  // namespace
