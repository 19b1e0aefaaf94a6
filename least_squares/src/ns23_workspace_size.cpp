// NS23WorkspaceSize: the lengths of IW and W that NS23AD's start will ask
// for, by running the start's own analysis (NS23Analyse) on memory of its
// own. The analysis asks for more integer space in stages (row marks, then
// the rows of B, then the normal pattern and its MA57 analysis), so the
// workspace grows to each length it names until the analysis completes:
// at most three rounds, the first two of them cheap counts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <new>

#ifdef __linux__
#include <sys/mman.h>
#endif

#include "ns23_layout.h"
#include "ns23_pattern.h"
#include "ns23_step.h"
#include "pemric/ns23.h"

namespace pemric::ns23 {
namespace {

constexpr int64_t kMaxLength = std::numeric_limits<int32_t>::max();

// An array of `n` integers left unfilled, null when memory runs out. On
// 64-bit Linux one of 1 MiB and more starts on a 2 MiB boundary (the block
// is 2 MiB longer, the slack never touched) and is advised as transparent
// huge pages over whole 2 MiB pages: the analysis touches most of it, and a
// fault maps 2 MiB instead of 4 KiB (faults are dear in virtual machines).
class IntegerBlock {
 public:
  IntegerBlock() = default;
  explicit IntegerBlock(size_t n) {
    constexpr size_t kHugePage = size_t{2} << 20;
    if (n > (std::numeric_limits<size_t>::max() - 2 * kHugePage) / sizeof(int32_t)) return;
    const size_t bytes = n * sizeof(int32_t);
#if defined(__linux__) && UINTPTR_MAX > 0xFFFFFFFFu
    if (bytes >= kHugePage / 2) {
      const size_t advised = (bytes + kHugePage - 1) / kHugePage * kHugePage;
      block_.reset(std::malloc(advised + kHugePage));
      if (!block_) return;
      const uintptr_t a = reinterpret_cast<uintptr_t>(block_.get());
      char* start = static_cast<char*>(block_.get()) + (kHugePage - a % kHugePage) % kHugePage;
      (void)madvise(start, advised, MADV_HUGEPAGE);  // advice only: may be refused
      data_ = reinterpret_cast<int32_t*>(start);
      return;
    }
#endif
    block_.reset(std::malloc(bytes > 0 ? bytes : 1));
    data_ = static_cast<int32_t*>(block_.get());
  }
  int32_t* data() const { return data_; }

 private:
  struct Free {
    void operator()(void* p) const { std::free(p); }
  };
  std::unique_ptr<void, Free> block_;
  int32_t* data_ = nullptr;
};

// Runs the analysis until it fits; false when memory runs out or a stage
// asks for more than a 32-bit length.
bool Analyse(const Patterns& b,
             OneBased<int32_t> keep,
             OneBased<double> rkeep,
             OneBased<int32_t> info) {
  int64_t liw = 2 * int64_t{b.m} + 1;  // the first stage's need: row marks and pointers
  IntegerBlock iw;
  for (;;) {
    if (liw > kMaxLength) {
      info(NS23_SIZE_INFO_STATUS) = NS23_SIZE_ERR_TOO_LARGE;
      return false;
    }
    // Not filled: the analysis writes each cell before it reads it, as it
    // does in NS23AD's workspace. The earlier round's array goes first.
    iw = IntegerBlock();
    iw = IntegerBlock(static_cast<size_t>(liw));
    if (!iw.data()) {
      info(NS23_SIZE_INFO_STATUS) = NS23_SIZE_ERR_NO_MEMORY;
      return false;
    }
    const int32_t status = NS23Analyse(b, static_cast<int32_t>(liw), iw.data(), keep, rkeep);
    if (status == 0) return true;
    const int64_t asked = keep(kLiwNeeded);
    // Saturated: the stage needs more than a 32-bit length can say.
    liw = asked >= kMaxLength ? kMaxLength + 1 : asked;
  }
}

}  // namespace
}  // namespace pemric::ns23

extern "C" PEMRIC_API void NS23WorkspaceSize(const int32_t* M,
                                             const int32_t* N,
                                             const int32_t* IRN,
                                             const int32_t* IP,
                                             const int32_t* AIRN,
                                             const int32_t* AIP,
                                             const double* HMAX,
                                             int32_t* LIW,
                                             int32_t* LW,
                                             int32_t* INFO) {
  using namespace pemric::ns23;
  OneBased<int32_t> info(INFO);
  for (int32_t i = 1; i <= NS23_LINFO; ++i) info(i) = 0;
  *LIW = 0;
  *LW = 0;
  const int32_t m = *M, n = *N;
  Patterns b;
  b.m = m;
  b.n = n;
  b.irn = IRN;
  b.ip = IP;
  b.airn = AIRN;
  b.aip = AIP;
  if (n < 1 || m < n) {
    info(NS23_SIZE_INFO_STATUS) = NS23_ERR_SIZES;
    return;
  }
  if (const PatternFault fault = FirstPatternFault(b); fault.status != 0) {
    info(NS23_SIZE_INFO_STATUS) = fault.status;
    info(NS23_SIZE_INFO_VALUE) = Saturate(fault.position);
    return;
  }

  int32_t icntl[NS23_LICNTL];
  double cntl[NS23_LCNTL];
  int32_t keep_cells[NS23_LKEEP];
  double rkeep_cells[NS23_LRKEEP];
  int32_t lkeep_cells[NS23_LLKEEP];
  NS23SetDefaults(icntl, cntl, keep_cells, rkeep_cells, lkeep_cells);
  OneBased<int32_t> keep(keep_cells);
  if (!Analyse(b, keep, OneBased<double>(rkeep_cells), info)) return;

  const bool differences = *HMAX > 0.0;  // as NS23AD: a negative or NaN HMAX means 0
  const int64_t liw = IntegerLengthNeeded(keep(kLiwNeeded), n);
  const int64_t lw = RealLengthNeeded(keep(kLwNeeded), m, n, differences);
  if (keep(kLiwNeeded) >= kMaxLength || keep(kLwNeeded) >= kMaxLength || liw > kMaxLength ||
      lw > kMaxLength) {
    info(NS23_SIZE_INFO_STATUS) = NS23_SIZE_ERR_TOO_LARGE;
    return;
  }
  *LIW = static_cast<int32_t>(liw);
  *LW = static_cast<int32_t>(lw);
  info(NS23_SIZE_INFO_PATTERN) = keep(kNzr);
  info(NS23_SIZE_INFO_NORMAL) = keep(kNe);
}
