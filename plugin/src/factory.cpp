#include "factory.h"

#include <cstring>
#include <new>

#include "host_text.h"
#include "message_formatter.h"
#include "solver.h"
#include "vorn/services.h"

using dalvex::ParameterRecord;

VornFactoryNLASystem* Dalvex_FactoryNLASystem::Create() noexcept {
  Dalvex_FactoryNLASystem* factory = new (std::nothrow) Dalvex_FactoryNLASystem();
  if (factory == nullptr) return nullptr;
  factory->AddRef();
  if (!factory->m_Parameters.Initialise() || factory->RegisterParameters() != kVornOk) {
    factory->Release();
    return nullptr;
  }
  return static_cast<VornFactoryNLASystem*>(factory);
}

int32_t VORN_CALL Dalvex_FactoryNLASystem::QueryInterface(const VornGuid& id, void** out) noexcept {
  if (out == nullptr) return kVornNullPointer;
  void* face = nullptr;
  if (id == kIID_VornFactoryNLASystem) {
    face = static_cast<VornFactoryNLASystem*>(this);
  } else if (id == kIID_VornSolverParameters) {
    face = static_cast<VornSolverParameters*>(this);
  } else if (id == kIID_VornUtilityComponent || id == kIID_IUnknown) {
    face = static_cast<VornUtilityComponent*>(this);
  } else {
    return kVornNoInterface;
  }
  *out = face;
  AddRef();
  return kVornOk;
}

int32_t VORN_CALL Dalvex_FactoryNLASystem::AddRef() noexcept { return Dalvex_Component::AddRef(); }
int32_t VORN_CALL Dalvex_FactoryNLASystem::Release() noexcept { return Dalvex_Component::Release(); }

int32_t VORN_CALL Dalvex_FactoryNLASystem::CreateNLASystem(VornUnknown* problem,
                                                           VornMessageSink* sink,
                                                           VornNumericNLASystem** out) noexcept {
  if (out == nullptr) return kVornFailure;
  Dalvex_NumericNLASystem* solver =
      Dalvex_NumericNLASystem::Create(problem, sink, static_cast<VornFactoryNLASystem*>(this));
  if (solver == nullptr) {
    *out = nullptr;
    return kVornFailure;
  }
  *out = static_cast<VornNumericNLASystem*>(solver);
  (*out)->AddRef();
  AnnounceComponent(problem, sink);
  return kVornOk;
}

// Tells the host which problem component the solver serves, when the problem
// has a VornUtilityComponent face and PrintLevel is positive.
void Dalvex_FactoryNLASystem::AnnounceComponent(VornUnknown* problem, VornMessageSink* sink) noexcept {
  void* face = nullptr;
  if (problem == nullptr || problem->QueryInterface(kIID_VornUtilityComponent, &face) != kVornOk ||
      face == nullptr) {
    dalvex::PrintToSink(sink, "VornUtilityComponent interface not implemented in problem\n");
    return;
  }
  VornUtilityComponent* component = static_cast<VornUtilityComponent*>(face);
  int32_t type = -1;
  VornValueCell cell{};
  if (GetParameterValue("PrintLevel", &type, &cell) == kVornOk && type == kVornInteger &&
      cell.integer > 0) {
    char* description = component->GetDescription();
    dalvex::PrintToSink(sink, "In solver DLL using component>> ");
    dalvex::PrintToSink(sink, description);
    dalvex::PrintToSink(sink, "\n");
    VornServices::FreeString(description);
  }
  component->Release();
}

int32_t VORN_CALL Dalvex_FactoryNLASystem::GetParameterCount() noexcept { return m_Parameters.count(); }

int32_t VORN_CALL Dalvex_FactoryNLASystem::GetParameterNames(char** names) noexcept {
  if (names == nullptr) return kVornFailure;
  for (int32_t k = 0; k < m_Parameters.count(); ++k) {
    names[k] = dalvex::CopyForHost(m_Parameters.at(k).name);
    if (names[k] != nullptr) continue;
    // The host cannot hold one more text: hand back none rather than a list
    // with a hole in it.
    for (int32_t made = 0; made < k; ++made) {
      VornServices::FreeString(names[made]);
      names[made] = nullptr;
    }
    return kVornFailure;
  }
  return kVornOk;
}

int32_t VORN_CALL Dalvex_FactoryNLASystem::GetParameterInfo(const char* name,
                                                            VornParameterInfo* info) noexcept {
  const ParameterRecord* record = m_Parameters.Find(name);
  if (record == nullptr) return kVornUnknownName;
  if (info == nullptr) return kVornFailure;
  // Copies for the host, all or none: nothing is written when the host
  // cannot hold one of them.
  VornParameterInfo copy = *record;
  copy.name = dalvex::CopyForHost(record->name);
  copy.description = dalvex::CopyForHost(record->description);
  bool complete = copy.name != nullptr && copy.description != nullptr;
  if (record->type == kVornText) {
    copy.values.text.value = dalvex::CopyForHost(record->values.text.value);
    copy.values.text.second = dalvex::CopyForHost(record->values.text.second);
    complete = complete && copy.values.text.value != nullptr && copy.values.text.second != nullptr;
  }
  if (!complete) {
    VornServices::FreeString(copy.name);
    VornServices::FreeString(copy.description);
    if (record->type == kVornText) {
      VornServices::FreeString(copy.values.text.value);
      VornServices::FreeString(copy.values.text.second);
    }
    return kVornFailure;
  }
  *info = copy;
  return kVornOk;
}

int32_t VORN_CALL Dalvex_FactoryNLASystem::GetParameterValue(const char* name,
                                                             int32_t* type,
                                                             VornValueCell* value) noexcept {
  const ParameterRecord* record = m_Parameters.Find(name);
  if (record == nullptr) return kVornUnknownName;
  if (type == nullptr || value == nullptr) return kVornFailure;
  *type = record->type;
  switch (record->type) {
    case kVornInteger:
      value->integer = record->values.integer.value;
      break;
    case kVornReal:
      value->real = record->values.real.value;
      break;
    default:
      value->text = dalvex::CopyForHost(record->values.text.value);
      if (value->text == nullptr) return kVornFailure;  // the host cannot hold the copy
      break;
  }
  return kVornOk;
}

// The record's own type decides how the cell is read; `type` is not consulted.
int32_t VORN_CALL Dalvex_FactoryNLASystem::SetParameterValue(const char* name,
                                                             int32_t /*type*/,
                                                             VornValueCell value) noexcept {
  ParameterRecord* record = m_Parameters.Find(name);
  if (record == nullptr) return kVornUnknownName;
  switch (record->type) {
    case kVornInteger: {
      // The first 4 bytes of the cell, whatever the host put there.
      int32_t candidate = 0;
      std::memcpy(&candidate, &value, sizeof candidate);
      auto& p = record->values.integer;
      if (!(p.lower <= candidate && candidate <= p.upper)) return kVornOutOfBounds;
      p.value = candidate;
      return kVornOk;
    }
    case kVornReal: {
      auto& p = record->values.real;
      if (!(p.lower <= value.real && value.real <= p.upper)) return kVornOutOfBounds;  // NaN too
      p.value = value.real;
      return kVornOk;
    }
    default:
      if (value.text == nullptr) return kVornFailure;
      return dalvex::ParameterTable::ReplaceText(*record, value.text) ? kVornOk : kVornFailure;
  }
}

int32_t VORN_CALL Dalvex_FactoryNLASystem::RegisterParameters() noexcept {
  return m_Parameters.RegisterSolverParameters() ? kVornOk : kVornFailure;
}
