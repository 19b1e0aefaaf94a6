// The solver object: one per problem, driving the sparse least-squares
// routine by reverse communication across the host's Solve calls.
//
// Names in the plug-in: data members carry m_ and mixed case (m_Count, m_Liw
// for LIW, m_ipJac); functions are CamelCase, plain accessors lower case
// (count()).
#pragma once

#include <cstdint>

#include "component.h"
#include "face_reference.h"
#include "message_formatter.h"
#include "problem_image.h"
#include "solve_driver.h"
#include "solver_settings.h"
#include "vorn/host_interfaces.h"

#include "pemric/ns23.h"

// Faces, in layout order: VornNumericNLASystem, Dalvex_Component,
// VornNumericSolverExtension; then the solver state. One reference count.
class Dalvex_NumericNLASystem final : public VornNumericNLASystem,
                                      public Dalvex_Component,
                                      public VornNumericSolverExtension {
 public:
  // Keeps the sink (borrowed), takes one reference to the problem's ESO and
  // one to the factory. Either may be missing: the ESO is then null and the
  // first Solve fails; a missing factory makes every parameter its fallback.
  // `routine` is the least-squares routine every Solve calls.
  Dalvex_NumericNLASystem(VornUnknown* problem,
                          VornMessageSink* sink,
                          VornFactoryNLASystem* factory,
                          dalvex::LeastSquaresRoutine routine = &NS23AD) noexcept;

  // A new solver, count 0, with its message buffer in place, so that no
  // message is lost for want of memory later: an out-of-memory report
  // itself needs the buffer. Null when the heap cannot hold either.
  static Dalvex_NumericNLASystem* Create(VornUnknown* problem,
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
  // "Status": the last IFLAG; "InJacobian": 1 when that IFLAG asks for a
  // difference Jacobian's evaluation, else 0. Exact, case-sensitive names;
  // anything else is kVornFailure.
  int32_t VORN_CALL GetInfo(const char* name, int32_t* value) noexcept override;

 private:
  // Destroyed in the reverse of the members' order: the driver first (it
  // ends the output stream's reservation), then the problem image (its
  // names go back to the host), the ESO's and the factory's references, and
  // the formatter's buffer last.
  ~Dalvex_NumericNLASystem() override = default;

  bool Verbose() const { return m_Settings.Verbose(); }

  // One Solve call: set-up on the first call (until it succeeds), a new
  // solve when asked, the five parameters re-read, then the driver's step.
  int32_t SolveOnce(int32_t start, int32_t* iterations);
  // Returns 0, an ESO status, or kVornFailure.
  int32_t SetUpProblem();

  dalvex::MessageFormatter m_Formatter;  // text to the host through the sink it borrows (may be null)
  dalvex::FaceReference<VornFactoryNLASystem> m_Factory;  // empty if the query failed
  dalvex::FaceReference<VornNumericESO> m_Eso;            // empty without an ESO face
  dalvex::SolverSettings m_Settings;     // parameter copies, read at set-up and each Solve
  dalvex::ProblemImage m_Problem;        // the problem as set-up read it
  dalvex::SolveDriver m_Driver;          // the least-squares routine's state across calls
  bool m_SetUp = false;                  // problem set-up has succeeded once
};
