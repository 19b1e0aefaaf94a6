// Counts, and on request fails, the heap allocations of one thread.
//
// The program that links allocation_hook.cpp replaces malloc, calloc,
// realloc, free and the plain and nothrow forms of operator new and delete
// (the over-aligned forms end in the C library unnumbered). Programs on
// Linux bind each of these names to the executable's definition first, so
// the replacement also serves the plug-in module the host loads at run time,
// the services library, the C++ library's containers and strings on their
// behalf, and the C library's own allocations (an opened file's buffer).
// Each call forwards to the next definition in the process: the C
// library's, or under AddressSanitizer the sanitizer's, which therefore
// still tracks every block and finds leaks.
//
// While a thread is armed, every allocation it makes is numbered from 1;
// the one with the chosen number fails (null, or std::bad_alloc from a
// throwing operator new), and so may every later one, as when memory stays
// exhausted; each block still held is counted as live until it is freed,
// by any thread.
#pragma once

#include <cstdint>

namespace alloc_hook {

// Starts numbering this thread's allocations from 1. Allocation number
// `fail_at` fails, and with `persistent` every later one too; 0 fails none.
void Arm(uint64_t fail_at, bool persistent = false);
// Stops numbering and failing. Live blocks stay counted until freed.
void Disarm();

// Allocations numbered since Arm (the failed one included).
uint64_t Allocations();
// Blocks allocated by an armed thread and not yet freed, since the start.
int64_t LiveBlocks();
// The code that made allocation `number` (counted from 1 since Arm): the
// return address of the allocation function, so the caller of malloc or of
// operator new. Null beyond the first kCallersKept.
inline constexpr uint64_t kCallersKept = 8192;
const void* CallerOf(uint64_t number);

// Leaves this thread's allocations unnumbered while it lives: for the
// host's own bookkeeping inside a callback (a message sink that stores what
// it is given), which is not part of what is tested.
class Pause {
 public:
  Pause();
  ~Pause();
  Pause(const Pause&) = delete;
  Pause& operator=(const Pause&) = delete;

 private:
  bool was_armed_;
};

}  // namespace alloc_hook
