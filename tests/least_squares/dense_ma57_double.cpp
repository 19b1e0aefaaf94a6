// A dense stand-in for the sparse symmetric solver, used only by the tests of
// the least-squares iteration while the sparse factorization is not
// available: the analysis keeps the index pairs, the factorization forms the
// dense matrix in FACT and computes L D L^T without pivoting (failing with
// INFO(1) = -5 at a pivot that is not positive), and the solution phase
// applies the factors.
#include <cstdint>

#include "pemric/ma57.h"

extern "C" {

void MA57SetDefaults(double* CNTL, int32_t* ICNTL) {
  const int32_t icntl[20] = {6, 6, 6, -1, 2, 0, 1, 0, 1, 0, 16, 1, 10, 100, 0, 0, 0, 0, 0, 0};
  const double cntl[5] = {0.009999999776482582, 0.0, 0.5, 0.0, 0.0};
  for (int k = 0; k < 20; ++k) ICNTL[k] = icntl[k];
  for (int k = 0; k < 5; ++k) CNTL[k] = cntl[k];
}

void MA57AD(const int32_t* N, const int32_t* NE, int32_t* IRN, int32_t* JCN, const int32_t*,
            int32_t* KEEP, int32_t*, const int32_t*, int32_t* INFO, double* RINFO) {
  for (int k = 0; k < 40; ++k) INFO[k] = 0;
  for (int k = 0; k < 20; ++k) RINFO[k] = 0.0;
  for (int32_t k = 0; k < *NE; ++k) {
    KEEP[k] = IRN[k];
    KEEP[*NE + k] = JCN[k];
  }
  INFO[10] = *N * *N;  // FACT: the dense factor
  INFO[11] = 1;
}

void MA57BD(const int32_t* N, const int32_t* NE, const double* A, double* FACT, const int32_t*,
            int32_t*, const int32_t*, const int32_t*, int32_t* KEEP, int32_t*, const int32_t*,
            const double*, int32_t* INFO, double*) {
  const int32_t n = *N;
  double* a = FACT;  // column-major, the lower triangle holds L, the diagonal D
  for (int64_t k = 0; k < int64_t{n} * n; ++k) a[k] = 0.0;
  for (int32_t k = 0; k < *NE; ++k) {
    int32_t i = KEEP[k] - 1, j = KEEP[*NE + k] - 1;
    if (i < j) { const int32_t t = i; i = j; j = t; }
    a[i + int64_t{j} * n] += A[k];
  }
  INFO[0] = 0;
  for (int32_t j = 0; j < n; ++j) {
    double d = a[j + int64_t{j} * n];
    for (int32_t k = 0; k < j; ++k) {
      const double l = a[j + int64_t{k} * n];
      d -= l * l * a[k + int64_t{k} * n];
    }
    if (!(d > 0.0)) {
      INFO[0] = -5;
      INFO[1] = j + 1;
      return;
    }
    a[j + int64_t{j} * n] = d;
    for (int32_t i = j + 1; i < n; ++i) {
      double s = a[i + int64_t{j} * n];
      for (int32_t k = 0; k < j; ++k) {
        s -= a[i + int64_t{k} * n] * a[j + int64_t{k} * n] * a[k + int64_t{k} * n];
      }
      a[i + int64_t{j} * n] = s / d;
    }
  }
}

void MA57CD(const int32_t*, const int32_t* N, const double* FACT, const int32_t*, const int32_t*,
            const int32_t*, const int32_t*, double* RHS, const int32_t*, double*, const int32_t*,
            int32_t*, const int32_t*, int32_t*) {
  const int32_t n = *N;
  const double* a = FACT;
  for (int32_t i = 0; i < n; ++i) {
    for (int32_t k = 0; k < i; ++k) RHS[i] -= a[i + int64_t{k} * n] * RHS[k];
  }
  for (int32_t i = 0; i < n; ++i) RHS[i] /= a[i + int64_t{i} * n];
  for (int32_t i = n - 1; i >= 0; --i) {
    for (int32_t k = i + 1; k < n; ++k) RHS[i] -= a[k + int64_t{i} * n] * RHS[k];
  }
}

}  // extern "C"
