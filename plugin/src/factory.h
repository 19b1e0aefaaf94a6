// The solver factory: creates one solver per problem and carries the
// parameter table the solvers read.
#pragma once

#include <cstdint>

#include "component.h"
#include "parameter_table.h"
#include "vorn/host_interfaces.h"

// Faces, in layout order: VornFactoryNLASystem, VornSolverParameters,
// Dalvex_Component; then the parameter table. One reference count for all.
class Dalvex_FactoryNLASystem final : public VornFactoryNLASystem,
                                      public VornSolverParameters,
                                      public Dalvex_Component {
 public:
  // Constructs a factory with its 18 parameters registered and one reference
  // held by the caller. Null when the heap is exhausted.
  static VornFactoryNLASystem* Create() noexcept;

  // One rule on every face: VornFactoryNLASystem -> main face,
  // VornSolverParameters -> parameter face, VornUtilityComponent and
  // IUnknown -> component face. Null `out`: kVornNullPointer.
  int32_t VORN_CALL QueryInterface(const VornGuid& id, void** out) noexcept override;
  int32_t VORN_CALL AddRef() noexcept override;
  int32_t VORN_CALL Release() noexcept override;

  int32_t VORN_CALL CreateNLASystem(VornUnknown* problem,
                                    VornMessageSink* sink,
                                    VornNumericNLASystem** out) noexcept override;

  int32_t VORN_CALL GetParameterCount() noexcept override;
  int32_t VORN_CALL GetParameterNames(char** names) noexcept override;
  int32_t VORN_CALL GetParameterInfo(const char* name, VornParameterInfo* info) noexcept override;
  int32_t VORN_CALL GetParameterValue(const char* name,
                                      int32_t* type,
                                      VornValueCell* value) noexcept override;
  int32_t VORN_CALL SetParameterValue(const char* name,
                                      int32_t type,
                                      VornValueCell value) noexcept override;
  int32_t VORN_CALL RegisterParameters() noexcept override;

 private:
  Dalvex_FactoryNLASystem() noexcept = default;
  ~Dalvex_FactoryNLASystem() override = default;

  void AnnounceComponent(VornUnknown* problem, VornMessageSink* sink) noexcept;

  dalvex::ParameterTable m_Parameters;  // registration order; first match wins
};
