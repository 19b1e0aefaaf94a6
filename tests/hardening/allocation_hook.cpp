// The replacement allocation functions of allocation_hook.h. Compiled with
// -fno-builtin, so that the compiler does not turn the forwarding calls
// back into calls of the functions being defined, and without sanitizer
// instrumentation, since a sanitizer allocates through these functions
// while it starts, before its own memory is set up.
#include "allocation_hook.h"

#include <dlfcn.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

using MallocFn = void* (*)(std::size_t);
using CallocFn = void* (*)(std::size_t, std::size_t);
using ReallocFn = void* (*)(void*, std::size_t);
using FreeFn = void (*)(void*);

struct NextAllocator {
  MallocFn malloc = nullptr;
  CallocFn calloc = nullptr;
  ReallocFn realloc = nullptr;
  FreeFn free = nullptr;
};
NextAllocator g_next;

// Looking the next definitions up may itself allocate; those few blocks come
// from here and are never given back. The first allocation of the process
// happens before any second thread exists.
alignas(std::max_align_t) char g_boot[16384];
std::size_t g_boot_used = 0;
bool g_resolving = false;

void* BootAllocate(std::size_t bytes) {
  const std::size_t step = alignof(std::max_align_t);
  const std::size_t rounded = (bytes + step - 1) / step * step;
  if (rounded > sizeof g_boot - g_boot_used) return nullptr;
  void* block = g_boot + g_boot_used;
  g_boot_used += rounded;
  return block;
}

bool IsBoot(const void* p) {
  return p >= static_cast<const void*>(g_boot) && p < static_cast<const void*>(g_boot + sizeof g_boot);
}

// False while the lookup runs: the caller then serves from the boot area.
bool Resolved() {
  if (g_next.free != nullptr) return true;
  if (g_resolving) return false;
  g_resolving = true;
  NextAllocator next;
  next.malloc = reinterpret_cast<MallocFn>(dlsym(RTLD_NEXT, "malloc"));
  next.calloc = reinterpret_cast<CallocFn>(dlsym(RTLD_NEXT, "calloc"));
  next.realloc = reinterpret_cast<ReallocFn>(dlsym(RTLD_NEXT, "realloc"));
  next.free = reinterpret_cast<FreeFn>(dlsym(RTLD_NEXT, "free"));
  if (next.malloc == nullptr || next.calloc == nullptr || next.realloc == nullptr || next.free == nullptr) {
    std::fputs("allocation hook: the process has no allocator to forward to\n", stderr);
    std::abort();
  }
  g_next = next;
  g_resolving = false;
  return true;
}

// The numbering of the armed thread.
thread_local bool t_armed = false;
thread_local uint64_t t_count = 0;
thread_local uint64_t t_fail_at = 0;
thread_local bool t_persistent = false;
thread_local const void* t_callers[alloc_hook::kCallersKept];

// The BLAS library allocates scratch space of its own in some kernels and
// uses it without a check (OpenBLAS's small-matrix products), and its
// Fortran run-time library ends the process when its start-up allocations
// fail, so a failure there ends in those libraries whoever the caller is.
// Their calls are left unnumbered: calls from any library whose file name
// holds "blas" or "gfortran".
bool Holds(const char* text, const char* part) {
  for (const char* start = text; start != nullptr && *start != '\0'; ++start) {
    const char *t = start, *p = part;
    while (*p != '\0' && *t == *p) ++t, ++p;
    if (*p == '\0') return true;
  }
  return false;
}

// The verdicts of the callers seen last, by address: a call site calls
// again and again, and looking its library up is slow.
struct Verdict {
  const void* caller;
  bool blas;
};
thread_local Verdict t_verdicts[256];

bool FromBlas(const void* caller) {
  if (caller == nullptr) return false;
  Verdict& seen = t_verdicts[(reinterpret_cast<uintptr_t>(caller) >> 2) & 255];
  if (seen.caller == caller) return seen.blas;
  Dl_info info{};
  const bool blas = dladdr(caller, &info) != 0 && (Holds(info.dli_fname, "blas") || Holds(info.dli_fname, "gfortran"));
  seen = {caller, blas};
  return blas;
}

// True when this allocation is the one to fail.
bool NumberAndDecide(const void* caller = nullptr) {
  if (!t_armed || FromBlas(caller)) return false;
  ++t_count;
  if (t_count <= alloc_hook::kCallersKept) t_callers[t_count - 1] = caller;
  if (t_fail_at == 0 || t_count < t_fail_at || (t_count > t_fail_at && !t_persistent)) return false;
  errno = ENOMEM;  // as the C library's own functions report it
  return true;
}

// The blocks allocated while armed and not yet freed: an open-addressing
// set of addresses with linear probing and deletion by backward shift, in
// static storage (it must not allocate), behind a spin lock, since any
// thread may free a block.
constexpr unsigned kSlotBits = 18;
constexpr std::size_t kSlots = std::size_t{1} << kSlotBits;
uintptr_t g_slots[kSlots];
std::atomic<int64_t> g_live{0};
std::atomic_flag g_lock = ATOMIC_FLAG_INIT;

class SlotLock {
 public:
  SlotLock() {
    while (g_lock.test_and_set(std::memory_order_acquire)) {
    }
  }
  ~SlotLock() { g_lock.clear(std::memory_order_release); }
};

std::size_t Home(uintptr_t p) {
  return static_cast<std::size_t>((static_cast<uint64_t>(p) >> 4) * 0x9E3779B97F4A7C15ull >> (64 - kSlotBits));
}

void Track(void* block) {
  const uintptr_t p = reinterpret_cast<uintptr_t>(block);
  SlotLock hold;
  if (g_live.load(std::memory_order_relaxed) >= static_cast<int64_t>(kSlots / 4 * 3)) {
    std::fputs("allocation hook: too many live blocks to track\n", stderr);
    std::abort();
  }
  std::size_t i = Home(p);
  while (g_slots[i] != 0) i = (i + 1) & (kSlots - 1);
  g_slots[i] = p;
  g_live.fetch_add(1, std::memory_order_relaxed);
}

// True when `block` was tracked (and is no longer).
bool Untrack(void* block) {
  if (block == nullptr || g_live.load(std::memory_order_relaxed) == 0) return false;
  const uintptr_t p = reinterpret_cast<uintptr_t>(block);
  SlotLock hold;
  std::size_t i = Home(p);
  while (g_slots[i] != p) {
    if (g_slots[i] == 0) return false;
    i = (i + 1) & (kSlots - 1);
  }
  // Close the gap: move back each later entry of the run whose home slot
  // does not lie cyclically in (i, j].
  for (std::size_t j = (i + 1) & (kSlots - 1); g_slots[j] != 0; j = (j + 1) & (kSlots - 1)) {
    const std::size_t home = Home(g_slots[j]);
    const bool stays = i <= j ? (i < home && home <= j) : (i < home || home <= j);
    if (stays) continue;
    g_slots[i] = g_slots[j];
    i = j;
  }
  g_slots[i] = 0;
  g_live.fetch_sub(1, std::memory_order_relaxed);
  return true;
}

void* Allocated(void* block) {
  if (block != nullptr && t_armed) Track(block);
  return block;
}

void* Allocate(std::size_t bytes, const void* caller = nullptr) {
  if (!Resolved()) return BootAllocate(bytes);
  if (NumberAndDecide(caller)) return nullptr;
  return Allocated(g_next.malloc(bytes));
}

void Release(void* block) {
  if (block == nullptr || IsBoot(block)) return;
  Untrack(block);
  if (Resolved()) g_next.free(block);
}

}  // namespace

// Default visibility: the build hides every other symbol.
#define HOOK_EXPORT __attribute__((visibility("default")))

extern "C" {

HOOK_EXPORT void* malloc(std::size_t bytes) { return Allocate(bytes, __builtin_return_address(0)); }

HOOK_EXPORT void* calloc(std::size_t count, std::size_t size) {
  if (!Resolved()) {
    if (size != 0 && count > SIZE_MAX / size) return nullptr;
    return BootAllocate(count * size);  // static storage: already zero
  }
  if (NumberAndDecide(__builtin_return_address(0))) return nullptr;
  return Allocated(g_next.calloc(count, size));
}

HOOK_EXPORT void* realloc(void* block, std::size_t bytes) {
  if (block == nullptr) return Allocate(bytes, __builtin_return_address(0));
  if (!Resolved() || IsBoot(block)) {
    std::fputs("allocation hook: realloc of a block from the start-up area\n", stderr);
    std::abort();
  }
  if (bytes == 0) {
    Release(block);
    return nullptr;
  }
  if (NumberAndDecide(__builtin_return_address(0))) return nullptr;  // the old block stays as it was
  const bool tracked = Untrack(block);
  void* moved = g_next.realloc(block, bytes);
  if (moved == nullptr) {
    if (tracked) Track(block);
    return nullptr;
  }
  if (tracked || t_armed) Track(moved);
  return moved;
}

HOOK_EXPORT void free(void* block) { Release(block); }

}  // extern "C"

void* operator new(std::size_t bytes) {
  void* block = Allocate(bytes == 0 ? 1 : bytes, __builtin_return_address(0));
  if (block == nullptr) throw std::bad_alloc();
  return block;
}
void* operator new[](std::size_t bytes) {
  void* block = Allocate(bytes == 0 ? 1 : bytes, __builtin_return_address(0));
  if (block == nullptr) throw std::bad_alloc();
  return block;
}
void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept {
  return Allocate(bytes == 0 ? 1 : bytes, __builtin_return_address(0));
}
void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept {
  return Allocate(bytes == 0 ? 1 : bytes, __builtin_return_address(0));
}
void operator delete(void* block) noexcept { Release(block); }
void operator delete[](void* block) noexcept { Release(block); }
void operator delete(void* block, std::size_t) noexcept { Release(block); }
void operator delete[](void* block, std::size_t) noexcept { Release(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { Release(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { Release(block); }

namespace alloc_hook {

void Arm(uint64_t fail_at, bool persistent) {
  t_count = 0;
  t_fail_at = fail_at;
  t_persistent = persistent;
  t_armed = true;
}

void Disarm() { t_armed = false; }

uint64_t Allocations() { return t_count; }
int64_t LiveBlocks() { return g_live.load(std::memory_order_relaxed); }
const void* CallerOf(uint64_t number) {
  return number >= 1 && number <= kCallersKept && number <= t_count ? t_callers[number - 1] : nullptr;
}

Pause::Pause() : was_armed_(t_armed) { t_armed = false; }
Pause::~Pause() { t_armed = was_armed_; }

}  // namespace alloc_hook
