// The Solve driver. Each call hands the current point to the ESO, has it
// evaluated (the residuals, and the Jacobian values too unless the routine
// differences numerically), and calls the routine until it asks for the next
// point, finishes or fails.
#include "solve_driver.h"

#include <cmath>
#include <cstdint>

#include "diagnostics.h"
#include "workspace_sizes.h"
#include "vorn/services.h"

#include "pemric/streams.h"

namespace dalvex {

namespace {

// The routine's CNTL, INFO and RINFO are allocated longer than it reads and
// writes them; the NS23 dump shows five entries of each.
constexpr int32_t kCntlLength = 10;
constexpr int32_t kInfoLength = 10;
constexpr int32_t kRinfoLength = 5;
static_assert(kCntlLength >= NS23_LCNTL && kInfoLength >= NS23_LINFO && kRinfoLength >= NS23_LRINFO,
              "the routine's arrays fit");

// The workspaces' labels. Set-up allocates them under the solver's member
// names ("::"), a resize under names with a dot, so that the label tells
// whether the routine has asked for more than the first guess.
constexpr const char* kIntegerWorkspaceLabel = "Dalvex_NumericNLASystem::m_iw";
constexpr const char* kRealWorkspaceLabel = "Dalvex_NumericNLASystem::m_w";
constexpr const char* kGrownIntegerWorkspaceLabel = "Dalvex_NumericNLASystem.m_iw";
constexpr const char* kGrownRealWorkspaceLabel = "Dalvex_NumericNLASystem.m_w";

constexpr int32_t kLastUnit = 99;  // output streams 1..99 are searched

}  // namespace

ReservedStream::~ReservedStream() {
  if (m_Unit > 0) {
    pemric::DetachStream(m_Unit);
    VornServices::FreeFortranLogicalUnit(m_Unit);
  }
}

ReservedStream::Outcome ReservedStream::Reserve(MessageFormatter& formatter) {
  if (m_Unit > 0) return Outcome::kReserved;  // already holds one
  formatter.Format("Requested Fortran Output -- searching for available Fortran Logical Unit\n");
  for (int32_t unit = 1; unit <= kLastUnit; ++unit) {
    if (VornServices::ReserveFortranLogicalUnit(unit)) {
      if (!pemric::PrepareStream(unit)) {
        VornServices::FreeFortranLogicalUnit(unit);
        return Outcome::kOutOfMemory;
      }
      formatter.Format("Output will be produced on file:  fort%d\n", unit);
      m_Unit = unit;
      return Outcome::kReserved;
    }
    formatter.Format("Unit %d already used!\n", unit);
  }
  formatter.Format("No Fortran Logical Unit Available; requested output is suppressed\n");
  return Outcome::kNoneFree;
}

void ReservedStream::ReportLostOutput(MessageFormatter& formatter) {
  if (m_Unit <= 0 || m_LossReported || !pemric::StreamLostOutput(m_Unit)) return;
  m_LossReported = true;
  formatter.Format("Output to file fort%d failed; further output is suppressed\n", m_Unit);
}

SolveDriver::SolveDriver(LeastSquaresRoutine routine,
                         MessageFormatter& formatter,
                         SolverSettings& settings,
                         ProblemImage& problem) noexcept
    : m_Routine(routine), m_Formatter(formatter), m_Settings(settings), m_Problem(problem) {}

int32_t SolveDriver::SetUp() {
  // Sizes already checked against 32 bits by the problem's set-up.
  const WorkspaceSizes sizes = SizesFor(m_Problem.m_NEqs, m_Problem.m_NVars, m_Problem.m_NNz);
  m_Liw = static_cast<int32_t>(sizes.m_Liw);
  m_Lw = static_cast<int32_t>(sizes.m_Lw);
  const bool ok = m_iw.Allocate(m_Liw, kIntegerWorkspaceLabel) && m_w.Allocate(m_Lw, kRealWorkspaceLabel) &&
                  m_Cntl.Allocate(kCntlLength, "Dalvex_NumericNLASystem::m_Cntl") &&
                  m_Icntl.Allocate(NS23_LICNTL, "Dalvex_NumericNLASystem::m_Icntl") &&
                  m_Info.Allocate(kInfoLength, "Dalvex_NumericNLASystem::m_Info") &&
                  m_Rinfo.Allocate(kRinfoLength, "Dalvex_NumericNLASystem::m_Rinfo") &&
                  m_Keep.Allocate(NS23_LKEEP, "Dalvex_NumericNLASystem::m_Keep") &&
                  m_Rkeep.Allocate(NS23_LRKEEP, "Dalvex_NumericNLASystem::m_Rkeep") &&
                  m_Lkeep.Allocate(NS23_LLKEEP, "Dalvex_NumericNLASystem::m_Lkeep");
  const ReservedStream::Outcome output =
      ok && m_Settings.m_Iprint != 0 ? m_Output.Reserve(m_Formatter) : ReservedStream::Outcome::kReserved;
  if (!ok || output == ReservedStream::Outcome::kOutOfMemory) {
    m_Formatter.Format("**FATAL - out of memory while setting up the problem\n");
    return kVornFailure;
  }
  if (output == ReservedStream::Outcome::kNoneFree) m_Settings.m_Iprint = 0;
  return kVornOk;
}

void SolveDriver::StartNewSolve() {
  NS23SetDefaults(m_Icntl.data(), m_Cntl.data(), m_Keep.data(), m_Rkeep.data(), m_Lkeep.data());
  m_Icntl.at(NS23_ICNTL_STREAM) = m_Output.unit();  // 0 silences the routine
  m_Cntl.at(NS23_CNTL_RESIDUAL_ERROR) = m_Settings.m_Epsf;
  m_Cntl.at(NS23_CNTL_INITIAL_STEP) = m_Settings.m_Hmin;
  m_Flag = NS23_START;
  m_Started = true;
}

int32_t SolveDriver::EvaluateAndIterate(VornNumericESO& eso, int32_t* iterations) {
  HandOverPoint(eso);
  const int32_t status = EvaluateAtPoint(eso);
  if (status != kVornOk) return status;  // the next call repeats this point
  const int32_t interval = m_Settings.m_PrintInterval > 0 ? m_Settings.m_PrintInterval : 1;
  if (m_Count % interval == 0) PrintIterationReports(m_Formatter, m_Problem, m_Settings.m_PrintLevel, m_Count);
  const int32_t result = IterateUntilEvaluation();
  m_Output.ReportLostOutput(m_Formatter);
  if (iterations != nullptr) *iterations = m_Count;
  return result;
}

// Reports the move since the previous call (when verbose), remembers the
// point and hands it to the ESO, whose answer is of no use here.
void SolveDriver::HandOverPoint(VornNumericESO& eso) {
  const double* x = m_Problem.m_X.data();
  double* xold = m_Problem.m_Xold.data();
  for (int32_t i = 0; i < m_Problem.m_NVars; ++i) {
    if (m_Settings.Verbose()) m_Formatter.Format("Delta[%d] = %12.5g\n", i, x[i] - xold[i]);
    xold[i] = x[i];
  }
  eso.SetVariableValues(kVornVariableSet, m_Problem.m_X.data());
}

int32_t SolveDriver::EvaluateAtPoint(VornNumericESO& eso) {
  ProblemImage& p = m_Problem;
  if (m_Settings.m_Hmax == 0.0) {
    if (m_Settings.Verbose()) m_Formatter.Format(">>>CALLBACK  Residuals + Derivatives\n");
    return eso.EvaluateResiduals(kVornVariableSet, p.m_Resid.data(), p.m_valJac.data(),
                                 kVornResidualsAndJacobian);
  }
  if (m_Settings.Verbose()) m_Formatter.Format(">>>CALLBACK Residuals only\n");
  return eso.EvaluateResiduals(kVornVariableSet, p.m_Resid.data(), p.m_valJac.data(), kVornResidualsOnly);
}

// Calls the routine, enlarging its workspaces and calling again at once
// whenever it asks for more, until it requests an evaluation or ends.
int32_t SolveDriver::IterateUntilEvaluation() {
  for (;;) {
    CallLeastSquares();
    if (m_Flag > 0) {
      if (m_Count < INT32_MAX) ++m_Count;
      return ResidualTest();
    }
    if (m_Flag != NS23_ERR_LIW && m_Flag != NS23_ERR_WORKSPACE) return ReactToFinish();
    if (GrowWorkspace() == Retry::kGiveUp) return kVornFailure;
  }
}

void SolveDriver::CallLeastSquares() {
  ProblemImage& p = m_Problem;
  SolverSettings& s = m_Settings;
  m_Routine(&p.m_NEqs, &p.m_NVars, &s.m_Sac, &s.m_Acc, &s.m_MaxIters, &s.m_Iprint, p.m_irnJac.data(),
            p.m_ipJac.data(), p.m_valJacDummy.data(), p.m_irnJacDummy.data(), p.m_ipJacDummy.data(),
            &s.m_Hmax, &m_Liw, m_iw.data(), &m_Lw, m_w.data(), p.m_X.data(), p.m_Resid.data(),
            p.m_valJac.data(), &m_Flag, m_Icntl.data(), m_Cntl.data(), m_Info.data(), m_Rinfo.data(),
            m_Keep.data(), m_Rkeep.data(), m_Lkeep.data());
  if (s.Verbose()) {
    m_Formatter.Format("Returned from NS23 with flag = %d Marquardt Parameter = %12.5f\n", m_Flag,
                       m_Rinfo.at(NS23_RINFO_MARQUARDT));
  }
}

// The end of a solve (NS23_FINISHED) or any failure other than a short
// workspace.
int32_t SolveDriver::ReactToFinish() {
  switch (m_Flag) {
    case NS23_FINISHED:
      m_Formatter.Format("NS23: Reached acceptable value of sum-of-squares, or small change\n");
      return kVornOk;
    case NS23_ERR_MAXFUN:
      m_Formatter.Format("NS23:  Maximum Function Calls exceeded\n");
      return kVornFailure;
    case NS23_ERR_SIZES:
      m_Formatter.Format("NEqs = %d NVars = %d violates NEqs>=NVars>=1\n", m_Problem.m_NEqs, m_Problem.m_NVars);
      PrintLeastSquaresDump();
      return kVornFailure;
    case NS23_ERR_FACTORIZATION:
      m_Formatter.Format("NS23:  FATAL ERROR:  could not solve linear equations\n");
      m_Formatter.Format(
          "MA57 returned the following diagnostic information; submit this info with your bug report\n");
      PrintSparseSolverDump(m_Formatter, m_Keep.data(), m_Rkeep.data());
      return kVornFailure;
    default:
      m_Formatter.Format("NS23: Unknown return code %d\n", m_Flag);
      PrintLeastSquaresDump();
      return kVornFailure;
  }
}

// A short workspace (NS23_ERR_LIW, NS23_ERR_WORKSPACE): enlarge what is
// short to the length asked for and call again, with IFLAG still negative,
// which restarts the problem from the current point. New workspace starts
// with unset contents; nothing is kept. A return that asks for no growth at
// all would repeat for ever, and a length the heap cannot supply leaves
// nothing to call with: both end the solve as a failure.
SolveDriver::Retry SolveDriver::GrowWorkspace() {
  const int32_t liw_needed = m_Info.at(NS23_INFO_LIW_NEEDED);
  const int32_t lw_needed = m_Info.at(NS23_INFO_LW_NEEDED);
  const bool integer_short = m_Liw < liw_needed;
  const bool real_short = m_Flag == NS23_ERR_WORKSPACE && m_Lw < lw_needed;
  if (!integer_short && !real_short) {
    m_Formatter.Format(
        "NS23: workspace return %d asks for no larger workspace (LIW = %d, %d needed; LW = %d, %d needed)\n",
        m_Flag, m_Liw, liw_needed, m_Lw, lw_needed);
    return Retry::kGiveUp;
  }
  if (integer_short && GrowIntegerWorkspace() == Retry::kGiveUp) return Retry::kGiveUp;
  if (real_short && GrowRealWorkspace() == Retry::kGiveUp) return Retry::kGiveUp;
  return Retry::kCallAgainNow;
}

SolveDriver::Retry SolveDriver::GrowIntegerWorkspace() {
  const int32_t wanted = m_Info.at(NS23_INFO_LIW_NEEDED);
  if (m_Settings.Verbose()) {
    m_Formatter.Format("NS23: Integer workspace resized to %d\n", wanted);
    PrintLeastSquaresDump();
  }
  if (!m_iw.Allocate(wanted, kGrownIntegerWorkspaceLabel)) {
    m_Liw = 0;  // the array is empty now; a later start asks again
    m_Formatter.Format("NS23: could not allocate an integer workspace of %d entries\n", wanted);
    return Retry::kGiveUp;
  }
  m_Liw = wanted;
  return Retry::kCallAgainNow;
}

SolveDriver::Retry SolveDriver::GrowRealWorkspace() {
  const int32_t wanted = m_Info.at(NS23_INFO_LW_NEEDED);
  if (m_Settings.Verbose()) {
    m_Formatter.Format("NS23: Real workspace resized to %d\n", wanted);
    PrintLeastSquaresDump();
  }
  if (!m_w.Allocate(wanted, kGrownRealWorkspaceLabel)) {
    m_Lw = 0;
    m_Formatter.Format("NS23: could not allocate a real workspace of %d entries\n", wanted);
    return Retry::kGiveUp;
  }
  m_Lw = wanted;
  return Retry::kCallAgainNow;
}

// The driver's own convergence test on the residuals the routine left: the
// largest absolute residual strictly below Tol. A residual that is not a
// number can never pass, however small the others are.
int32_t SolveDriver::ResidualTest() {
  double largest = 0.0;
  for (int32_t i = 1; i <= m_Problem.m_NEqs; ++i) {
    const double size = std::fabs(m_Problem.m_Resid.at(i));
    if (std::isnan(size)) return kVornCallAgain;
    if (size > largest) largest = size;
  }
  if (!(largest < m_Settings.m_Tol)) return kVornCallAgain;
  m_Formatter.Format("NS23: Maximum absolute residual reached desired value\n");
  return kVornOk;
}

void SolveDriver::PrintLeastSquaresDump() {
  dalvex::PrintLeastSquaresDump(m_Formatter, m_Icntl.data(), m_Cntl.data(), m_Info.data(), m_Rinfo.data());
}

}  // namespace dalvex
