#include "solver.h"

#include <cstdlib>
#include <cstring>

#include "pemric/streams.h"
#include "vorn/services.h"

Dalvex_NumericNLASystem::Dalvex_NumericNLASystem(VornUnknown* problem,
                                                 VornMessageSink* sink,
                                                 VornFactoryNLASystem* factory) noexcept
    : m_Formatter(sink), m_Sink(sink) {
  void* face = nullptr;
  if (problem != nullptr && problem->QueryInterface(kIID_VornNumericESO, &face) == kVornOk) {
    m_Eso = static_cast<VornNumericESO*>(face);
  }
  face = nullptr;
  if (factory != nullptr && factory->QueryInterface(kIID_VornFactoryNLASystem, &face) == kVornOk) {
    m_Factory = static_cast<VornFactoryNLASystem*>(face);
  }
}

Dalvex_NumericNLASystem::~Dalvex_NumericNLASystem() {
  if (m_OutputUnit > 0) {
    // Close the unit's file, so that the next solver given this unit starts
    // its file afresh instead of appending to ours.
    pemric::DetachStream(m_OutputUnit);
    VornServices::FreeFortranLogicalUnit(m_OutputUnit);
  }
  FreeNames();
  if (m_Eso != nullptr) m_Eso->Release();
  if (m_Factory != nullptr) m_Factory->Release();
  FreeTrackedArrays();
  // The formatter frees its buffer last, as a member.
}

void Dalvex_NumericNLASystem::FreeNames() {
  for (int32_t k = 0; k < m_NumEquationNames; ++k) VornServices::FreeString(m_EquationNames[k]);
  std::free(m_EquationNames);
  m_EquationNames = nullptr;
  m_NumEquationNames = 0;
  for (int32_t k = 0; k < m_NumVariableNames; ++k) VornServices::FreeString(m_VariableNames[k]);
  std::free(m_VariableNames);
  m_VariableNames = nullptr;
  m_NumVariableNames = 0;
}

// In the reverse of the members' order.
void Dalvex_NumericNLASystem::FreeTrackedArrays() {
  using dalvex::Free;
  Free(m_UpperBounds);
  Free(m_LowerBounds);
  Free(m_Rinfo);
  Free(m_Info);
  Free(m_Rkeep);
  Free(m_Lkeep);
  Free(m_Keep);
  Free(m_Cntl);
  Free(m_Icntl);
  Free(m_w);
  Free(m_iw);
  Free(m_valJacDummy);
  Free(m_irnJacDummy);
  Free(m_ipJacDummy);
  Free(m_typJac);
  Free(m_valJac);
  Free(m_ipJac);
  Free(m_jcnJac);
  Free(m_irnJac);
  Free(m_Resid);
  Free(m_Xold);
  Free(m_X);
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
      *value = m_Flag;
      return kVornOk;
    }
    if (std::strcmp(name, "InJacobian") == 0) {
      *value = m_Flag == 3 ? 1 : 0;
      return kVornOk;
    }
  }
  m_Formatter.Format("Unknown info string %s ignored\n", dalvex::OrEmpty(name));
  return kVornFailure;
}

// ---------------------------------------------------------------------------
// Parameter retrieval through the factory's parameter face.

bool Dalvex_NumericNLASystem::LookUpParameter(const char* name, int32_t* type, VornValueCell* cell) {
  void* face = nullptr;
  if (m_Factory == nullptr || m_Factory->QueryInterface(kIID_VornSolverParameters, &face) != kVornOk) {
    return false;
  }
  VornSolverParameters* parameters = static_cast<VornSolverParameters*>(face);
  const bool found = parameters->GetParameterValue(name, type, cell) == kVornOk;
  parameters->Release();
  return found;
}

int32_t Dalvex_NumericNLASystem::RetrieveInteger(const char* name, int32_t fallback) {
  if (Verbose()) m_Formatter.Format("Retrieving param (%s) from Factory [default %d]\n", name, fallback);
  int32_t type = -1;
  VornValueCell cell{};
  if (!LookUpParameter(name, &type, &cell) || type != kVornInteger) {
    if (type == kVornText) VornServices::FreeString(cell.text);
    m_Formatter.Format("Invalid param (%s) setting to default value %d\n", name, fallback);
    return fallback;
  }
  if (Verbose()) m_Formatter.Format("Successful; value is %d\n", cell.integer);
  return cell.integer;
}

double Dalvex_NumericNLASystem::RetrieveReal(const char* name, double fallback) {
  if (Verbose()) m_Formatter.Format("Retrieving param (%s) from Factory [default %e]\n", name, fallback);
  int32_t type = -1;
  VornValueCell cell{};
  if (!LookUpParameter(name, &type, &cell) || type != kVornReal) {
    if (type == kVornText) VornServices::FreeString(cell.text);
    m_Formatter.Format("Invalid param (%s) setting to default value %e\n", name, fallback);
    return fallback;
  }
  if (Verbose()) m_Formatter.Format("Successful; value is %e\n", cell.real);
  return cell.real;
}
