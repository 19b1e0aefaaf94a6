#include "solver.h"

#include <cstring>
#include <new>

Dalvex_NumericNLASystem::Dalvex_NumericNLASystem(VornUnknown* problem,
                                                 VornMessageSink* sink,
                                                 VornFactoryNLASystem* factory,
                                                 dalvex::LeastSquaresRoutine routine) noexcept
    : m_Formatter(sink),
      m_Driver(routine != nullptr ? routine : &NS23AD, m_Formatter, m_Settings, m_Problem) {
  m_Eso.Query(problem, kIID_VornNumericESO);
  m_Factory.Query(factory, kIID_VornFactoryNLASystem);
}

Dalvex_NumericNLASystem* Dalvex_NumericNLASystem::Create(VornUnknown* problem,
                                                         VornMessageSink* sink,
                                                         VornFactoryNLASystem* factory) noexcept {
  auto* solver = new (std::nothrow) Dalvex_NumericNLASystem(problem, sink, factory);
  if (solver != nullptr && !solver->m_Formatter.Prepare()) {
    delete solver;
    return nullptr;
  }
  return solver;
}

int32_t VORN_CALL Dalvex_NumericNLASystem::QueryInterface(const VornGuid& id, void** out) noexcept {
  if (out == nullptr) return kVornNullPointer;
  void* face = nullptr;
  if (id == kIID_VornNumericNLASystem) {
    face = static_cast<VornNumericNLASystem*>(this);
    if (Verbose()) {
      m_Formatter.Format("Dalvex_NumericNLASystem: QueryInterface successful for VornNumericNLASystem\n");
    }
  } else if (id == kIID_VornNumericSolverExtension) {
    face = static_cast<VornNumericSolverExtension*>(this);
    if (Verbose()) {
      m_Formatter.Format(
          "Dalvex_NumericNLASystem: QueryInterface successful for VornNumericSolverExtension\n");
    }
  } else {
    if (Verbose()) m_Formatter.Format("Dalvex_NumericNLASystem: failed QueryInterface\n");
    return kVornNoInterface;
  }
  *out = face;
  AddRef();
  return kVornOk;
}

int32_t VORN_CALL Dalvex_NumericNLASystem::AddRef() noexcept {
  const int32_t count = Dalvex_Component::AddRef();
  if (Verbose()) m_Formatter.Format("Dalvex_NumericNLASystem: AddRef %d", count);
  return count;
}

int32_t VORN_CALL Dalvex_NumericNLASystem::Release() noexcept {
  if (Verbose()) m_Formatter.Format("Dalvex_NumericNLASystem: Release %d", reference_count() - 1);
  return Dalvex_Component::Release();  // may destroy *this: touch no member after it
}

int32_t VORN_CALL Dalvex_NumericNLASystem::SetInfo(const char* /*name*/,
                                                   int32_t /*kind*/,
                                                   void* /*value*/) noexcept {
  m_Formatter.Format("Warning!  SetInfo no implemented; action ignored\n");
  return kVornFailure;
}

int32_t VORN_CALL Dalvex_NumericNLASystem::GetInfo(const char* name, int32_t* value) noexcept {
  if (name != nullptr && value != nullptr) {
    if (std::strcmp(name, "Status") == 0) {
      *value = m_Driver.flag();
      return kVornOk;
    }
    if (std::strcmp(name, "InJacobian") == 0) {
      *value = m_Driver.flag() == NS23_EVALUATE_DIFFERENCE ? 1 : 0;
      return kVornOk;
    }
  }
  m_Formatter.Format("Unknown info string %s ignored\n", dalvex::OrEmpty(name));
  return kVornFailure;
}

int32_t VORN_CALL Dalvex_NumericNLASystem::Solve(int32_t start, int32_t* iterations) noexcept {
  try {
    return SolveOnce(start, iterations);
  } catch (...) {
    return kVornFailure;
  }
}

int32_t Dalvex_NumericNLASystem::SolveOnce(int32_t start, int32_t* iterations) {
  if (!m_Eso) {
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
  if (start == 0 || !m_Driver.started()) m_Driver.StartNewSolve();
  dalvex::ReadSolveSettings(m_Factory.get(), m_Formatter, m_Settings);
  return m_Driver.EvaluateAndIterate(*m_Eso.get(), iterations);
}

// The parameters, then the problem, then the routine's arrays and stream.
int32_t Dalvex_NumericNLASystem::SetUpProblem() {
  dalvex::ReadSetUpSettings(m_Factory.get(), m_Formatter, m_Settings);
  const int32_t status = m_Problem.SetUp(*m_Eso.get(), m_Settings, m_Formatter);
  return status == kVornOk ? m_Driver.SetUp() : status;
}
