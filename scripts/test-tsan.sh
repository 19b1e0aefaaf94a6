#!/usr/bin/env bash
# Builds with ThreadSanitizer into build-tsan/ and runs the tests labelled
# "environment": several solvers at once on threads of their own, the output
# stream registry and the unit reservation driven from several threads.
# Only those tests' program and the module are built, which keeps this step
# to a few minutes. Installs what is missing first (Debian packages only).
# Usage: scripts/test-tsan.sh [extra cmake arguments]
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-packages.sh build-essential cmake libtsan2 libopenblas-dev googletest libgtest-dev

build_dir=${BUILD_DIR:-build-tsan}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} -DDALVEX_TSAN=ON \
      -DDALVEX_BUILD_BENCH=OFF "$@" >/dev/null
cmake --build "$build_dir" -j "$(nproc)" --target environment_tests
# A report fails the test at once, with both stacks of the race.
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}" \
  ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)" -L environment
