// Scratch arrays that their user writes before it reads, for the routines'
// own workspace (never the caller's arrays): left unfilled, so that a page is
// first touched by the code that uses it.
//
// On 64-bit Linux an array of 1 MiB and more starts on a 2 MiB boundary and
// is advised as transparent huge pages over whole 2 MiB pages (its block is
// up to 4 MiB longer; the slack before the start is never touched). Such
// arrays are fresh memory in every call, and one fault then maps 2 MiB where
// 4 KiB pages take 512 faults, each dear in a virtual machine. Where the
// kernel gives huge pages only to those who ask (the "madvise" setting) this
// is the asking; where it gives none the advice is refused and nothing else
// changes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace pemric {

template <typename T>
class PagedArray {
 public:
  T* get() const { return data_; }
  T& operator[](int64_t i) const { return data_[i]; }
  int64_t size() const { return len_; }

  // A length of at least `want` cells that fills whole huge pages where
  // they are advised and `want` cells take 256 KiB or more (else `want`):
  // for an array that grows in stages, so that the stages share one block
  // and the block's pages are faulted 2 MiB at a time, not 4 KiB at a time
  // (64 and more small faults, each dearer than one huge page). The cells
  // past `want` are room only: untouched, they cost address space.
  static int64_t WholeHugePages(int64_t want) {
    constexpr int64_t kCells = static_cast<int64_t>(kHugePage / sizeof(T));
    if (!kAdviseHugePages || want < kCells / 8 || want > INT64_MAX - kCells) return want;
    return (want + kCells - 1) / kCells * kCells;
  }

  // Room for `want` cells, the earlier contents lost (and their memory given
  // back before the new is taken); false when the memory cannot be had or
  // the length cannot be addressed, the array then empty.
  bool Grow(int64_t want) {
    if (len_ >= want) return true;
    block_.reset();
    data_ = nullptr, len_ = 0;
    if (want < 0 || static_cast<uint64_t>(want) > (SIZE_MAX - 2 * kHugePage) / sizeof(T)) return false;
    const size_t bytes = static_cast<size_t>(want) * sizeof(T);
    const size_t huge = kAdviseHugePages && bytes >= kHugePage / 2
                            ? (bytes + kHugePage - 1) / kHugePage * kHugePage
                            : 0;
    block_.reset(std::malloc(huge > 0 ? huge + kHugePage : (bytes > 0 ? bytes : 1)));
    if (!block_) return false;
    char* start = static_cast<char*>(block_.get());
    if (huge > 0) {
      start += (kHugePage - reinterpret_cast<uintptr_t>(start) % kHugePage) % kHugePage;
      Advise(start, huge);
    }
    data_ = reinterpret_cast<T*>(start), len_ = want;
    return true;
  }

 private:
  static constexpr size_t kHugePage = size_t{2} << 20;
#if defined(__linux__) && UINTPTR_MAX > 0xFFFFFFFFu
  static constexpr bool kAdviseHugePages = true;
  static void Advise(char* start, size_t bytes) { (void)madvise(start, bytes, MADV_HUGEPAGE); }
#else
  static constexpr bool kAdviseHugePages = false;
  static void Advise(char*, size_t) {}
#endif
  struct Free {
    void operator()(void* p) const { std::free(p); }
  };
  std::unique_ptr<void, Free> block_;
  T* data_ = nullptr;
  int64_t len_ = 0;
};

}  // namespace pemric
