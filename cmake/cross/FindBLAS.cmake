# Cross builds: BLAS is the library the build script made for the target and
# named in DALVEX_BLAS_LIBRARIES; nothing is searched for on the build machine.
set(BLAS_LIBRARIES "${DALVEX_BLAS_LIBRARIES}")
set(BLAS_LINKER_FLAGS "")
include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(BLAS REQUIRED_VARS BLAS_LIBRARIES)
if(BLAS_FOUND AND NOT TARGET BLAS::BLAS)
  add_library(BLAS::BLAS INTERFACE IMPORTED)
  set_target_properties(BLAS::BLAS PROPERTIES INTERFACE_LINK_LIBRARIES "${BLAS_LIBRARIES}")
endif()
