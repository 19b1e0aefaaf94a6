# 32-bit Linux build on an x86-64 Debian host (g++-multilib, i386 libraries).
#   cmake -S . -B build-32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/linux-i686.cmake
# The 32-bit build exercises the data layouts and size limits of the 32-bit hosts
# for real: pointers, size_t and long are 4 bytes here, as in the hosts' process.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
# x87 arithmetic would keep intermediates in 80 bits; SSE2 gives the IEEE double
# rounding the numeric routines and their tests are written for.
string(APPEND CMAKE_C_FLAGS_INIT " -msse2 -mfpmath=sse")
string(APPEND CMAKE_CXX_FLAGS_INIT " -msse2 -mfpmath=sse")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")

# Only i386 libraries may be found; the x86-64 ones would link-fail late.
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu /lib/x86_64-linux-gnu
                      /usr/lib/x86_64-linux-gnu/cmake)
set(FIND_LIBRARY_USE_LIB64_PATHS OFF)
set_property(GLOBAL PROPERTY FIND_LIBRARY_USE_LIB64_PATHS OFF)

# GoogleTest is compiled from Debian's source package inside the build, so the
# test framework matches the target word size without a second -dev package.
set(DALVEX_GTEST_FROM_SOURCE ON CACHE BOOL "Build GoogleTest from /usr/src/googletest")
