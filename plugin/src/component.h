// The part every plug-in object embeds: its one reference count, its version
// text and its self-description (the VornUtilityComponent face).
#pragma once

#include <atomic>
#include <cstdint>

#include "vorn/host_interfaces.h"
#include "vorn/services.h"

class Dalvex_Component : public VornUtilityComponent {
 public:
  static constexpr const char* kName = "Sparse Levenberg-Marquardt Solver";
  static constexpr const char* kDescription =
      "Sparse Levenberg-Marquardt Solver using Pemric routine NS23AD";
  static constexpr const char* kModuleFile = "vorn_dalvex.dll";

  Dalvex_Component() noexcept;

  // Answers VornUtilityComponent and IUnknown with this face. Objects that
  // embed the component replace this rule with their own.
  int32_t VORN_CALL QueryInterface(const VornGuid& id, void** out) noexcept override;
  int32_t VORN_CALL AddRef() noexcept override;
  // At a count of 0, destroys the whole containing object (deleting
  // destructor) before returning 0.
  int32_t VORN_CALL Release() noexcept override;
  char* VORN_CALL GetVersion() noexcept override;
  char* VORN_CALL GetName() noexcept override;
  char* VORN_CALL GetDescription() noexcept override;

  virtual ~Dalvex_Component() = default;  // the deleting destructor, after the six face slots

  int32_t reference_count() const { return m_RefCount.load(std::memory_order_relaxed); }

 private:
  // The object's only count, shared by all its faces. Atomic, though each
  // object is called from one thread at a time: every solver queries its
  // factory's parameter face (a reference taken and given back) on each
  // Solve, so solvers of one factory running on different threads change
  // the factory's count at the same time.
  std::atomic<int32_t> m_RefCount{0};
  char m_Version[VornServices::kVersionTextSize] = {};  // always zero-terminated
};
