// Scratch arrays that their user writes before it reads: allocated without
// the zero fill of std::vector, so that a page is first touched by the
// routine that uses it, and not at all when the routine never gets there
// (a forecast length larger than what a factorization fills).
//
// On 64-bit Linux a buffer of 512 KiB and more starts on a 2 MiB boundary
// and is advised as transparent huge pages over whole 2 MiB pages (its block
// is allocated up to 4 MiB longer; the slack before the start is never
// touched, the part of the last huge page past the end only when that page
// is mapped). One fault then maps 2 MiB where 4 KiB pages take 512 faults,
// each about as dear in a virtual machine, where faults took a quarter of
// the first solve of a large problem. A huge page's fault (2 MiB zeroed)
// costs there what some 15 small faults do, so from 512 KiB (128 small
// pages) the huge page is the cheaper, its unused part costing memory only.
// Where the kernel keeps huge pages for the processes that ask (the
// "madvise" setting) this is the asking; elsewhere the advice is ignored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <new>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace dalvex::internal {

// A length of cells summed in 64 bits, as a size_t: std::bad_alloc when it
// is none (a 32-bit build's sum of several arrays' lengths that wraps).
inline size_t CellCount(uint64_t cells) {
  if (cells > std::numeric_limits<size_t>::max()) throw std::bad_alloc();
  return static_cast<size_t>(cells);
}

template <class T>
class UninitializedBuffer {
 public:
  // `n` cells of unspecified contents; what was held is lost. Throws
  // std::bad_alloc when the memory cannot be had (the buffer then empty).
  void Resize(size_t n) {
    block_.reset();
    data_ = nullptr;
    size_ = 0;
    if (n > (std::numeric_limits<size_t>::max() - 2 * kHugePage) / sizeof(T)) {
      throw std::bad_alloc();
    }
    const size_t bytes = (n > 0 ? n : 1) * sizeof(T);
    const bool huge = kAdviseHugePages && bytes >= kHugePage / 4;
    // Huge: whole huge pages from a 2 MiB boundary, the slack before it
    // never touched.
    const size_t advised = huge ? (bytes + kHugePage - 1) / kHugePage * kHugePage : 0;
    block_.reset(std::malloc(huge ? advised + kHugePage : bytes));
    if (!block_) throw std::bad_alloc();
    char* start = static_cast<char*>(block_.get());
    if (huge) {
      start = AlignedUp(start);
      Advise(start, advised);
    }
    data_ = reinterpret_cast<T*>(start);
    size_ = n;
  }
  T* data() { return data_; }
  const T* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  static constexpr size_t kHugePage = size_t{2} << 20;
#ifdef __linux__
  static constexpr bool kAdviseHugePages = sizeof(void*) == 8;
  static void Advise(char* start, size_t bytes) {
    // Only advice: a kernel without transparent huge pages refuses it, and
    // the buffer then has small pages as any other.
    (void)madvise(start, bytes, MADV_HUGEPAGE);
  }
#else
  static constexpr bool kAdviseHugePages = false;
  static void Advise(char*, size_t) {}
#endif
  static char* AlignedUp(char* p) {
    const uintptr_t a = reinterpret_cast<uintptr_t>(p);
    return p + ((kHugePage - a % kHugePage) % kHugePage);
  }
  struct Free {
    void operator()(void* p) const { std::free(p); }
  };
  std::unique_ptr<void, Free> block_;
  T* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace dalvex::internal
