// A view of contiguous elements that the caller owns: a pointer and a count,
// as std::span of C++20, for an interface that stays C++17. The C++ interface
// takes large arrays through it so that they are read or written where they
// lie, never copied on the way in (a NumPy array, a std::vector, a plain
// array).
#pragma once

#include <array>
#include <cstddef>
#include <type_traits>
#include <vector>

namespace dalvex {

template <class T>
class Span {
 public:
  using element_type = T;
  using value_type = std::remove_cv_t<T>;

  constexpr Span() noexcept = default;
  constexpr Span(T* data, std::size_t size) noexcept : data_(data), size_(size) {}
  // From a std::vector; a vector of const-less elements also makes a
  // Span<const T>.
  template <class U, class A, class = std::enable_if_t<std::is_convertible_v<U (*)[], T (*)[]>>>
  Span(std::vector<U, A>& v) noexcept : data_(v.data()), size_(v.size()) {}  // NOLINT
  template <class U,
            class A,
            class = std::enable_if_t<std::is_convertible_v<const U (*)[], T (*)[]>>>
  Span(const std::vector<U, A>& v) noexcept : data_(v.data()), size_(v.size()) {}  // NOLINT
  template <class U,
            std::size_t N,
            class = std::enable_if_t<std::is_convertible_v<U (*)[], T (*)[]>>>
  constexpr Span(std::array<U, N>& a) noexcept : data_(a.data()), size_(N) {}  // NOLINT
  template <class U,
            std::size_t N,
            class = std::enable_if_t<std::is_convertible_v<const U (*)[], T (*)[]>>>
  constexpr Span(const std::array<U, N>& a) noexcept : data_(a.data()), size_(N) {}  // NOLINT
  template <std::size_t N>
  constexpr Span(T (&a)[N]) noexcept : data_(a), size_(N) {}  // NOLINT
  // Span<T> to Span<const T>.
  template <class U, class = std::enable_if_t<std::is_convertible_v<U (*)[], T (*)[]>>>
  constexpr Span(Span<U> other) noexcept : data_(other.data()), size_(other.size()) {}  // NOLINT

  constexpr T* data() const noexcept { return data_; }
  constexpr std::size_t size() const noexcept { return size_; }
  constexpr bool empty() const noexcept { return size_ == 0; }
  constexpr T& operator[](std::size_t i) const noexcept { return data_[i]; }
  constexpr T* begin() const noexcept { return data_; }
  constexpr T* end() const noexcept { return data_ + size_; }
  // Elements [offset, offset + count).
  constexpr Span subspan(std::size_t offset, std::size_t count) const noexcept {
    return Span(data_ + offset, count);
  }

 private:
  T* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace dalvex
