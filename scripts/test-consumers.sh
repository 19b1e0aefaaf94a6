#!/usr/bin/env bash
# Builds and runs the consumers of tests/consumers/ against an installation,
# as an integrator would: from a copy of the consumer sources alone, in a
# temporary folder, configured and built out of tree with nothing of this
# repository or its build on any search path.
#   find_package  solve.c through the CMake package Dalvex (shared and static)
#   pkg_config    solve.c through pkg-config libpemric (shared and static)
#   c_host        the plain-C host loading the installed plug-in beside the
#                 installed stand-in services library
#   cpp_api       the C++ interface's examples through Dalvex::dalvex
#   python        python/solve.py importing the installed Python package with
#                 Debian's python3, when the installation has it
#
# Usage: scripts/test-consumers.sh PREFIX
#          an installation (cmake --install ... --prefix PREFIX); PREFIX /usr
#          means the installed Debian packages, which CMake and pkg-config
#          must then find by themselves
#        scripts/test-consumers.sh --windows PREFIX
#          the unpacked Windows zip: find_package and c_host, cross-built with
#          MinGW-w64 and run under Wine
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
windows=""
if [ "${1:-}" = "--windows" ]; then windows=1; shift; fi
[ $# -eq 1 ] || { echo "usage: $0 [--windows] PREFIX" >&2; exit 2; }
prefix=$(realpath "$1")

work=$(mktemp -d "${TMPDIR:-/tmp}/dalvex-consumers.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp -r "$root/tests/consumers" "$work/src"
cd "$work"

cmake_args=()
[ "$prefix" = /usr ] || cmake_args+=(-DCMAKE_PREFIX_PATH="$prefix")
if [ -n "$windows" ]; then
  # What a MinGW-w64 integrator's own toolchain file says; programs run under Wine.
  cat >mingw.cmake <<TOOLCHAIN
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_CROSSCOMPILING_EMULATOR $root/scripts/wine-run.sh)
TOOLCHAIN
  cmake_args+=(-DCMAKE_TOOLCHAIN_FILE="$work/mingw.cmake")
fi

consumers=(find_package c_host)
[ -n "$windows" ] || consumers+=(cpp_api)  # the C++ interface is not in the Windows zip
for consumer in "${consumers[@]}"; do
  echo "== consumer $consumer against $prefix"
  cmake -S "src/$consumer" -B "build-$consumer" "${cmake_args[@]}" >"$consumer.log" 2>&1 ||
    { cat "$consumer.log"; exit 1; }
  cmake --build "build-$consumer" -j 2 >>"$consumer.log" 2>&1 || { cat "$consumer.log"; exit 1; }
  ctest --test-dir "build-$consumer" --output-on-failure
done

if [ -z "$windows" ]; then
  echo "== consumer pkg_config against $prefix"
  if [ "$prefix" != /usr ]; then
    pc=$(find "$prefix" -name libpemric.pc -path '*/pkgconfig/*' | head -1)
    export PKG_CONFIG_PATH=$(dirname "$pc")
  fi
  make -s -C src/pkg_config check

  # The Python package: on Debian's own path for /usr, else below the prefix.
  if [ "$prefix" = /usr ]; then
    package=$(ls /usr/lib/python3/dist-packages/dalvex/__init__.py 2>/dev/null || true)
  else
    package=$(find "$prefix" -path '*/dist-packages/dalvex/__init__.py' | head -1)
  fi
  if [ -n "$package" ]; then
    echo "== consumer python against $prefix"
    if [ "$prefix" = /usr ]; then
      /usr/bin/python3 src/python/solve.py "$prefix"
    else
      PYTHONPATH=$(dirname "$(dirname "$package")") /usr/bin/python3 src/python/solve.py "$prefix"
    fi
  fi
fi
echo "consumers: all passed against $prefix"
