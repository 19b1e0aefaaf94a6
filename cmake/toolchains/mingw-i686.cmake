# 32-bit Windows cross-build with Debian's g++-mingw-w64-i686 (posix threads flavour).
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-i686.cmake
# scripts/build-windows.sh drives it, with the BLAS it builds for this target.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(_mingw i686-w64-mingw32)

find_program(_mingw_cc NAMES ${_mingw}-gcc-posix ${_mingw}-gcc REQUIRED)
find_program(_mingw_cxx NAMES ${_mingw}-g++-posix ${_mingw}-g++ REQUIRED)
set(CMAKE_C_COMPILER ${_mingw_cc})
set(CMAKE_CXX_COMPILER ${_mingw_cxx})
set(CMAKE_RC_COMPILER ${_mingw}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# IEEE double rounding in SSE2 registers, as in the 32-bit Linux build.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
# The hosts load our DLLs into their own process: carry no dependency on the
# MinGW runtime DLLs (libgcc_s, libstdc++, libwinpthread, libgfortran).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Programs and DLLs side by side, as Windows finds a program's DLLs in its own
# folder.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# Test executables run under Wine, when it is installed (Debian wine32), through
# a wrapper that keeps Wine quiet and in a prefix of its own.
find_program(DALVEX_WINE NAMES wine)
if(DALVEX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../../scripts/wine-run.sh)
endif()

# BLAS and LAPACK are the target libraries named by the build script
# (DALVEX_BLAS_LIBRARIES, DALVEX_LAPACK_LIBRARIES), not searched for.
list(PREPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR}/../cross)
# Header-only CLI11 and nlohmann/json from the build machine, without its
# /usr/include.
set(CLI11_DIR ${CMAKE_CURRENT_LIST_DIR}/../cross/cli11)
set(nlohmann_json_DIR ${CMAKE_CURRENT_LIST_DIR}/../cross/nlohmann_json)

# Tests are listed when CTest runs (under Wine), not while building, so the
# build itself needs no Wine.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)

set(DALVEX_GTEST_FROM_SOURCE ON CACHE BOOL "Build GoogleTest from /usr/src/googletest")
