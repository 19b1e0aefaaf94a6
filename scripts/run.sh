#!/usr/bin/env bash
# Sets everything up, builds, and runs the main job on its built-in example.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
exec build/apps/dalvex-run "$@"
