#!/usr/bin/env bash
# Builds with ThreadSanitizer into build-tsan/ and runs the tests labelled
# "environment": several solvers at once on threads of their own, the output
# stream registry and the unit reservation driven from several threads; and
# the factorization's own thread tests.
# Only those tests' program and the module are built, which keeps this step
# to a few minutes. Installs what is missing first (Debian packages only).
# Usage: scripts/test-tsan.sh [extra cmake arguments]
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-packages.sh build-essential cmake libtsan2 libopenblas-dev libopenblas-serial-dev googletest libgtest-dev

build_dir=${BUILD_DIR:-build-tsan}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} -DDALVEX_TSAN=ON \
      -DDALVEX_BUILD_BENCH=OFF "$@" >/dev/null
cmake --build "$build_dir" -j "$(nproc)" --target environment_tests sparse_symmetric_factor_threads_test
# A report fails the test at once, with both stacks of the race. Each solver's
# factorizations run on three threads of their own (subtrees apart, tiles of
# large fronts shared), whatever the machine's cores.
export DALVEX_NUM_THREADS=${DALVEX_NUM_THREADS:-3}
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)" -L environment
ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)" -R "ThreadCounts|BlasIsolation"
