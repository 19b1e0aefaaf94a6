// The solver object: one per problem, driving the sparse least-squares
// routine by reverse communication across the host's Solve calls.
#pragma once

#include <cstdint>

#include "component.h"
#include "message_formatter.h"
#include "tracked_array.h"
#include "vorn/host_interfaces.h"

#include "pemric/ns23.h"

namespace dalvex {

// The least-squares routine that Solve calls: NS23AD. Tests replace it to
// produce returns the real routine never gives.
using LeastSquaresRoutine = decltype(&NS23AD);
extern LeastSquaresRoutine g_LeastSquaresRoutine;

}  // namespace dalvex

// Faces, in layout order: VornNumericNLASystem, Dalvex_Component,
// VornNumericSolverExtension; then the solver state. One reference count.
class Dalvex_NumericNLASystem final : public VornNumericNLASystem,
                                      public Dalvex_Component,
                                      public VornNumericSolverExtension {
 public:
  // Keeps the sink (borrowed), takes one reference to the problem's ESO and
  // one to the factory. Either may be missing: the ESO is then null and the
  // first Solve fails; a missing factory makes every parameter its fallback.
  Dalvex_NumericNLASystem(VornUnknown* problem,
                          VornMessageSink* sink,
                          VornFactoryNLASystem* factory) noexcept;

  // Answers only VornNumericNLASystem and VornNumericSolverExtension, on
  // every face. Null `out`: kVornNullPointer.
  int32_t VORN_CALL QueryInterface(const VornGuid& id, void** out) noexcept override;
  int32_t VORN_CALL AddRef() noexcept override;
  int32_t VORN_CALL Release() noexcept override;

  int32_t VORN_CALL Solve(int32_t start, int32_t* iterations) noexcept override;

  // Always refused: prints a warning and returns kVornFailure.
  int32_t VORN_CALL SetInfo(const char* name, int32_t kind, void* value) noexcept override;
  // "Status": the last IFLAG; "InJacobian": 1 when that IFLAG is 3, else 0.
  // Exact, case-sensitive names; anything else is kVornFailure.
  int32_t VORN_CALL GetInfo(const char* name, int32_t* value) noexcept override;

 private:
  ~Dalvex_NumericNLASystem() override;

  bool Verbose() const { return m_SeriouslyVerbose != 0; }

  // Parameter retrieval from the factory, with the fallback on any failure.
  int32_t RetrieveInteger(const char* name, int32_t fallback);
  double RetrieveReal(const char* name, double fallback);
  bool LookUpParameter(const char* name, int32_t* type, VornValueCell* cell);

  // Problem set-up, run inside Solve until it succeeds once. Returns 0, an
  // ESO status, or kVornFailure.
  int32_t SetUpProblem();
  void ReadSetUpParameters();
  int32_t ReadProblemSize();
  int32_t CheckProblemSize();
  int32_t AllocateVariableArrays();
  int32_t FetchNames();
  int32_t FetchNameList(bool equations);
  int32_t FetchValues();
  int32_t FetchBounds();
  int32_t FetchJacobianPattern();
  int32_t CompressJacobianPattern();
  int32_t AllocateEmptyExtraMatrix();
  int32_t AllocateNs23Arrays();
  void ReserveOutputStream();
  int32_t OutOfMemory();
  void FreeNames();
  void FreeTrackedArrays();

  // The Solve driver (solve_driver.cpp): one call evaluates at the current
  // point and runs the least-squares routine until it asks for the next
  // evaluation, finishes or fails.
  int32_t SolveOnce(int32_t start, int32_t* iterations);
  void StartNewSolve();
  void ReadSolveParameters();
  void HandOverPoint();
  int32_t EvaluateAtPoint();
  int32_t IterateUntilEvaluation();
  void CallLeastSquares();
  int32_t ReactToFinish();
  int32_t GrowWorkspace();
  int32_t GrowIntegerWorkspace();
  int32_t GrowRealWorkspace();
  int32_t ResidualTest();
  void ReportLostOutput();

  // Reports and dumps (diagnostics.cpp).
  void PrintIterationReports();
  void PrintObjectiveLine();
  void PrintVariableValues();
  void PrintResidualValues();
  void PrintJacobian();
  void PrintLeastSquaresDump();
  void PrintSparseSolverDump();
  void PrintControlAndInfoArrays(const int32_t* icntl,
                                 const double* cntl,
                                 const int32_t* info,
                                 const double* rinfo,
                                 int32_t rinfo_count,
                                 bool wide_info_index);

  dalvex::MessageFormatter m_Formatter;  // text to the host, through m_Sink
  VornNumericESO* m_Eso = nullptr;        // one reference owned; null without an ESO face
  VornMessageSink* m_Sink;                // borrowed, no reference; may be null
  VornFactoryNLASystem* m_Factory = nullptr;  // one reference owned; null if the query failed

  dalvex::TrackedArray<double> m_X;      // current variable values (NVars)
  dalvex::TrackedArray<double> m_Xold;   // values of the previous call (NVars)
  dalvex::TrackedArray<double> m_Resid;  // residuals (NEqs)
  int32_t m_NNz = 0;                     // Jacobian entries
  dalvex::TrackedArray<int32_t> m_irnJac;  // rows, column by column after compression (NNz)
  dalvex::TrackedArray<int32_t> m_jcnJac;  // columns in the ESO's order (NNz)
  dalvex::TrackedArray<int32_t> m_ipJac;   // column starts from 1 (max(NEqs, NVars) + 1)
  dalvex::TrackedArray<double> m_valJac;   // Jacobian values in column order (NNz)
  dalvex::TrackedArray<int32_t> m_typJac;  // the ESO's entry types, unused (NNz)
  dalvex::TrackedArray<int32_t> m_ipJacDummy;   // empty extra matrix: NVars + 1 ones
  dalvex::TrackedArray<int32_t> m_irnJacDummy;  // one entry, 1
  dalvex::TrackedArray<double> m_valJacDummy;   // one entry, 0.0
  int32_t m_LIW = 0;   // integer workspace length = m_iw.count
  int32_t m_LW = 0;    // real workspace length = m_w.count
  int32_t m_Flag = 0;  // the least-squares routine's IFLAG cell; 0 until a solve starts
  int32_t m_Iprint = 0;  // its print level; 0 when no output stream could be reserved
  dalvex::TrackedArray<int32_t> m_iw;
  dalvex::TrackedArray<double> m_w;
  dalvex::TrackedArray<int32_t> m_Icntl;
  dalvex::TrackedArray<double> m_Cntl;
  dalvex::TrackedArray<int32_t> m_Keep;
  dalvex::TrackedArray<int32_t> m_Lkeep;
  dalvex::TrackedArray<double> m_Rkeep;
  dalvex::TrackedArray<int32_t> m_Info;
  dalvex::TrackedArray<double> m_Rinfo;

  // Parameter copies, read at set-up (five of them again at every Solve).
  int32_t m_PrintInterval = 1;
  int32_t m_PrintLevel = 0;
  int32_t m_SeriouslyVerbose = 0;
  double m_Acc = 1.0e-4;
  double m_Sac = 1.0e-4;
  double m_Tol = 1.0e-4;
  double m_Hmax = 0.0;
  double m_Hmin = 0.0;
  double m_Epsf = 0.0;
  double m_Eps = 0.0;
  int32_t m_DiffScheme = 2;
  double m_RangeFrac = 1.0;
  double m_MaxVarStep = 50.0;
  double m_MinNonZero = 1.0e-5;
  double m_BoundsFrac = 1.0;
  double m_ClipThresh = 1.0e-6;
  int32_t m_MaxIters = 100;

  int32_t m_NEqs = 0;
  int32_t m_NVars = 0;
  int32_t m_Count = 0;     // evaluation requests answered, across all solves
  bool m_SetUp = false;    // problem set-up has succeeded once
  char** m_EquationNames = nullptr;  // m_NumEquationNames host texts (entries may be null)
  char** m_VariableNames = nullptr;  // m_NumVariableNames host texts (entries may be null)
  int32_t m_NumEquationNames = 0;
  int32_t m_NumVariableNames = 0;
  dalvex::TrackedArray<double> m_LowerBounds;  // NVars
  dalvex::TrackedArray<double> m_UpperBounds;  // NVars
  int32_t m_OutputUnit = 0;  // reserved output stream, released at destruction; 0 when none
  bool m_OutputLossReported = false;  // the host has been told that m_OutputUnit lost records
  bool m_Started = false;    // a solve has been started (its controls and IFLAG are set)
};
