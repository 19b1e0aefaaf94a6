// The sizes and column-compressed patterns of J and A as NS23AD's callers
// give them, and the checks that both NS23AD's start and NS23WorkspaceSize
// make before they index anything with them, so that the same fault gets the
// same code from either.
#pragma once

#include <cstdint>

namespace pemric::ns23 {

// B = J + A is M x N; J on (irn, ip), A on (airn, aip), arrays by their
// first cell and indexed from 1 in their contents.
struct Patterns {
  int32_t m = 0;
  int32_t n = 0;
  const int32_t* irn = nullptr;   // row of each entry of J (|IP(N+1)| - 1)
  const int32_t* ip = nullptr;    // column starts of J (N+1); may carry the
                                  // difference Jacobian's negative column marks
  const int32_t* airn = nullptr;  // row of each entry of A (AIP(N+1) - 1)
  const int32_t* aip = nullptr;   // column starts of A (N+1)
};

// The first fault found, in the order IP, IRN, AIP, AIRN: its NS23AD code
// (NS23_ERR_IP, NS23_ERR_IRN, NS23_ERR_AIP or NS23_ERR_AIRN) and the
// position (j of a column start, k of a row index); status 0 when the
// patterns are sound. IP is read through absolute values (it may carry the
// marks of an interrupted difference Jacobian), AIP as it stands.
struct PatternFault {
  int32_t status = 0;
  int64_t position = 0;
};
PatternFault FirstPatternFault(const Patterns& b);

}  // namespace pemric::ns23
