// First-guess array lengths for the least-squares routine, formed in 64 bits
// so that a caller can refuse sizes that leave the 32-bit range.
#pragma once

#include <algorithm>
#include <cstdint>

namespace dalvex {

struct WorkspaceSizes {
  int64_t m_Lip;  // column starts of the compressed pattern: max(NEqs, NVars) + 1
  int64_t m_Liw;  // integer workspace: NEqs + 11 NVars + 9 NNz + 44
  int64_t m_Lw;   // real workspace: 3 NVars + 4 NEqs + 3 NNz
};

// For example NEqs = 3, NVars = 2, NNz = 4 gives LIP = 4, LIW = 105, LW = 30.
inline WorkspaceSizes SizesFor(int64_t neqs, int64_t nvars, int64_t nnz) {
  return {std::max(neqs, nvars) + 1, neqs + 11 * nvars + 9 * nnz + 44, 3 * nvars + 4 * neqs + 3 * nnz};
}

// True when every length fits a signed 32-bit integer.
inline bool FitsInt32(const WorkspaceSizes& s) {
  return s.m_Lip <= INT32_MAX && s.m_Liw <= INT32_MAX && s.m_Lw <= INT32_MAX;
}

}  // namespace dalvex
