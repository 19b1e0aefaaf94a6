# Cross builds: CLI11 is header-only and the same for every target. Debian's
# headers are copied into the build so that the build machine's /usr/include,
# whose C library headers are not the target's, stays off the compile line.
if(NOT TARGET CLI11::CLI11)
  set(_cli11_include ${CMAKE_BINARY_DIR}/_cli11/include)
  if(NOT EXISTS ${_cli11_include}/CLI)
    file(COPY /usr/include/CLI DESTINATION ${_cli11_include})
  endif()
  add_library(CLI11::CLI11 INTERFACE IMPORTED)
  set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${_cli11_include})
endif()
set(CLI11_FOUND TRUE)
