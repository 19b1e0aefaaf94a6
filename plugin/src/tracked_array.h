// Labelled work arrays owned by the solver and handed, by their first
// element, to the numeric routines (which index them from 1).
#pragma once

#include <cstdint>
#include <cstdlib>

#include "pemric/one_based.h"

namespace dalvex {

inline constexpr const char* kUnallocatedLabel = "Unallocated";

// data() is null or points at element 1 of count() elements; the allocation
// has one spare element before and one after them. label() names the array
// for diagnostics only. The array owns its storage: reallocation frees the
// old storage, and so does the array's end; it is never copied.
template <typename T>
class TrackedArray {
 public:
  TrackedArray() = default;
  ~TrackedArray() { Free(); }
  TrackedArray(const TrackedArray&) = delete;
  TrackedArray& operator=(const TrackedArray&) = delete;

  // Frees the current storage, then allocates n zero-filled elements (plus
  // the two spares) from the process heap; count and label follow. Old
  // contents are not kept. False, with the array left empty, for n < 0 or
  // when the heap is exhausted. The byte count is formed in 64 bits, so no
  // size wraps.
  bool Allocate(int32_t n, const char* label);
  // Frees the storage, if any, and leaves the array empty.
  void Free();

  T* data() { return m_Data; }
  const T* data() const { return m_Data; }
  int32_t count() const { return m_Count; }
  const char* label() const { return m_Label; }

  // Element k, counted from 1 as the numeric routines count, through their
  // one 1-based view.
  T& at(int32_t k) { return pemric::At(m_Data)(k); }
  const T& at(int32_t k) const { return pemric::At(static_cast<const T*>(m_Data))(k); }

 private:
  T* m_Data = nullptr;                      // null, or element 1 of m_Count, between the spares
  int32_t m_Count = 0;                      // 0 when m_Data is null
  const char* m_Label = kUnallocatedLabel;  // the last allocation's label, or "Unallocated"
};

template <typename T>
void TrackedArray<T>::Free() {
  if (m_Data != nullptr) std::free(m_Data - 1);
  m_Data = nullptr;
  m_Count = 0;
  m_Label = kUnallocatedLabel;
}

template <typename T>
bool TrackedArray<T>::Allocate(int32_t n, const char* label) {
  Free();
  if (n < 0) return false;
  const uint64_t elements = static_cast<uint64_t>(n) + 2;
  if (elements > SIZE_MAX / sizeof(T)) return false;
  void* storage = std::calloc(static_cast<std::size_t>(elements), sizeof(T));
  if (storage == nullptr) return false;
  m_Data = static_cast<T*>(storage) + 1;
  m_Count = n;
  m_Label = label;
  return true;
}

}  // namespace dalvex
