#include "dalvex_fuzz/fuzz_support.h"

namespace dalvex_fuzz {

void Fail(const char* target, const char* what) { throw BrokenInvariant{target, what}; }

}  // namespace dalvex_fuzz
