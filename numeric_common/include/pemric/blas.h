// The four BLAS kernels used by the numeric routines, declared once with the
// standard Fortran calling convention: every argument by reference, and the
// hidden lengths of character arguments passed last. With the private
// one-thread BLAS (PEMRIC_PRIVATE_BLAS, see cmake/Blas.cmake) the wrappers
// call its own entry points instead of the process's BLAS.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {
#if PEMRIC_PRIVATE_BLAS
void pemric_dgemm(const char* transa, const char* transb, const int32_t* m, const int32_t* n,
                  const int32_t* k, const double* alpha, const double* a, const int32_t* lda,
                  const double* b, const int32_t* ldb, const double* beta, double* c,
                  const int32_t* ldc);
void pemric_dgemv(const char* trans, const int32_t* m, const int32_t* n, const double* alpha,
                  const double* a, const int32_t* lda, const double* x, const int32_t* incx,
                  const double* beta, double* y, const int32_t* incy);
void pemric_dtpsv(const char* uplo, const char* trans, const char* diag, const int32_t* n,
                  const double* ap, double* x, const int32_t* incx);
double pemric_ddot(const int32_t* n, const double* x, const int32_t* incx, const double* y,
                   const int32_t* incy);
#endif
void dgemm_(const char* transa, const char* transb, const int32_t* m, const int32_t* n,
            const int32_t* k, const double* alpha, const double* a, const int32_t* lda,
            const double* b, const int32_t* ldb, const double* beta, double* c,
            const int32_t* ldc, std::size_t transa_len, std::size_t transb_len);
void dgemv_(const char* trans, const int32_t* m, const int32_t* n, const double* alpha,
            const double* a, const int32_t* lda, const double* x, const int32_t* incx,
            const double* beta, double* y, const int32_t* incy, std::size_t trans_len);
void dtpsv_(const char* uplo, const char* trans, const char* diag, const int32_t* n,
            const double* ap, double* x, const int32_t* incx, std::size_t uplo_len,
            std::size_t trans_len, std::size_t diag_len);
double ddot_(const int32_t* n, const double* x, const int32_t* incx, const double* y,
             const int32_t* incy);
}

namespace pemric::blas {

// Thin value-argument wrappers, so that callers need not name temporaries.
inline void Dgemm(char transa, char transb, int32_t m, int32_t n, int32_t k, double alpha,
                  const double* a, int32_t lda, const double* b, int32_t ldb, double beta,
                  double* c, int32_t ldc) {
#if PEMRIC_PRIVATE_BLAS
  pemric_dgemm(&transa, &transb, &m, &n, &k, &alpha, a, &lda, b, &ldb, &beta, c, &ldc);
#else
  dgemm_(&transa, &transb, &m, &n, &k, &alpha, a, &lda, b, &ldb, &beta, c, &ldc, 1, 1);
#endif
}

inline void Dgemv(char trans, int32_t m, int32_t n, double alpha, const double* a, int32_t lda,
                  const double* x, int32_t incx, double beta, double* y, int32_t incy) {
#if PEMRIC_PRIVATE_BLAS
  pemric_dgemv(&trans, &m, &n, &alpha, a, &lda, x, &incx, &beta, y, &incy);
#else
  dgemv_(&trans, &m, &n, &alpha, a, &lda, x, &incx, &beta, y, &incy, 1);
#endif
}

inline void Dtpsv(char uplo, char trans, char diag, int32_t n, const double* ap, double* x,
                  int32_t incx) {
#if PEMRIC_PRIVATE_BLAS
  pemric_dtpsv(&uplo, &trans, &diag, &n, ap, x, &incx);
#else
  dtpsv_(&uplo, &trans, &diag, &n, ap, x, &incx, 1, 1, 1);
#endif
}

inline double Ddot(int32_t n, const double* x, int32_t incx, const double* y, int32_t incy) {
#if PEMRIC_PRIVATE_BLAS
  return pemric_ddot(&n, x, &incx, y, &incy);
#else
  return ddot_(&n, x, &incx, y, &incy);
#endif
}

}  // namespace pemric::blas
