# Packages made by CPack from the install components (cmake/Install.cmake),
# into build/packages/:
#   Debian (cpack -G DEB):  dalvex      runtime: libpemric.so.1, the plug-in, the docs
#                           dalvex-dev  development: headers, libpemric.so and .a, the C++
#                                       interface's libdalvex.a,
#                                       the CMake package and the pkg-config file
#                           dalvex-host the stand-ins for the host framework (optional)
#                           python3-dalvex  the Python package (python/), for Debian's
#                                       python3 of this build's version
#   Windows (cpack -G ZIP): one zip holding all three, with a README for integrators
set(CPACK_PACKAGE_NAME dalvex)
set(CPACK_PACKAGE_VENDOR "Dalvex developers")
# No address has been chosen yet: the placeholder says so, and .invalid is a
# domain that never resolves.
set(CPACK_PACKAGE_CONTACT "Dalvex developers <placeholder-address-not-yet-chosen@dalvex.invalid>")
if(WIN32)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Sparse Levenberg-Marquardt solver plug-in and its numeric routines")
endif()
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_COMPONENTS_ALL runtime development host)
if(DALVEX_PYTHON_BUILT)
  list(APPEND CPACK_COMPONENTS_ALL python)
endif()
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME dalvex-${PROJECT_VERSION}-win32)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION science)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME dalvex)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME dalvex-dev)
  set(CPACK_DEBIAN_HOST_PACKAGE_NAME dalvex-host)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
  # Dependencies on other Debian packages come from the binaries' own
  # (dpkg-shlibdeps); the services library the plug-in links is the host's,
  # found in this build for that purpose only.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS $<TARGET_FILE_DIR:vorn_services>)
  set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
  # The static archive calls OpenBLAS (libopenblas.so, or the archive).
  # The C++ interface's archive calls METIS.
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libopenblas-dev, libmetis-dev")
  # A shlibs file in dalvex, so that packages built against dalvex-dev get
  # their dependency on it from dpkg-shlibdeps. (CPack warns that the plug-in
  # and the stand-in services library, which have no SONAME, stay out of it.)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SUGGESTS "dalvex-host")
  # Each package's synopsis, then its description wrapped to Debian's width
  # (CPack indents the lines but does not wrap them).
  set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "sparse nonlinear equations and least squares: library and plug-in
Dalvex solves large sparse systems of nonlinear equations and nonlinear
least-squares fits by a sparse Levenberg-Marquardt method over a sparse
symmetric direct solver (multifrontal LDL^T with 1x1 and 2x2 pivots).
This package holds the numeric routines as the shared library libpemric
and the solver plug-in vorn_dalvex, which an equation-oriented
process-modelling host loads at run time.")
  set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "sparse nonlinear equations and least squares: development files
Headers, link library and static archive of libpemric, the numeric
routines of Dalvex (sparse Levenberg-Marquardt least squares, a sparse
symmetric LDL^T solver, sparse pattern compression), the headers of the
host interface, the CMake package Dalvex, the pkg-config file libpemric
and example projects.")
  set(CPACK_DEBIAN_HOST_DESCRIPTION "sparse nonlinear equations and least squares: host stand-ins
Stand-ins for the host framework that a real modelling host brings its
own of: the services library vorn_services, the reference host, and the
command-line tool dalvex-run, which solves built-in problems through the
Dalvex plug-in as a host does.")
  # The extension module holds the numeric code itself (no libpemric); it is
  # built for one Python version, and its modules import NumPy and SciPy.
  set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-dalvex)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
  math(EXPR _python_next "${Python_VERSION_MINOR} + 1")
  set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
      "python3 (>= ${Python_VERSION_MAJOR}.${Python_VERSION_MINOR}), python3 (<< ${Python_VERSION_MAJOR}.${_python_next}), python3-numpy, python3-scipy")
  set(CPACK_DEBIAN_PYTHON_DESCRIPTION "sparse nonlinear equations and least squares: Python package
The Python package dalvex for Debian's python3: a sparse symmetric
indefinite LDL^T factorization with its inertia, and sparse nonlinear
least squares and root finding by a sparse Levenberg-Marquardt method,
in NumPy's and SciPy's conventions.")
  # The licence in each package's copyright file, in Debian's machine-readable
  # format: the text of LICENSE, indented, with "." for its empty lines.
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE _license)
  string(REGEX REPLACE "\n$" "" _license "${_license}")
  string(REGEX REPLACE "\n\n" "\n.\n" _license "${_license}")
  string(REGEX REPLACE "\n" "\n " _license " ${_license}")
  file(WRITE ${PROJECT_BINARY_DIR}/debian-copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: Dalvex
Upstream-Contact: ${CPACK_PACKAGE_CONTACT}

Files: *
Copyright: 2026 the Dalvex developers
License: BSD-3-Clause

License: BSD-3-Clause
${_license}
")
  set(_components runtime development host)
  if(DALVEX_PYTHON_BUILT)
    list(APPEND _components python)
  endif()
  foreach(_component IN LISTS _components)
    string(TOUPPER ${_component} _upper)
    set(_package ${CPACK_DEBIAN_${_upper}_PACKAGE_NAME})
    install(FILES ${PROJECT_BINARY_DIR}/debian-copyright DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${_package}
            RENAME copyright COMPONENT ${_component})
  endforeach()
endif()
include(CPack)
cpack_add_component(runtime DISPLAY_NAME "Runtime")
cpack_add_component(development DISPLAY_NAME "Development" DEPENDS runtime)
cpack_add_component(host DISPLAY_NAME "Host stand-ins" DEPENDS runtime)
cpack_add_component(python DISPLAY_NAME "Python package")
