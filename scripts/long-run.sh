#!/usr/bin/env bash
# The long runs at full length: 10,000 create / set-up / solve / release
# cycles in one process, then 1,000 solves on one solver object, with the
# count of live heap blocks checked after every cycle and the resident
# memory sampled every tenth of the run (from the second sample on it may
# grow by at most 256 KiB). The suite runs the same tests with 200 cycles and 100
# solves. Linux only (the heap hook and /proc). Figures: docs/robustness.md.
# Usage: scripts/long-run.sh [cycles [solves]]   (BUILD_DIR, default build/)
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${BUILD_DIR:-build}
if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build_dir" -j "$(nproc)" --target heap_tests vorn_dalvex
program=$(realpath "$build_dir/tests/hardening/heap_tests")
DALVEX_LONG_RUN_CYCLES=${1:-10000} DALVEX_LONG_RUN_SOLVES=${2:-1000} \
  "$program" --gtest_filter='LongRun.*'
