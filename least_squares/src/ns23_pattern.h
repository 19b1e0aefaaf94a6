// The checks of the Jacobian's and A's column-compressed patterns that both
// NS23AD's start and NS23WorkspaceSize make before they index anything with
// them, so that the same fault gets the same code from either.
#pragma once

#include <cstdint>

namespace pemric::ns23 {

// The first fault found, in the order IP, IRN, AIP, AIRN: its NS23AD code
// (NS23_ERR_IP, NS23_ERR_IRN, NS23_ERR_AIP or NS23_ERR_AIRN) and the
// position (j of a column start, k of a row index); status 0 when the
// patterns are sound. IP is read through absolute values (it may carry the
// marks of an interrupted difference Jacobian), AIP as it stands.
struct PatternFault {
  int32_t status = 0;
  int64_t position = 0;
};
PatternFault FirstPatternFault(int32_t m,
                               int32_t n,
                               const int32_t* irn,
                               const int32_t* ip,
                               const int32_t* airn,
                               const int32_t* aip);

}  // namespace pemric::ns23
