// Labelled work arrays owned by the solver and handed, by their first
// element, to the numeric routines (which index them from 1).
#pragma once

#include <cstdint>
#include <cstdlib>

#include "pemric/one_based.h"

namespace dalvex {

inline constexpr const char* kUnallocatedLabel = "Unallocated";

// data is null or points at element 1 of `count` elements; the allocation
// has one spare element before and one after them. label names the array
// for diagnostics only. The array owns its storage: reallocation frees the
// old storage, and so does the array's end; it is never copied.
template <typename T>
struct TrackedArray {
  T* data = nullptr;
  int32_t count = 0;
  const char* label = kUnallocatedLabel;

  TrackedArray() = default;
  ~TrackedArray();
  TrackedArray(const TrackedArray&) = delete;
  TrackedArray& operator=(const TrackedArray&) = delete;

  // Element k, counted from 1 as the numeric routines count, through their
  // one 1-based view.
  T& at(int32_t k) { return pemric::At(data)(k); }
  const T& at(int32_t k) const { return pemric::At(static_cast<const T*>(data))(k); }
};

// Frees the storage, if any, and leaves the array empty.
template <typename T>
void Free(TrackedArray<T>& array) {
  if (array.data != nullptr) std::free(array.data - 1);
  array.data = nullptr;
  array.count = 0;
  array.label = kUnallocatedLabel;
}

template <typename T>
TrackedArray<T>::~TrackedArray() {
  Free(*this);
}

// Frees the current storage, then allocates n zero-filled elements (plus the
// two spares) from the process heap; count and label follow. Old contents
// are not kept. False, with the array left empty, for n < 0 or when the
// heap is exhausted. The byte count is formed in 64 bits, so no size wraps.
template <typename T>
bool Allocate(TrackedArray<T>& array, int32_t n, const char* label) {
  Free(array);
  if (n < 0) return false;
  const uint64_t elements = static_cast<uint64_t>(n) + 2;
  if (elements > SIZE_MAX / sizeof(T)) return false;
  void* storage = std::calloc(static_cast<std::size_t>(elements), sizeof(T));
  if (storage == nullptr) return false;
  array.data = static_cast<T*>(storage) + 1;
  array.count = n;
  array.label = label;
  return true;
}

}  // namespace dalvex
