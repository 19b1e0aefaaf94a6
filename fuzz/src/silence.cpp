#include <cstddef>
#include <cstdint>

#include "dalvex_fuzz/fuzz_support.h"
#include "pemric/streams.h"

namespace dalvex_fuzz {
namespace {
void Discard(void*, const char*, std::size_t) {}
}  // namespace

void SilenceStream(int32_t unit) { pemric::AttachStream(unit, &Discard, nullptr); }

}  // namespace dalvex_fuzz
