// The one way the numeric routines index a caller's array from 1, as their
// documented positions count: a view over the array's first cell.
//
//   OneBased<int32_t> info(INFO);
//   info(MA57_INFO_STATUS) = MA57_ERR_N;      // INFO(1), that is INFO[0]
//   Sort(keys.from(first), ...);              // the sub-array from KEEP(first)
//
// The view is a pointer and nothing more: a(k) compiles to the same load as
// a[k - 1], so it costs nothing in a kernel's inner loop. It never forms a
// pointer before the array's start (that would be undefined behaviour), and
// it checks no bounds; lengths are the routines' argument checks' business.
#pragma once

#include <cstdint>
#include <type_traits>

namespace pemric {

template <class T>
class OneBased {
 public:
  OneBased() = default;
  explicit OneBased(T* first) : first_(first) {}
  // A read-only view of the same cells.
  template <class U, class = std::enable_if_t<std::is_same_v<const U, T>>>
  OneBased(OneBased<U> cells) : first_(cells.data()) {}

  // The k-th cell, k counted from 1.
  T& operator()(int64_t k) const { return first_[k - 1]; }
  // The sub-array that starts at cell k (k may be one past the end), for a
  // routine that takes it as an array of its own.
  T* from(int64_t k) const { return first_ + (k - 1); }
  // The array itself, cell 1 first.
  T* data() const { return first_; }

 private:
  T* first_ = nullptr;
};

// The view of an array, with the element type deduced: At(info)(1).
template <class T>
OneBased<T> At(T* first) {
  return OneBased<T>(first);
}

}  // namespace pemric
