// libFuzzer entry for the analysis: the input bytes choose N, NE, the slack
// of LKEEP around its bound, the path, the controls and the entries. KEEP
// and IWRK are exactly as long as the call is told, so the sanitizers catch
// any access outside them. Built with -DDALVEX_FUZZ=ON and clang.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "pemric/ma57.h"
#include "pemric/streams.h"

namespace {

class Bytes {
 public:
  Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  int32_t Next() { return pos_ < size_ ? data_[pos_++] : 0; }
  bool Left() const { return pos_ < size_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

void Discard(void*, const char*, size_t) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pemric::AttachStream(6, &Discard, nullptr);
  Bytes in(data, size);
  const int32_t n = in.Next() % 70 - 2;
  const int32_t ne = in.Next() * 2 - 3;
  const int32_t slack = in.Next() % 8 - 3;
  int32_t icntl[20];
  double cntl[5];
  MA57SetDefaults(cntl, icntl);
  icntl[4] = in.Next() % 5;
  icntl[5] = in.Next() % 2;
  icntl[11] = in.Next() % 5;
  const int32_t nn = std::max(n, 0), nne = std::max(ne, 0);
  std::vector<int32_t> irn(nne), jcn(nne);
  for (int32_t k = 0; k < nne; ++k) {
    irn[k] = in.Next() % (nn + 3) - 1;
    jcn[k] = in.Next() % (nn + 3) - 1;
  }
  const int64_t bound = 5 * int64_t{nn} + nne + std::max(nn, nne) + 42;
  const int32_t lkeep = static_cast<int32_t>(std::max<int64_t>(1, bound + slack));
  std::vector<int32_t> keep(lkeep, 0), iwrk(std::max(5 * nn, 1), 0);
  for (int32_t v = 0; v < std::min(nn, lkeep); ++v) keep[v] = v + 1;
  for (int32_t v = 0; v < std::min(nn, lkeep) && in.Left(); ++v) {
    std::swap(keep[v], keep[in.Next() % std::min(nn, lkeep)]);
  }
  if (in.Next() == 255 && nn > 0) keep[0] = in.Next() - 2;
  int32_t info[40];
  double rinfo[20];
  MA57AD(&n, &ne, irn.data(), jcn.data(), &lkeep, keep.data(), iwrk.data(), icntl, info, rinfo);
  pemric::DetachStream(6);
  return 0;
}
