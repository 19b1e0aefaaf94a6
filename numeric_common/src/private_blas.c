/* The entry points of the module's private BLAS: a copy of Debian's one-thread
 * (serial) OpenBLAS linked into the numeric routines with every one of its own
 * symbols made local (cmake/Blas.cmake), so that these four names are all it
 * shows. The process's BLAS, if it loads one, is neither called nor changed:
 * its thread setting stays the host's, and the factorization runs its
 * one-thread kernels on threads of its own.
 *
 * The serial build hands out its work buffers without a lock that holds
 * between threads (two DGEMM calls at once were seen to share one and give
 * wrong products), so its allocator is renamed away when the copy is made,
 * and the one below takes its place: buffers from a pool under a mutex, one
 * per call in flight, kept for reuse. */
#include <pthread.h>
#include <stddef.h>
#include <stdint.h>
#include <sys/mman.h>

/* OpenBLAS's BUFFER_SIZE on x86-64 is 128 MiB; the pool's buffers are twice
 * that, reserved, not committed: a call touches only the pages it packs.
 *
 * OpenBLAS does not check the buffer it is given, so the allocator never
 * returns NULL while a buffer exists anywhere: when the address space is
 * exhausted (a process under an address-space limit, or a 32-bit host), a
 * call waits for a buffer that another call is about to give back. One buffer
 * is reserved when the library is loaded, so that there always is one. */
#define PEMRIC_BLAS_BUFFER ((size_t)256 << 20)
#define PEMRIC_BLAS_KEPT 64

static pthread_mutex_t pool_lock = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t pool_returned = PTHREAD_COND_INITIALIZER;
static void* pool[PEMRIC_BLAS_KEPT];
static int pool_count = 0;
static int in_flight = 0; /* buffers handed out and not yet given back */

static void* MapBuffer(void) {
  void* buffer = mmap(NULL, PEMRIC_BLAS_BUFFER, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  return buffer == MAP_FAILED ? NULL : buffer;
}

__attribute__((constructor)) static void ReserveFirstBuffer(void) {
  void* buffer = MapBuffer();
  if (buffer == NULL) return;
  pthread_mutex_lock(&pool_lock);
  pool[pool_count++] = buffer;
  pthread_mutex_unlock(&pool_lock);
}

void* blas_memory_alloc(int procpos) {
  void* buffer = NULL;
  (void)procpos;
  pthread_mutex_lock(&pool_lock);
  for (;;) {
    if (pool_count > 0) {
      buffer = pool[--pool_count];
      break;
    }
    pthread_mutex_unlock(&pool_lock);
    buffer = MapBuffer();
    pthread_mutex_lock(&pool_lock);
    if (buffer != NULL) break;
    /* No new mapping: take one that was given back meanwhile, or wait for
     * one in flight. With none anywhere there is nothing to wait for. */
    if (pool_count == 0 && in_flight == 0) break;
    if (pool_count == 0) pthread_cond_wait(&pool_returned, &pool_lock);
  }
  if (buffer != NULL) ++in_flight;
  pthread_mutex_unlock(&pool_lock);
  return buffer;
}

void blas_memory_free(void* buffer) {
  if (buffer == NULL) return;
  pthread_mutex_lock(&pool_lock);
  --in_flight;
  if (pool_count < PEMRIC_BLAS_KEPT) {
    pool[pool_count++] = buffer;
    buffer = NULL;
  }
  pthread_cond_broadcast(&pool_returned);
  pthread_mutex_unlock(&pool_lock);
  if (buffer != NULL) munmap(buffer, PEMRIC_BLAS_BUFFER);
}

void* blas_memory_alloc_nolock(int procpos) { return blas_memory_alloc(procpos); }
void blas_memory_free_nolock(void* buffer) { blas_memory_free(buffer); }

void dgemm_(const char* transa, const char* transb, const int32_t* m, const int32_t* n,
            const int32_t* k, const double* alpha, const double* a, const int32_t* lda,
            const double* b, const int32_t* ldb, const double* beta, double* c,
            const int32_t* ldc, size_t transa_len, size_t transb_len);
void dgemv_(const char* trans, const int32_t* m, const int32_t* n, const double* alpha,
            const double* a, const int32_t* lda, const double* x, const int32_t* incx,
            const double* beta, double* y, const int32_t* incy, size_t trans_len);
void dtpsv_(const char* uplo, const char* trans, const char* diag, const int32_t* n,
            const double* ap, double* x, const int32_t* incx, size_t uplo_len, size_t trans_len,
            size_t diag_len);
double ddot_(const int32_t* n, const double* x, const int32_t* incx, const double* y,
             const int32_t* incy);

void pemric_dgemm(
    const char* transa, const char* transb, const int32_t* m, const int32_t* n, const int32_t* k,
    const double* alpha, const double* a, const int32_t* lda, const double* b, const int32_t* ldb,
    const double* beta, double* c, const int32_t* ldc) {
  dgemm_(transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc, 1, 1);
}

void pemric_dgemv(
    const char* trans, const int32_t* m, const int32_t* n, const double* alpha, const double* a,
    const int32_t* lda, const double* x, const int32_t* incx, const double* beta, double* y,
    const int32_t* incy) {
  dgemv_(trans, m, n, alpha, a, lda, x, incx, beta, y, incy, 1);
}

void pemric_dtpsv(const char* uplo, const char* trans,
                                                         const char* diag, const int32_t* n,
                                                         const double* ap, double* x,
                                                         const int32_t* incx) {
  dtpsv_(uplo, trans, diag, n, ap, x, incx, 1, 1, 1);
}

double pemric_ddot(const int32_t* n, const double* x,
                                                          const int32_t* incx, const double* y,
                                                          const int32_t* incy) {
  return ddot_(n, x, incx, y, incy);
}
