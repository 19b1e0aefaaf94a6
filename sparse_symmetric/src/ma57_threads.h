// The factorization's own threads. Every BLAS call of the factorization runs
// on one thread (the module's private one-thread BLAS, see cmake/Blas.cmake);
// a large front's updates are cut into tiles by a rule that depends only on
// the front's sizes, never on the thread count, and the tiles, like the
// loops of a large front that lie outside BLAS (clearing the front, adding
// the children's blocks, forming multipliers, copies), are shared among the
// threads. Each tile and each row is computed by the same operations in the
// same order whichever thread takes it, so factors and statistics are bitwise
// the same for any number of threads, and whatever else runs in the process.
//
// The thread count is DALVEX_NUM_THREADS, read once per process; unset, every
// core the process may run on. 1 keeps every factorization on its calling
// thread. A build whose BLAS may itself start threads, or is not known to be
// safe to call from several threads at once, always uses one.
#pragma once

#include <cstdint>

namespace pemric {
namespace ma57 {

// Rows from which a loop of a front is shared among the threads: below it,
// waking the helpers costs more than the loop.
constexpr int64_t kThreadedRows = 256;
// Helpers at most, whatever the setting asks.
constexpr int kMaxThreads = 64;

// The thread count of this process's factorizations (DALVEX_NUM_THREADS,
// else the cores available; 1 where the build has no threads).
int ConfiguredThreads();
// Parses a DALVEX_NUM_THREADS value: a whole number from 1 on (clamped to
// kMaxThreads), else `fallback`.
int ParseThreadCount(const char* text, int fallback);

using RowBody = void (*)(const void* body, int64_t i);

// Runs body(i) for i = 0 .. n-1 on the calling thread and up to team - 1
// helpers, and returns true; returns false, having run nothing, when team is
// 1 or another factorization is using the helpers. Called from inside an
// iteration of a shared loop, it shares the new loop with the helpers free
// to take it (false when another such inner loop is running).
bool RunSharedRows(int team, int64_t n, RowBody fn, const void* body);

// body(i) for i = 0 .. n-1, shared among `team` threads when `threaded`. The
// iterations must be independent of each other; which thread runs which never
// changes a result.
template <typename Body>
inline void ForRows(int team, int64_t n, bool threaded, const Body& body) {
  const RowBody call = [](const void* b, int64_t i) { (*static_cast<const Body*>(b))(i); };
  if (threaded && team > 1 && n > 1 && RunSharedRows(team, n, call, &body)) return;
  for (int64_t i = 0; i < n; ++i) body(i);
}

}  // namespace ma57
}  // namespace pemric
