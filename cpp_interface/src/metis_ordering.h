// Nested dissection by METIS for the LDLT's analysis.
#pragma once

#include <cstdint>
#include <vector>

#include "dalvex/symmetric_matrix.hpp"

namespace dalvex::internal {

// The pivot position (from 1) of each variable (from 1), as the analysis
// takes a supplied order: positions[i - 1] is the position of variable i.
// The graph is the matrix's pattern without its diagonal. Throws Error
// kUnavailable in a build without METIS, std::bad_alloc when it runs out of
// memory.
std::vector<int32_t> MetisPositions(const SymmetricMatrix& a);

}  // namespace dalvex::internal
