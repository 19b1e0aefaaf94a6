// The Solve driver. The host's repeated Solve calls are the outer loop of the
// solution; the least-squares routine's reverse communication is the inner
// one. Each call hands the current point to the ESO, has it evaluated (the
// residuals, and the Jacobian values too unless the routine differences
// numerically), and calls the routine until it asks for the next point,
// finishes or fails. Between calls the routine's whole state lives in the
// solver's workspaces and private arrays.
#include <cmath>
#include <cstdint>

#include "pemric/streams.h"
#include "solver.h"

namespace {

// Evaluation modes of EvaluateResiduals.
constexpr int32_t kResidualsAndJacobian = 14;
constexpr int32_t kResidualsOnly = 2;

// IFLAG values returned by the least-squares routine that the driver answers
// in its own way; every positive value asks for an evaluation at X.
constexpr int32_t kFinished = 0;              // acceptable sum of squares, or no further progress
constexpr int32_t kBudgetSpent = -1;          // more evaluations than MaxIters would be needed
constexpr int32_t kIntegerSpaceShort = -2;    // LIW too small for the analysis: INFO(4) needed so far
constexpr int32_t kSpaceShort = -3;           // LIW and/or LW too small: INFO(4), INFO(5) needed
constexpr int32_t kBadSizes = -4;             // NVars < 1 or NEqs < NVars
constexpr int32_t kFactorizationFailed = -9;  // shifted normal matrix failed ten factorizations
constexpr int32_t kStartFlag = 1;             // any value but 2..5 starts a new problem

// Result of IterateUntilEvaluation while the routine is still being called.
constexpr int32_t kCallAgainNow = INT32_MIN;

}  // namespace

namespace dalvex {
LeastSquaresRoutine g_LeastSquaresRoutine = &NS23AD;
}  // namespace dalvex

int32_t VORN_CALL Dalvex_NumericNLASystem::Solve(int32_t start, int32_t* iterations) noexcept {
  try {
    return SolveOnce(start, iterations);
  } catch (...) {
    return kVornFailure;
  }
}

int32_t Dalvex_NumericNLASystem::SolveOnce(int32_t start, int32_t* iterations) {
  if (m_Eso == nullptr) {
    m_Formatter.Format("Invalid ESO passed to solver\n");
    return kVornFailure;
  }
  if (!m_SetUp) {
    if (SetUpProblem() != kVornOk) {
      m_Formatter.Format("*** Unable to initialize solver; something wrong with your ESO");
      return kVornFailure;
    }
    m_SetUp = true;
  }
  // A continue call on an object that never started a solve finds the
  // controls and IFLAG unset; it starts one instead.
  if (start == 0 || !m_Started) StartNewSolve();
  ReadSolveParameters();
  HandOverPoint();
  const int32_t status = EvaluateAtPoint();
  if (status != kVornOk) return status;  // the next call repeats this point
  if (m_Count % (m_PrintInterval > 0 ? m_PrintInterval : 1) == 0) PrintIterationReports();
  const int32_t result = IterateUntilEvaluation();
  ReportLostOutput();
  if (iterations != nullptr) *iterations = m_Count;
  return result;
}

// Fresh controls for a new solve. m_Count is not reset: it counts the
// evaluation requests of every solve of this object.
void Dalvex_NumericNLASystem::StartNewSolve() {
  NS23SetDefaults(m_Icntl.data, m_Cntl.data, m_Keep.data, m_Rkeep.data, m_Lkeep.data);
  m_Icntl.at(1) = m_OutputUnit;  // 0 silences the routine
  m_Cntl.at(4) = m_Epsf;
  m_Cntl.at(5) = m_Hmin;
  m_Flag = kStartFlag;
  m_Started = true;
}

// The five parameters a host may change between calls.
void Dalvex_NumericNLASystem::ReadSolveParameters() {
  m_PrintLevel = RetrieveInteger("PrintLevel", 0);
  m_MaxIters = RetrieveInteger("MaxIters", 100);
  m_Acc = RetrieveReal("Acc", 1.0e-4);
  m_Sac = RetrieveReal("Sac", 1.0e-6);
  m_Tol = RetrieveReal("Tol", 1.0e-4);
}

// Reports the move since the previous call (when verbose), remembers the
// point and hands it to the ESO, whose answer is of no use here.
void Dalvex_NumericNLASystem::HandOverPoint() {
  for (int32_t i = 0; i < m_NVars; ++i) {
    if (Verbose()) m_Formatter.Format("Delta[%d] = %12.5g\n", i, m_X.data[i] - m_Xold.data[i]);
    m_Xold.data[i] = m_X.data[i];
  }
  m_Eso->SetVariableValues(0, m_X.data);
}

int32_t Dalvex_NumericNLASystem::EvaluateAtPoint() {
  if (m_Hmax == 0.0) {
    if (Verbose()) m_Formatter.Format(">>>CALLBACK  Residuals + Derivatives\n");
    return m_Eso->EvaluateResiduals(0, m_Resid.data, m_valJac.data, kResidualsAndJacobian);
  }
  if (Verbose()) m_Formatter.Format(">>>CALLBACK Residuals only\n");
  return m_Eso->EvaluateResiduals(0, m_Resid.data, m_valJac.data, kResidualsOnly);
}

// Calls the routine, enlarging its workspaces and calling again at once
// whenever it asks for more, until it requests an evaluation or ends.
int32_t Dalvex_NumericNLASystem::IterateUntilEvaluation() {
  for (;;) {
    CallLeastSquares();
    if (m_Flag > 0) {
      if (m_Count < INT32_MAX) ++m_Count;
      return ResidualTest();
    }
    const int32_t result =
        m_Flag == kIntegerSpaceShort || m_Flag == kSpaceShort ? GrowWorkspace() : ReactToFinish();
    if (result != kCallAgainNow) return result;
  }
}

void Dalvex_NumericNLASystem::CallLeastSquares() {
  dalvex::g_LeastSquaresRoutine(&m_NEqs, &m_NVars, &m_Sac, &m_Acc, &m_MaxIters, &m_Iprint, m_irnJac.data,
                                m_ipJac.data, m_valJacDummy.data, m_irnJacDummy.data, m_ipJacDummy.data,
                                &m_Hmax, &m_LIW, m_iw.data, &m_LW, m_w.data, m_X.data, m_Resid.data,
                                m_valJac.data, &m_Flag, m_Icntl.data, m_Cntl.data, m_Info.data, m_Rinfo.data,
                                m_Keep.data, m_Rkeep.data, m_Lkeep.data);
  if (Verbose()) {
    m_Formatter.Format("Returned from NS23 with flag = %d Marquardt Parameter = %12.5f\n", m_Flag,
                       m_Rinfo.at(1));
  }
}

// The end of a solve (IFLAG 0) or any failure other than a short workspace.
int32_t Dalvex_NumericNLASystem::ReactToFinish() {
  switch (m_Flag) {
    case kFinished:
      m_Formatter.Format("NS23: Reached acceptable value of sum-of-squares, or small change\n");
      return kVornOk;
    case kBudgetSpent:
      m_Formatter.Format("NS23:  Maximum Function Calls exceeded\n");
      return kVornFailure;
    case kBadSizes:
      m_Formatter.Format("NEqs = %d NVars = %d violates NEqs>=NVars>=1\n", m_NEqs, m_NVars);
      PrintLeastSquaresDump();
      return kVornFailure;
    case kFactorizationFailed:
      m_Formatter.Format("NS23:  FATAL ERROR:  could not solve linear equations\n");
      m_Formatter.Format(
          "MA57 returned the following diagnostic information; submit this info with your bug report\n");
      PrintSparseSolverDump();
      return kVornFailure;
    default:
      m_Formatter.Format("NS23: Unknown return code %d\n", m_Flag);
      PrintLeastSquaresDump();
      return kVornFailure;
  }
}

// A -2 or -3 return: enlarge what is short to the length asked for and call
// again, with IFLAG still negative, which restarts the problem from the
// current point. New workspace starts with unset contents; nothing is kept.
// A return that asks for no growth at all would repeat for ever, and a
// length the heap cannot supply leaves nothing to call with: both end the
// solve as a failure.
int32_t Dalvex_NumericNLASystem::GrowWorkspace() {
  const bool integer_short = m_LIW < m_Info.at(4);
  const bool real_short = m_Flag == kSpaceShort && m_LW < m_Info.at(5);
  if (!integer_short && !real_short) {
    m_Formatter.Format(
        "NS23: workspace return %d asks for no larger workspace (LIW = %d, %d needed; LW = %d, %d needed)\n",
        m_Flag, m_LIW, m_Info.at(4), m_LW, m_Info.at(5));
    return kVornFailure;
  }
  if (integer_short && GrowIntegerWorkspace() != kCallAgainNow) return kVornFailure;
  if (real_short && GrowRealWorkspace() != kCallAgainNow) return kVornFailure;
  return kCallAgainNow;
}

int32_t Dalvex_NumericNLASystem::GrowIntegerWorkspace() {
  const int32_t wanted = m_Info.at(4);
  if (Verbose()) {
    m_Formatter.Format("NS23: Integer workspace resized to %d\n", wanted);
    PrintLeastSquaresDump();
  }
  if (!dalvex::Allocate(m_iw, wanted, "Dalvex_NumericNLASystem.m_iw")) {
    m_LIW = 0;  // the array is empty now; a later start asks again
    m_Formatter.Format("NS23: could not allocate an integer workspace of %d entries\n", wanted);
    return kVornFailure;
  }
  m_LIW = wanted;
  return kCallAgainNow;
}

int32_t Dalvex_NumericNLASystem::GrowRealWorkspace() {
  const int32_t wanted = m_Info.at(5);
  if (Verbose()) {
    m_Formatter.Format("NS23: Real workspace resized to %d\n", wanted);
    PrintLeastSquaresDump();
  }
  if (!dalvex::Allocate(m_w, wanted, "Dalvex_NumericNLASystem.m_w")) {
    m_LW = 0;
    m_Formatter.Format("NS23: could not allocate a real workspace of %d entries\n", wanted);
    return kVornFailure;
  }
  m_LW = wanted;
  return kCallAgainNow;
}

// The driver's own convergence test on the residuals the routine left: the
// largest absolute residual strictly below Tol. A residual that is not a
// number can never pass, however small the others are.
int32_t Dalvex_NumericNLASystem::ResidualTest() {
  double largest = 0.0;
  for (int32_t i = 1; i <= m_NEqs; ++i) {
    const double size = std::fabs(m_Resid.at(i));
    if (std::isnan(size)) return kVornCallAgain;
    if (size > largest) largest = size;
  }
  if (!(largest < m_Tol)) return kVornCallAgain;
  m_Formatter.Format("NS23: Maximum absolute residual reached desired value\n");
  return kVornOk;
}

// The routine's records go to the reserved unit's file. When that file
// cannot be created, or the device fills up, the records are dropped and the
// solve goes on unchanged; the host is told once, so that a missing or
// truncated file is not taken for a quiet run.
void Dalvex_NumericNLASystem::ReportLostOutput() {
  if (m_OutputUnit <= 0 || m_OutputLossReported || !pemric::StreamLostOutput(m_OutputUnit)) return;
  m_OutputLossReported = true;
  m_Formatter.Format("Output to file fort%d failed; further output is suppressed\n", m_OutputUnit);
}
