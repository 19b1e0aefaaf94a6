// libFuzzer's entry for one target, chosen when the program is built. A
// broken invariant is printed and ends the process, which libFuzzer records
// as a crash with the input that caused it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "dalvex_fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string broken = dalvex_fuzz::DALVEX_FUZZ_ENTRY(data, size);
  if (broken.empty()) return 0;
  std::fprintf(stderr, "%s\n", broken.c_str());
  std::fflush(stderr);
  std::abort();
}
