#!/usr/bin/env bash
# Builds everything as 32-bit x86 (-m32) into build-32/ and runs the whole test
# suite there: the hosts run the plug-in in a 32-bit process, so pointer size,
# structure layouts and 32-bit size limits are exercised for real.
# Installs what is missing first (Debian packages only, idempotent; root or sudo).
# Usage: scripts/test-32.sh [extra cmake arguments]
set -euo pipefail
cd "$(dirname "$0")/.."

sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo_cmd dpkg --add-architecture i386
fi
# GoogleTest comes from its source package and is compiled at -m32 in the build;
# the header-only libraries serve every word size.
packages=(build-essential cmake g++-multilib googletest libcli11-dev nlohmann-json3-dev libfccp-dev
          libopenblas-dev:i386 libblas-dev:i386 liblapack-dev:i386)
scripts/install-packages.sh "${packages[@]}"

build_dir=${BUILD_DIR:-build-32}
cmake -S . -B "$build_dir" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/linux-i686.cmake \
      -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} -DDALVEX_BUILD_BENCH=OFF "$@" >/dev/null
cmake --build "$build_dir" -j "$(nproc)"
ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)"
