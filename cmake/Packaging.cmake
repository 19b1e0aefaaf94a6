# Packages made by CPack from the install components (cmake/Install.cmake),
# into build/packages/:
#   Debian (cpack -G DEB):  dalvex      runtime: libpemric.so.1, the plug-in, the docs
#                           dalvex-dev  development: headers, libpemric.so and .a,
#                                       the CMake package and the pkg-config file
#                           dalvex-host the stand-ins for the host framework (optional)
#                           python3-dalvex  the Python package (python/), for Debian's
#                                       python3 of this build's version
#   Windows (cpack -G ZIP): one zip holding all three, with a README for integrators
set(CPACK_PACKAGE_NAME dalvex)
set(CPACK_PACKAGE_VENDOR "Dalvex developers")
set(CPACK_PACKAGE_CONTACT "Dalvex developers <dalvex@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Sparse Levenberg-Marquardt solver plug-in and its numeric routines")
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
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libopenblas-dev")
  # A shlibs file in dalvex, so that packages built against dalvex-dev get
  # their dependency on it from dpkg-shlibdeps. (CPack warns that the plug-in
  # and the stand-in services library, which have no SONAME, stay out of it.)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SUGGESTS "dalvex-host")
  # The extension module holds the numeric code itself (no libpemric); it is
  # built for one Python version, and its modules import NumPy and SciPy.
  set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-dalvex)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
  math(EXPR _python_next "${Python_VERSION_MINOR} + 1")
  set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
      "python3 (>= ${Python_VERSION_MAJOR}.${Python_VERSION_MINOR}), python3 (<< ${Python_VERSION_MAJOR}.${_python_next}), python3-numpy, python3-scipy")
endif()
include(CPack)
cpack_add_component(runtime DISPLAY_NAME "Runtime"
  DESCRIPTION "The numeric routines as the shared library libpemric and the solver plug-in vorn_dalvex, which a modelling host loads.")
cpack_add_component(development DISPLAY_NAME "Development" DEPENDS runtime
  DESCRIPTION "Headers, link library and static archive of libpemric, the host interface headers, the CMake package Dalvex and the pkg-config file libpemric.")
cpack_add_component(python DISPLAY_NAME "Python package"
  DESCRIPTION "The Python package dalvex: a sparse symmetric indefinite LDL^T factorization with its inertia, and sparse nonlinear least squares and root finding, in NumPy's and SciPy's conventions.")
cpack_add_component(host DISPLAY_NAME "Host stand-ins" DEPENDS runtime
  DESCRIPTION "Stand-ins for the host framework, which a real host brings its own of: the services library vorn_services, the reference host and the command-line host dalvex-run.")
