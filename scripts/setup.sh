#!/usr/bin/env bash
# Installs what the build needs (Debian packages only) and builds into build/.
# Usage: scripts/setup.sh [extra cmake arguments]
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(build-essential cmake pkg-config libopenblas-dev libopenblas-serial-dev libblas-dev
          googletest libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev gfortran
          nlohmann-json3-dev libfccp-dev
          libmetis-dev libceres-dev libsundials-dev liblapack-dev libmumps-seq-dev
          python3-dev python3-numpy python3-scipy python3-pybind11 pybind11-dev
          python3-pytest python3-hypothesis)
scripts/install-packages.sh "${packages[@]}"

build_dir=${BUILD_DIR:-build}
# The Python package is built and tested with Debian's interpreter, whose
# NumPy, SciPy and pybind11 are the packages above; the python3 first on the
# PATH may be another one without them.
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} \
      -DPython_EXECUTABLE=/usr/bin/python3 "$@" >/dev/null
cmake --build "$build_dir" -j "$(nproc)"
