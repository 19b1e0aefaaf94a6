// The factorization's own threads, for the work of large fronts that lies
// outside BLAS: clearing the front, adding the children's blocks, forming the
// multipliers of the contribution block and copying factors and blocks out of
// the front. Done by the calling thread alone, that work leaves the other
// cores idle between the threaded DGEMM calls.
//
// Each shared loop splits rows (or tiles) whose entries no other iteration
// touches, and every entry is formed by the same operations in the same order
// as on one thread, so the factors are bitwise the same for any thread count.
// The factorization uses as many threads as BLAS (openblas_get_num_threads,
// so OPENBLAS_NUM_THREADS or openblas_set_num_threads set both); with a BLAS
// that does not say, or in a build without threads, it uses one. With an
// OpenMP build of OpenBLAS they are the OpenMP runtime's threads, BLAS's own;
// otherwise helpers that the factorization starts.
#pragma once

#include <cstdint>

namespace pemric {
namespace ma57 {

// Rows from which a loop of a front is shared among the threads: below it,
// waking the helpers costs more than the loop.
constexpr int64_t kThreadedRows = 256;

// Threads to use, if above 0, whatever BLAS says; only tests set it, to
// compare thread counts.
inline int front_threads = 0;

// Which threads run the shared loops; only tests change it, to cover both.
enum class FrontPool : int32_t {
  kAuto,    // the OpenMP runtime's when BLAS runs on it, else our own helpers
  kOwn,     // always our own helpers
  kOpenMp,  // the OpenMP runtime's whenever one is loaded
};
inline FrontPool front_pool = FrontPool::kAuto;
// Whether an OpenMP runtime is loaded for the shared loops to use.
bool OpenMpRuntimeLoaded();

using RowBody = void (*)(const void* body, int64_t i);

// Runs body(i) for i = 0 .. n-1 on the calling thread and the helpers, and
// returns true; returns false, having run nothing, when there is only one
// thread or another factorization is using the helpers.
bool RunSharedRows(int64_t n, RowBody fn, const void* body);

// body(i) for i = 0 .. n-1, shared among the threads when `threaded`. The
// iterations must be independent of each other.
template <typename Body>
inline void ForRows(int64_t n, bool threaded, const Body& body) {
  const RowBody call = [](const void* b, int64_t i) { (*static_cast<const Body*>(b))(i); };
  if (threaded && RunSharedRows(n, call, &body)) return;
  for (int64_t i = 0; i < n; ++i) body(i);
}

}  // namespace ma57
}  // namespace pemric
