// The solver's copies of the factory's parameters, and how they are read:
// all of them at set-up, five again at every Solve call.
#pragma once

#include <cstdint>

#include "message_formatter.h"
#include "vorn/host_interfaces.h"

namespace dalvex {

// Fallbacks that differ from the parameter's registered default; every
// other read falls back to the default of kSolverParameters.
// PrintLevel (default 1): a solver that cannot read it prints no reports.
inline constexpr int32_t kPrintLevelFallback = 0;
// Sac as re-read at every Solve call; set-up falls back to the default 1.0e-4.
inline constexpr double kSolveSacFallback = 1.0e-6;

// Copies of the parameter values. All zero until set-up reads them, which
// gives a new solver SeriouslyVerbose, Iprint and Hmax 0.
struct SolverSettings {
  int32_t m_PrintInterval = 0;     // reports when the evaluation count is a multiple
  int32_t m_PrintLevel = 0;        // bits of the per-iteration reports; 16: name echo
  int32_t m_SeriouslyVerbose = 0;  // non-zero: debug messages throughout
  double m_Acc = 0.0;              // NS23AD's STPMIN
  double m_Sac = 0.0;              // NS23AD's SAC
  double m_Tol = 0.0;              // the driver's own test: largest |residual| < Tol
  double m_Hmax = 0.0;             // NS23AD's HMAX; > 0: residuals only, it differences
  double m_Hmin = 0.0;             // NS23AD's CNTL(5)
  double m_Epsf = 0.0;             // NS23AD's CNTL(4)
  // Read and kept, used by nothing: the difference scheme and its step
  // controls are NS23AD's own.
  double m_Eps = 0.0;
  int32_t m_DiffScheme = 0;
  double m_RangeFrac = 0.0;
  double m_MaxVarStep = 0.0;
  double m_MinNonZero = 0.0;
  double m_BoundsFrac = 0.0;
  double m_ClipThresh = 0.0;
  int32_t m_MaxIters = 0;  // NS23AD's MAXFUN
  int32_t m_Iprint = 0;    // NS23AD's IPRINT; set to 0 when no output stream is free

  bool Verbose() const { return m_SeriouslyVerbose != 0; }
};

// Each read asks the factory's parameter face for one value by name. A
// failed lookup, or a value of another type, prints "Invalid param ..." and
// gives the fallback; a null factory fails every lookup.

// All 18 parameters, in the order set-up reads them. SeriouslyVerbose comes
// first, so it governs the messages of the others.
void ReadSetUpSettings(VornFactoryNLASystem* factory, MessageFormatter& formatter, SolverSettings& settings);

// The five parameters a host may change between Solve calls: PrintLevel,
// MaxIters, Acc, Sac and Tol.
void ReadSolveSettings(VornFactoryNLASystem* factory, MessageFormatter& formatter, SolverSettings& settings);

}  // namespace dalvex
