# Dense kernels come from the system BLAS (OpenBLAS on Debian). The declarations
# live in numeric_common/include/pemric/blas.h with the Fortran calling convention.
# A cross build names its BLAS explicitly in DALVEX_BLAS_LIBRARIES (see
# scripts/build-windows.sh, which builds one for 32-bit Windows).
set(DALVEX_BLAS_LIBRARIES "" CACHE STRING "BLAS to link instead of the system one (cross builds)")
add_library(dalvex_blas INTERFACE)
if(DALVEX_BLAS_LIBRARIES)
  target_link_libraries(dalvex_blas INTERFACE ${DALVEX_BLAS_LIBRARIES})
else()
  set(BLA_VENDOR OpenBLAS CACHE STRING "BLAS vendor")
  find_package(BLAS REQUIRED)
  target_link_libraries(dalvex_blas INTERFACE ${BLAS_LIBRARIES})
endif()

# Reference BLAS, when installed, lets the tests check that results do not depend
# on the BLAS implementation.
find_library(DALVEX_REFERENCE_BLAS NAMES libblas.so.3 blas
             PATHS /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/blas NO_DEFAULT_PATH)
