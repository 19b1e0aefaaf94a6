#!/usr/bin/env bash
# Installs what the build needs (Debian packages only) and builds into build/.
# Usage: scripts/setup.sh [extra cmake arguments]
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(build-essential cmake pkg-config libopenblas-dev libopenblas-serial-dev libblas-dev
          googletest libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev gfortran
          nlohmann-json3-dev libfccp-dev
          libmetis-dev libceres-dev libsundials-dev liblapack-dev libmumps-seq-dev
          python3-numpy python3-scipy python3-pytest)
scripts/install-packages.sh "${packages[@]}"

build_dir=${BUILD_DIR:-build}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} "$@" >/dev/null
cmake --build "$build_dir" -j "$(nproc)"
