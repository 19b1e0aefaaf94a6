# GoogleTest compiled inside our own build from Debian's googletest source package,
# for targets whose word size or operating system differs from the installed
# libgtest (the 32-bit and the Windows builds). Provides GTest::gtest and
# GTest::gtest_main as find_package(GTest) would.
set(DALVEX_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest source tree")
if(NOT EXISTS ${DALVEX_GTEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${DALVEX_GTEST_SOURCE_DIR} "
                      "(Debian package googletest)")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(gtest_disable_pthreads ${WIN32} CACHE BOOL "" FORCE)
# GoogleTest's own sources are not held to our warning list or visibility.
set(_dalvex_saved_visibility ${CMAKE_CXX_VISIBILITY_PRESET})
set(CMAKE_CXX_VISIBILITY_PRESET default)
add_subdirectory(${DALVEX_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL)
set(CMAKE_CXX_VISIBILITY_PRESET ${_dalvex_saved_visibility})
if(NOT TARGET GTest::gtest_main)
  add_library(GTest::gtest ALIAS gtest)
  add_library(GTest::gtest_main ALIAS gtest_main)
endif()
set(GTest_FOUND TRUE)
