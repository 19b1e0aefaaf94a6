// Files written whole or not at all: the content goes to a temporary file
// in the destination's folder, which is renamed over the destination only
// once it is complete and closed. An existing file is replaced by a
// complete new one, or left as it was.
#pragma once

#include <string>

namespace dalvex_ldl {

// Writes `content` to `path` ("-" is standard output, written directly).
// Throws dalvex::Error (kFile) naming the path and the reason.
void WriteWholeFile(const std::string& path, const std::string& content);

}  // namespace dalvex_ldl
