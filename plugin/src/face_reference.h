// One counted reference to a face of a host or plug-in object, released
// when the holder goes.
#pragma once

#include "vorn/host_interfaces.h"

namespace dalvex {

// Empty, or one reference to a face obtained by QueryInterface.
template <typename Face>
class FaceReference {
 public:
  FaceReference() noexcept = default;
  ~FaceReference() { Reset(); }
  FaceReference(const FaceReference&) = delete;
  FaceReference& operator=(const FaceReference&) = delete;

  // Asks `object` for the face `id` and keeps it with the reference the
  // query added. Stays empty for a null object or a refused query.
  void Query(VornUnknown* object, const VornGuid& id) noexcept {
    Reset();
    void* face = nullptr;
    if (object != nullptr && object->QueryInterface(id, &face) == kVornOk) {
      m_Face = static_cast<Face*>(face);
    }
  }

  // Releases the reference, if any.
  void Reset() noexcept {
    if (m_Face != nullptr) m_Face->Release();
    m_Face = nullptr;
  }

  Face* get() const { return m_Face; }
  Face* operator->() const { return m_Face; }
  explicit operator bool() const { return m_Face != nullptr; }

 private:
  Face* m_Face = nullptr;  // null, or a face holding one reference of ours
};

}  // namespace dalvex
