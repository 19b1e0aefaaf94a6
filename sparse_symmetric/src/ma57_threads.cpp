// Helper threads of the factorization. A loop's rows are handed out in
// chunks from a shared counter, so a thread that starts late takes fewer of
// them and the caller never waits for work to be given out, only for the
// others to finish their chunks.
//
// Which threads run the chunks depends on how BLAS runs its own:
// - OpenBLAS on OpenMP: the loops are OpenMP parallel regions of the same
//   runtime, so the threads are those that run the threaded DGEMM. Helpers of
//   our own would compete with them, for OpenMP's threads spin for a while
//   after each region: on two cores the factorization was about a tenth
//   slower with our helpers than with the runtime's threads.
// - Otherwise (OpenBLAS on POSIX threads): helpers of our own, which sleep on
//   a condition variable between loops. Helpers that spin while they wait (as
//   OpenMP's do by default) take cycles from the threaded DGEMM that runs
//   between the shared loops, which costs more than the loops gain.
#include "ma57_threads.h"

#if PEMRIC_FRONT_THREADS
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include <unistd.h>

// Weak: with another BLAS they are null. GOMP_parallel is the OpenMP runtime's
// entry for a parallel region (what `#pragma omp parallel` compiles to), there
// whenever an OpenMP build of OpenBLAS is loaded; the library itself is built
// without OpenMP and links no runtime of its own.
extern "C" int openblas_get_num_threads(void) __attribute__((weak));
extern "C" int openblas_get_parallel(void) __attribute__((weak));
extern "C" void GOMP_parallel(void (*fn)(void*), void* data, unsigned threads, unsigned flags)
    __attribute__((weak));
#endif

namespace pemric {
namespace ma57 {

#if PEMRIC_FRONT_THREADS
namespace {

// Rows per chunk: short enough that a large front's triangle divides evenly,
// long enough that the shared counter is rarely touched.
constexpr int64_t kChunkRows = 8;
// Helpers at most, whatever BLAS says.
constexpr int kMaxHelpers = 63;
// What openblas_get_parallel() returns for an OpenMP build.
constexpr int kOpenBlasOpenMp = 2;

// Threads to use: the test override, else as many as BLAS uses.
int Team() {
  int threads = 1;
  if (front_threads > 0) {
    threads = front_threads;
  } else if (openblas_get_num_threads != nullptr) {
    threads = openblas_get_num_threads();
  }
  return std::clamp(threads, 1, kMaxHelpers + 1);
}

// One shared loop: body(i) for i = 0 .. n-1, in chunks.
struct Loop {
  int64_t n = 0;
  RowBody fn = nullptr;
  const void* body = nullptr;
  std::atomic<int64_t> next{0};

  void Chunks() {
    for (;;) {
      const int64_t first = next.fetch_add(kChunkRows, std::memory_order_relaxed);
      if (first >= n) return;
      const int64_t last = std::min(n, first + kChunkRows);
      for (int64_t i = first; i < last; ++i) fn(body, i);
    }
  }
};

// Whether the loops go to the OpenMP runtime: BLAS runs on it (or a test asks
// for it), and this is not a child forked after the loops first used it (the
// child has none of the runtime's threads).
bool UseOpenMp() {
  if (GOMP_parallel == nullptr) return false;
  static const pid_t first_user = getpid();
  if (getpid() != first_user) return false;
  if (front_pool == FrontPool::kOpenMp) return true;
  if (front_pool == FrontPool::kOwn) return false;
  static const bool blas_openmp =
      openblas_get_parallel != nullptr && openblas_get_parallel() == kOpenBlasOpenMp;
  return blas_openmp;
}

bool RunOpenMp(int64_t n, RowBody fn, const void* body) {
  const int team = Team();
  if (team <= 1) return false;
  Loop loop;
  loop.n = n, loop.fn = fn, loop.body = body;
  // Every thread of the region, the caller included, takes chunks; the
  // region ends when all have returned.
  GOMP_parallel([](void* l) { static_cast<Loop*>(l)->Chunks(); }, &loop,
                static_cast<unsigned>(team), 0);
  return true;
}

class Helpers {
 public:
  ~Helpers() {
    if (getpid() != owner_) {
      // A forked child has none of these threads: nothing to stop or wait for.
      for (std::thread& t : threads_) t.detach();
      return;
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : threads_) t.join();
  }

  bool Run(int64_t n, RowBody fn, const void* body) {
    const int team = Team();
    // In a child forked after the helpers started, they do not exist.
    if (team <= 1 || getpid() != owner_) return false;
    std::unique_lock<std::mutex> busy(busy_, std::try_to_lock);
    if (!busy.owns_lock()) return false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!Start(team - 1)) return false;
      loop_.n = n, loop_.fn = fn, loop_.body = body;
      loop_.next.store(0, std::memory_order_relaxed);
      helpers_ = team - 1, pending_ = team - 1;
      ++generation_;
    }
    wake_.notify_all();
    loop_.Chunks();
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return pending_ == 0; });
    return true;
  }

 private:
  // Starts helpers up to `count`; false when the system refuses a thread or
  // the memory for one (the loop then runs on the caller alone; the helpers
  // started are kept). Nothing is thrown out of the factorization.
  bool Start(int count) {
    while (static_cast<int>(threads_.size()) < count) {
      try {
        threads_.emplace_back([this, id = static_cast<int>(threads_.size())] { Serve(id); });
      } catch (...) {
        return false;
      }
    }
    return true;
  }

  void Serve(int id) {
    uint64_t seen = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
      if (stop_) return;
      seen = generation_;
      if (id >= helpers_) continue;
      lock.unlock();
      loop_.Chunks();
      lock.lock();
      if (--pending_ == 0) done_.notify_one();
    }
  }

  const pid_t owner_ = getpid();  // the process whose threads these are
  std::mutex busy_;   // held by the factorization using the helpers
  std::mutex mutex_;  // guards what follows
  std::condition_variable wake_, done_;
  std::vector<std::thread> threads_;
  uint64_t generation_ = 0;
  int helpers_ = 0;  // helpers taking part in the current loop
  int pending_ = 0;  // of those, the ones not yet done
  bool stop_ = false;
  Loop loop_;  // the current loop; its counter is the only field not under mutex_
};

}  // namespace

bool OpenMpRuntimeLoaded() { return GOMP_parallel != nullptr; }

bool RunSharedRows(int64_t n, RowBody fn, const void* body) {
  if (UseOpenMp()) return RunOpenMp(n, fn, body);
  static Helpers helpers;
  return helpers.Run(n, fn, body);
}

#else

bool OpenMpRuntimeLoaded() { return false; }

bool RunSharedRows(int64_t, RowBody, const void*) { return false; }

#endif

}  // namespace ma57
}  // namespace pemric
