// libFuzzer's entry for one target, chosen when the program is built.
#include <cstddef>
#include <cstdint>

#include "dalvex_fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return dalvex_fuzz::DALVEX_FUZZ_ENTRY(data, size);
}
