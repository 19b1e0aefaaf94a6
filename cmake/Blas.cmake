# Dense kernels come from the system BLAS (OpenBLAS on Debian). The declarations
# live in numeric_common/include/pemric/blas.h with the Fortran calling convention.
set(BLA_VENDOR OpenBLAS CACHE STRING "BLAS vendor")
find_package(BLAS REQUIRED)
add_library(dalvex_blas INTERFACE)
target_link_libraries(dalvex_blas INTERFACE ${BLAS_LIBRARIES})

# Reference BLAS, when installed, lets the tests check that results do not depend
# on the BLAS implementation.
find_library(DALVEX_REFERENCE_BLAS NAMES libblas.so.3 blas
             PATHS /usr/lib/x86_64-linux-gnu/blas /usr/lib/i386-linux-gnu/blas NO_DEFAULT_PATH)
