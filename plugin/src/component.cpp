#include "component.h"

#include <cstring>

#include "host_text.h"
#include "vorn/services.h"

Dalvex_Component::Dalvex_Component() noexcept {
  // The services call takes no buffer length. Let it write into a generous
  // staging buffer and keep at most what our 12-byte field holds, so a
  // longer text cannot run over the members that follow.
  char staging[256] = {};
  VornServices::GetDLLVersionNumber(kModuleFile, staging);
  staging[sizeof staging - 1] = '\0';
  const std::size_t length = strnlen(staging, sizeof m_Version - 1);
  std::memcpy(m_Version, staging, length);
  m_Version[length] = '\0';
}

int32_t VORN_CALL Dalvex_Component::QueryInterface(const VornGuid& id, void** out) noexcept {
  if (out == nullptr) return kVornNullPointer;
  if (id != kIID_VornUtilityComponent && id != kIID_IUnknown) return kVornNoInterface;
  *out = static_cast<VornUtilityComponent*>(this);
  AddRef();
  return kVornOk;
}

int32_t VORN_CALL Dalvex_Component::AddRef() noexcept {
  return m_RefCount.fetch_add(1, std::memory_order_relaxed) + 1;
}

// The last release must see every change other threads made to the object
// before their own releases: acquire and release ordering.
int32_t VORN_CALL Dalvex_Component::Release() noexcept {
  const int32_t count = m_RefCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (count == 0) delete this;
  return count;
}

char* VORN_CALL Dalvex_Component::GetVersion() noexcept { return dalvex::CopyForHost(m_Version); }
char* VORN_CALL Dalvex_Component::GetName() noexcept { return dalvex::CopyForHost(kName); }
char* VORN_CALL Dalvex_Component::GetDescription() noexcept {
  return dalvex::CopyForHost(kDescription);
}
