// The driver of one solve: the least-squares routine's arrays and state
// between the host's Solve calls, and the steps of one call after set-up.
#pragma once

#include <cstdint>

#include "message_formatter.h"
#include "problem_image.h"
#include "solver_settings.h"
#include "tracked_array.h"
#include "vorn/host_interfaces.h"

#include "pemric/ns23.h"

namespace dalvex {

// The least-squares routine a driver calls: NS23AD, or in tests a stand-in
// that produces returns the real routine never gives.
using LeastSquaresRoutine = decltype(&NS23AD);

// An output stream reserved through the host services for the routine's
// printing. Its file is closed and the reservation ended when it goes, so
// that the next solver given the stream starts the file afresh.
class ReservedStream {
 public:
  ReservedStream() noexcept = default;
  ~ReservedStream();
  ReservedStream(const ReservedStream&) = delete;
  ReservedStream& operator=(const ReservedStream&) = delete;

  enum class Outcome { kReserved, kNoneFree, kOutOfMemory };

  // Searches streams 1..99 for a free one, reporting each it finds taken,
  // and makes the stream's entry in the registry, so that no record of it
  // later depends on free memory. kNoneFree, with a message, when none is
  // free; kOutOfMemory, with the stream given back and no message, when the
  // heap cannot hold the entry.
  Outcome Reserve(MessageFormatter& formatter);

  // The records go to the stream's file. When that file cannot be created,
  // or the device fills up, the records are dropped and the solve goes on
  // unchanged; the host is told once, so that a missing or truncated file
  // is not taken for a quiet run.
  void ReportLostOutput(MessageFormatter& formatter);

  int32_t unit() const { return m_Unit; }

 private:
  int32_t m_Unit = 0;           // the reserved stream; 0 when none
  bool m_LossReported = false;  // the host has been told that the stream lost records
};

// The host's repeated Solve calls are the outer loop of the solution; the
// routine's reverse communication is the inner one. Between calls the
// routine's whole state lives in this driver's workspaces and private arrays.
class SolveDriver {
 public:
  // Borrows what the routine is called on: the problem image and the
  // settings, which must outlive the driver.
  SolveDriver(LeastSquaresRoutine routine,
              MessageFormatter& formatter,
              SolverSettings& settings,
              ProblemImage& problem) noexcept;

  // Set-up of the routine's side: the workspaces at their first-guess
  // lengths (the routine may ask for more) and the control, information and
  // private arrays; then, when Iprint asks for printing, an output stream
  // (without one, Iprint becomes 0). Returns 0 or kVornFailure.
  int32_t SetUp();

  // Fresh controls for a new solve and IFLAG 1. The evaluation count goes on.
  void StartNewSolve();

  // One Solve call after its parameters are read: hands the point to the
  // ESO, evaluates, prints the reports that are due and calls the routine
  // until it asks for the next evaluation, finishes or fails. Returns 0, 1,
  // kVornFailure or the ESO's evaluation status (iterations then untouched).
  int32_t EvaluateAndIterate(VornNumericESO& eso, int32_t* iterations);

  bool started() const { return m_Started; }
  int32_t flag() const { return m_Flag; }

 private:
  // What the driver does once it has answered a request for more
  // workspace: call the routine again at once, within the same Solve call,
  // or give up, which fails the call. A type of its own, apart from the
  // host's result codes, so that the signal to loop can never reach the host.
  enum class Retry { kCallAgainNow, kGiveUp };

  void HandOverPoint(VornNumericESO& eso);
  int32_t EvaluateAtPoint(VornNumericESO& eso);
  int32_t IterateUntilEvaluation();
  void CallLeastSquares();
  int32_t ReactToFinish();
  Retry GrowWorkspace();
  Retry GrowIntegerWorkspace();
  Retry GrowRealWorkspace();
  int32_t ResidualTest();
  void PrintLeastSquaresDump();

  LeastSquaresRoutine m_Routine;  // never null
  MessageFormatter& m_Formatter;
  SolverSettings& m_Settings;
  ProblemImage& m_Problem;

  int32_t m_Liw = 0;       // LIW, the integer workspace's length = m_iw.count()
  int32_t m_Lw = 0;        // LW, the real workspace's length = m_w.count()
  int32_t m_Flag = 0;      // the routine's IFLAG cell; 0 until a solve starts
  int32_t m_Count = 0;     // evaluation requests answered, across all solves
  bool m_Started = false;  // a solve has been started (its controls and IFLAG are set)
  TrackedArray<int32_t> m_iw;      // integer workspace (LIW), untouched between calls
  TrackedArray<double> m_w;        // real workspace (LW), untouched between calls
  TrackedArray<int32_t> m_Icntl;   // controls (5), set at each start
  TrackedArray<double> m_Cntl;     // controls (10), set at each start
  TrackedArray<int32_t> m_Keep;    // private state (130), the sparse solver's arrays inside
  TrackedArray<int32_t> m_Lkeep;   // private logicals (10)
  TrackedArray<double> m_Rkeep;    // private state (72)
  TrackedArray<int32_t> m_Info;    // information (10) of the last call
  TrackedArray<double> m_Rinfo;    // information (5) of the last call
  ReservedStream m_Output;  // the routine's output stream, when printing is asked for
};

}  // namespace dalvex
