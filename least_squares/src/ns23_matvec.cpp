// Products with a column-compressed sparse matrix.
#include <cstdint>
#include <cstdlib>

#include "ns23_layout.h"
#include "pemric/ns23_routines.h"

namespace pemric {

void NS23SparseMatVec(int32_t /*m*/,
                      int32_t n,
                      const double* val,
                      const double* x,
                      double* y,
                      int32_t trans,
                      const int32_t* rowind,
                      const int32_t* colptr) {
  OneBased<const double> v(val), xv(x);
  OneBased<double> yv(y);
  OneBased<const int32_t> row(rowind), ptr(colptr);
  const bool transposed = (trans & 1) != 0;
  for (int32_t j = 1; j <= n; ++j) {
    const int32_t first = std::abs(ptr(j));
    const int32_t last = std::abs(ptr(j + 1)) - 1;
    if (transposed) {
      double sum = 0.0;
      for (int32_t k = first; k <= last; ++k) sum += v(k) * xv(row(k));
      yv(j) += sum;
    } else {
      const double xj = xv(j);
      for (int32_t k = first; k <= last; ++k) yv(row(k)) += v(k) * xj;
    }
  }
}

}  // namespace pemric
