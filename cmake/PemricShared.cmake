# libpemric: the numeric routines as one shared library for C, C++ and Fortran
# (bind(C)) callers, built from the static subsystem libraries. It exports
# exactly the C routines listed in include/pemric.map. The same objects also
# make the static archive libpemric.a (target pemric_static), whose users link
# BLAS and the C++ runtime themselves.
# The static libraries are compiled as position-independent code, so their
# object files go into the shared library unchanged.
include(GNUInstallDirs)
set(_pemric_objects)
set(_pemric_includes ${CMAKE_CURRENT_SOURCE_DIR}/include)
foreach(part numeric_common sparse_pattern sparse_symmetric least_squares)
  list(APPEND _pemric_includes $<TARGET_PROPERTY:${part},INTERFACE_INCLUDE_DIRECTORIES>)
  get_target_property(_type ${part} TYPE)
  if(_type STREQUAL "STATIC_LIBRARY")
    list(APPEND _pemric_objects $<TARGET_OBJECTS:${part}>)
  endif()
endforeach()

# $<TARGET_OBJECTS> lists only compiled objects: the private BLAS (an
# external object of numeric_common) is named again.
if(DALVEX_PRIVATE_BLAS_OBJECT)
  list(APPEND _pemric_objects ${DALVEX_PRIVATE_BLAS_OBJECT})
endif()
add_library(pemric_shared SHARED ${_pemric_objects})
set_target_properties(pemric_shared PROPERTIES OUTPUT_NAME pemric LINKER_LANGUAGE CXX EXPORT_NAME pemric
  VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
target_link_libraries(pemric_shared PRIVATE dalvex_blas)
add_library(pemric_static STATIC ${_pemric_objects})
if(DALVEX_PRIVATE_BLAS_OBJECT)
  add_dependencies(pemric_shared dalvex_private_blas)
  add_dependencies(pemric_static dalvex_private_blas)
endif()
set_target_properties(pemric_static PROPERTIES OUTPUT_NAME pemric LINKER_LANGUAGE CXX)
target_link_libraries(pemric_static PRIVATE $<BUILD_INTERFACE:dalvex_blas> $<INSTALL_INTERFACE:BLAS::BLAS>)
list(TRANSFORM _pemric_includes PREPEND "$<BUILD_INTERFACE:")
list(TRANSFORM _pemric_includes APPEND ">")
foreach(lib pemric_shared pemric_static)
  target_include_directories(${lib} PUBLIC ${_pemric_includes}
                                           $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
endforeach()
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
