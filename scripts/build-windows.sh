#!/usr/bin/env bash
# Cross-builds the 32-bit Windows binaries into build-win32/ with Debian's MinGW-w64
# toolchain (g++-mingw-w64-i686): the numeric static libraries, the plug-in DLL
# vorn_dalvex.dll and the stand-in services library vorn_services.dll; then
# packs the integrators' zip build-win32/packages/dalvex-<version>-win32.zip
# (CPack). Building needs no Wine: no program runs until the tests do.
#
# BLAS for the target: the reference BLAS (and the double-precision LAPACK the
# tests use as an independent reference) compiled from Debian's `lapack` source
# package with gfortran-mingw-w64-i686 and linked statically, so the DLL depends
# on nothing but Windows system DLLs. The reference BLAS is unblocked Fortran:
# simple and correct, several times slower than OpenBLAS on the factorization's
# large frontal updates (see docs/platforms.md, "BLAS for Windows").
#
# Installs what is missing first (Debian packages only, idempotent; root or
# sudo), including a deb-src entry beside the existing Debian entry.
# Usage: scripts/build-windows.sh [--test] [extra cmake arguments]
#   --test   also run the test suite under Wine (Debian wine32), and build and
#            run the consumers against the unpacked zip (scripts/test-consumers.sh)
#   --packages-only   install the build's packages (not Wine) and stop: for a
#            caller that must see the toolchain on PATH before it runs the build
#            (scripts/without-wine.sh makes PATH from the programs present)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

run_tests=""
packages_only=""
if [ "${1:-}" = "--test" ]; then run_tests=1; shift; fi
if [ "${1:-}" = "--packages-only" ]; then packages_only=1; shift; fi

sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"

# --- packages ---------------------------------------------------------------
packages=(cmake make g++-mingw-w64-i686 gfortran-mingw-w64-i686 binutils-mingw-w64-i686
          dpkg-dev googletest libcli11-dev nlohmann-json3-dev libfccp-dev)
scripts/install-packages.sh "${packages[@]}"
[ -n "$packages_only" ] && exit 0
if [ -n "$run_tests" ]; then
  if ! grep -qx i386 <<<"$(dpkg --print-foreign-architectures)"; then
    $sudo_cmd dpkg --add-architecture i386
    scripts/apt-update.sh
  fi
  # Wine runs the suite; clang checks the Microsoft names the plug-in binds to
  # (host_interface_msvc_names). wine32 needs every i386 library at the very
  # version of its x86-64 twin: while the archive's i386 index lags behind
  # (a mirror caught mid-sync), it cannot be installed at all; the log then
  # says plainly that the suite did not run (CI builds without --test first).
  if ! scripts/install-packages.sh wine wine32:i386 clang-14; then
    echo "build-windows: NOT RUN: the suite under Wine, as wine32 could not be installed" \
         "from the package archive (apt's message above); the build alone is" \
         "scripts/build-windows.sh without --test" >&2
    exit 0
  fi
fi
# Wine's 32-bit loader is a 32-bit Linux program.
i386_mode=""
[ -n "$run_tests" ] && i386_mode=$(scripts/enable-i386-programs.sh)

# --- BLAS for the target, from the lapack source package ---------------------
deps=${DEPS_DIR:-$root/build-win32-deps}
mkdir -p "$deps"
blas_lib=$deps/install/lib/libblas.a
lapack_lib=$deps/install/lib/liblapack.a
if [ ! -f "$blas_lib" ] || [ ! -f "$lapack_lib" ]; then
  if ! apt-cache showsrc lapack >/dev/null 2>&1 || \
     [ -z "$(apt-cache showsrc lapack 2>/dev/null)" ]; then
    # A deb-src entry mirroring the existing Debian one (same archive, same release).
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    uri=$(grep -hE '^URIs:.*/debian/?$' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -1 \
          | awk '{print $2}')
    [ -z "$uri" ] && uri=$(grep -hE '^deb [^ ]*/debian/? ' /etc/apt/sources.list 2>/dev/null \
          | head -1 | awk '{print $2}')
    [ -z "$uri" ] && uri=http://deb.debian.org/debian
    printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: %s\n' \
      "$uri" "$codename" /usr/share/keyrings/debian-archive-keyring.gpg |
      $sudo_cmd tee /etc/apt/sources.list.d/debian-src.sources >/dev/null
    scripts/apt-update.sh
  fi
  src=$(find "$deps" -maxdepth 1 -type d -name 'lapack-*' | head -1)
  if [ -z "$src" ]; then
    (cd "$deps" && apt-get source -qq lapack >/dev/null 2>&1 || apt-get source lapack)
    src=$(find "$deps" -maxdepth 1 -type d -name 'lapack-*' | head -1)
  fi
  # Double precision only; CBLAS, LAPACKE and the testers are not needed, nor
  # the checks of the compiler's complex arithmetic (TEST_FORTRAN_COMPILER),
  # which would run Windows programs in the middle of the build.
  rm -rf "$deps/build"
  cmake -S "$src" -B "$deps/build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-i686.cmake" \
        -DCMAKE_Fortran_COMPILER=i686-w64-mingw32-gfortran-posix \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_Fortran_FLAGS="-msse2 -mfpmath=sse" \
        -DCMAKE_INSTALL_PREFIX="$deps/install" -DCMAKE_INSTALL_LIBDIR=lib -DBUILD_SHARED_LIBS=OFF \
        -DBUILD_SINGLE=OFF -DBUILD_DOUBLE=ON -DBUILD_COMPLEX=OFF -DBUILD_COMPLEX16=OFF \
        -DCBLAS=OFF -DLAPACKE=OFF -DBUILD_TESTING=OFF -DTEST_FORTRAN_COMPILER=OFF \
        -DUSE_OPTIMIZED_BLAS=OFF >/dev/null
  cmake --build "$deps/build" -j "$(nproc)" --target install >/dev/null
fi

# --- the product --------------------------------------------------------------
build_dir=${BUILD_DIR:-build-win32}
# The Fortran runtime is linked statically into whatever uses BLAS.
fortran_rt="gfortran;quadmath"
cmake -S . -B "$build_dir" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-i686.cmake \
      -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-Release} -DDALVEX_BUILD_BENCH=OFF \
      -DDALVEX_BLAS_LIBRARIES="$blas_lib;$fortran_rt" \
      -DDALVEX_LAPACK_LIBRARIES="$lapack_lib;$blas_lib;$fortran_rt" "$@" >/dev/null
cmake --build "$build_dir" -j "$(nproc)"
rm -f "$build_dir"/packages/*.zip
(cd "$build_dir" && cpack -G ZIP >/dev/null)
zip_file=$(ls "$build_dir"/packages/dalvex-*-win32.zip)
echo "integrators' zip: $zip_file"

if [ -n "$run_tests" ]; then
  # One Wine prefix and one server for the whole run: creating the prefix takes
  # longer than CTest allows a test program to list its tests.
  export WINEPREFIX=${WINEPREFIX:-$root/$build_dir/wineprefix}
  # Wine's own background processes are started here, detached from CTest's
  # pipes; started by a test instead, they would hold its output open. This
  # first program is Wine's own: where it cannot start, no test can, and the
  # log says so instead of ending the script without a word.
  if ! scripts/wine-run.sh cmd /c exit >/dev/null 2>&1; then
    why="Wine could not start a program of its own"
    if [ "$i386_mode" = emulated ]; then
      why="$why (this kernel runs 32-bit programs only under qemu-i386, where Wine's loader cannot map its shared memory)"
    fi
    echo "build-windows: NOT RUN: the suite under Wine: $why; the build and the zip above are made" >&2
    wineserver --kill 2>/dev/null || true
    exit 0
  fi
  wineserver --wait 2>/dev/null || true
  wineserver --persistent=60 2>/dev/null || true
  scripts/wine-run.sh cmd /c exit >/dev/null 2>&1
  status=0
  ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)" || status=$?
  if [ $status -eq 0 ]; then
    unpacked=$(mktemp -d "${TMPDIR:-/tmp}/dalvex-zip.XXXXXX")
    (cd "$unpacked" && cmake -E tar xf "$root/$zip_file")
    scripts/test-consumers.sh --windows "$unpacked"/dalvex-*-win32 || status=$?
    rm -rf "$unpacked"
  fi
  wineserver --kill 2>/dev/null || true
  exit $status
fi
