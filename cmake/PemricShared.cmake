# libpemric: the numeric routines as one shared library for C, C++ and Fortran
# (bind(C)) callers, built from the static subsystem libraries. It exports
# exactly the C routines listed in include/pemric.map.
# The static libraries are compiled as position-independent code, so their
# object files go into the shared library unchanged.
set(_pemric_objects)
set(_pemric_includes ${CMAKE_CURRENT_SOURCE_DIR}/include)
foreach(part numeric_common sparse_pattern sparse_symmetric least_squares)
  list(APPEND _pemric_includes $<TARGET_PROPERTY:${part},INTERFACE_INCLUDE_DIRECTORIES>)
  get_target_property(_type ${part} TYPE)
  if(_type STREQUAL "STATIC_LIBRARY")
    list(APPEND _pemric_objects $<TARGET_OBJECTS:${part}>)
  endif()
endforeach()

add_library(pemric_shared SHARED ${_pemric_objects})
set_target_properties(pemric_shared PROPERTIES OUTPUT_NAME pemric LINKER_LANGUAGE CXX)
target_include_directories(pemric_shared PUBLIC ${_pemric_includes})
target_link_libraries(pemric_shared PRIVATE dalvex_blas)
if(NOT WIN32)
  set(_pemric_map ${CMAKE_CURRENT_SOURCE_DIR}/include/pemric.map)
  target_link_options(pemric_shared PRIVATE "LINKER:--version-script=${_pemric_map}"
                      "LINKER:--no-undefined")
  set_target_properties(pemric_shared PROPERTIES LINK_DEPENDS ${_pemric_map})
else()
  include(cmake/WindowsExports.cmake)
  dalvex_windows_exports_from_map(pemric_shared ${CMAKE_CURRENT_SOURCE_DIR}/include/pemric.map
                                  "${_pemric_objects}")
endif()
