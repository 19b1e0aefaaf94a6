# Cross builds: LAPACK (tests use it as an independent dense reference) is the
# library the build script made for the target and named, together with its
# BLAS and runtime, in DALVEX_LAPACK_LIBRARIES.
set(LAPACK_LIBRARIES "${DALVEX_LAPACK_LIBRARIES}")
set(LAPACK_LINKER_FLAGS "")
include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(LAPACK REQUIRED_VARS LAPACK_LIBRARIES)
if(LAPACK_FOUND AND NOT TARGET LAPACK::LAPACK)
  add_library(LAPACK::LAPACK INTERFACE IMPORTED)
  set_target_properties(LAPACK::LAPACK PROPERTIES INTERFACE_LINK_LIBRARIES "${LAPACK_LIBRARIES}")
endif()
