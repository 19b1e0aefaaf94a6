# Installation: `cmake --install build --prefix P`, the CMake package, the
# pkg-config file, and the packages CPack makes from them (cmake/Packaging.cmake).
#
# Components:
#   runtime      libpemric's shared library, the plug-in module, the docs
#   development  the headers (pemric.h and what it includes, the vorn/ host
#                interface headers), libpemric's link library and static
#                archive, the CMake package Dalvex and the pkg-config file libpemric
#   host         the stand-ins for the host framework, which hosts bring their
#                own of: the services library vorn_services, the reference host
#                (vorn_reference_host and its vorn_host/ headers) and dalvex-run
#
# The plug-in is loaded by path, never linked, so it goes into a folder of its
# own rather than the linker's: DALVEX_INSTALL_PLUGINDIR.
if(WIN32)
  set(_plugindir plugins)
else()
  set(_plugindir ${CMAKE_INSTALL_LIBDIR}/dalvex/plugins)
endif()
set(DALVEX_INSTALL_PLUGINDIR ${_plugindir} CACHE STRING "Folder of the plug-in module, below the prefix")
set(DALVEX_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Dalvex)

# runtime and development
install(TARGETS pemric_shared EXPORT DalvexTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
# The static archive calls BLAS, which the Windows build links from an archive
# of its own making: there it stays out of the installation.
if(NOT WIN32)
  install(TARGETS pemric_static EXPORT DalvexTargets
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
endif()
install(TARGETS host_interface EXPORT DalvexTargets)
# dalvex-ldl, the command line for Matrix Market files.
install(TARGETS dalvex-ldl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
# The C++ interface: its archive (which links libpemric and METIS) and headers.
if(NOT WIN32)
  install(TARGETS dalvex EXPORT DalvexTargets
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
  install(DIRECTORY cpp_interface/include/dalvex DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
          COMPONENT development)
endif()
install(TARGETS vorn_dalvex EXPORT DalvexTargets
  LIBRARY DESTINATION ${DALVEX_INSTALL_PLUGINDIR} COMPONENT runtime)
install(FILES include/pemric.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)
install(FILES numeric_common/include/pemric/common.h sparse_pattern/include/pemric/mc59.h
              sparse_symmetric/include/pemric/ma57.h least_squares/include/pemric/ns23.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/pemric COMPONENT development)
install(DIRECTORY host_interface/include/vorn DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        COMPONENT development)
install(FILES README.md LICENSE CHANGELOG.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime)
install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime FILES_MATCHING PATTERN "*.md")
# The consumer projects that the installation is tested with, as examples.
install(DIRECTORY tests/consumers/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples
        COMPONENT development)
if(WIN32)
  if(DALVEX_MSVC_SERVICES)
    set(DALVEX_ZIP_NAMES "the Microsoft toolchain")
    set(DALVEX_ZIP_EXAMPLE "?AllocateString@VornServices@@SGPADH@Z")
  else()
    set(DALVEX_ZIP_NAMES "GCC")
    set(DALVEX_ZIP_EXAMPLE "_ZN12VornServices14AllocateStringEi@4")
  endif()
  configure_file(packaging/windows-README.txt.in ${PROJECT_BINARY_DIR}/README.txt @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/README.txt DESTINATION . COMPONENT runtime)
  # libpemric's export list (for a Microsoft-style import library) and the
  # services functions' names as both toolchains decorate them.
  install(FILES ${PROJECT_BINARY_DIR}/pemric_shared.def DESTINATION ${CMAKE_INSTALL_LIBDIR}
          RENAME pemric.def COMPONENT development)
  install(FILES host_interface/vorn_services_msvc.def DESTINATION ${CMAKE_INSTALL_LIBDIR}
          COMPONENT development)
endif()

# host
install(TARGETS vorn_services vorn_reference_host dalvex-run EXPORT DalvexHostTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT host
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT host
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT host)
install(DIRECTORY host/include/vorn_host DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT host)
# Installed, dalvex-run finds the services library and the plug-in by their
# places relative to its own.
file(RELATIVE_PATH _bin_to_lib /p/${CMAKE_INSTALL_BINDIR} /p/${CMAKE_INSTALL_LIBDIR})
file(RELATIVE_PATH _bin_to_module /p/${CMAKE_INSTALL_BINDIR}
     /p/${DALVEX_INSTALL_PLUGINDIR}/vorn_dalvex${CMAKE_SHARED_MODULE_SUFFIX})
set_target_properties(dalvex-run PROPERTIES INSTALL_RPATH "$ORIGIN/${_bin_to_lib}")
target_compile_definitions(dalvex-run PRIVATE DALVEX_INSTALLED_MODULE="${_bin_to_module}")

# The CMake package: find_package(Dalvex [COMPONENTS host])
include(CMakePackageConfigHelpers)
if(WIN32)
  set(DALVEX_CONFIG_STATIC OFF)
else()
  set(DALVEX_CONFIG_STATIC ON)
endif()
configure_package_config_file(cmake/DalvexConfig.cmake.in ${PROJECT_BINARY_DIR}/DalvexConfig.cmake
  INSTALL_DESTINATION ${DALVEX_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/DalvexConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/DalvexConfig.cmake ${PROJECT_BINARY_DIR}/DalvexConfigVersion.cmake
        DESTINATION ${DALVEX_INSTALL_CMAKEDIR} COMPONENT development)
install(EXPORT DalvexTargets NAMESPACE Dalvex:: DESTINATION ${DALVEX_INSTALL_CMAKEDIR}
        COMPONENT development)
install(EXPORT DalvexHostTargets NAMESPACE Dalvex:: DESTINATION ${DALVEX_INSTALL_CMAKEDIR}
        COMPONENT host)

# The pkg-config file, with its prefix found from its own place, so that the
# installation can move.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(DALVEX_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  set(DALVEX_PC_LIBDIR "${CMAKE_INSTALL_FULL_LIBDIR}")
  set(DALVEX_PC_INCLUDEDIR "${CMAKE_INSTALL_FULL_INCLUDEDIR}")
else()
  file(RELATIVE_PATH _pc_to_prefix /p/${CMAKE_INSTALL_LIBDIR}/pkgconfig /p)
  string(REGEX REPLACE "/$" "" _pc_to_prefix "${_pc_to_prefix}")
  set(DALVEX_PC_PREFIX "\${pcfiledir}/${_pc_to_prefix}")
  set(DALVEX_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
  set(DALVEX_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
if(DALVEX_CONFIG_STATIC)
  # For the static archive (pkg-config --static): OpenBLAS and the C++ runtime,
  # as plain libraries: a Requires.private entry would make pkg-config demand
  # OpenBLAS's own .pc file from every user of the shared library too.
  set(DALVEX_PC_PRIVATE "Libs.private: -lopenblas -lstdc++ -lm")
endif()
configure_file(cmake/libpemric.pc.in ${PROJECT_BINARY_DIR}/libpemric.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/libpemric.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT development)
# The C++ interface's own file, which requires libpemric.
if(NOT WIN32)
  set(DALVEX_PC_METIS "")
  if(DALVEX_HAVE_METIS)
    set(DALVEX_PC_METIS " -lmetis")
  endif()
  configure_file(cmake/dalvex.pc.in ${PROJECT_BINARY_DIR}/dalvex.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/dalvex.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
          COMPONENT development)
endif()

include(cmake/Packaging.cmake)
