#!/usr/bin/env bash
# Builds everything and runs every test (unit and end-to-end) under Wine.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
"$ROOT/scripts/build.sh"
. "$ROOT/scripts/wine_env.sh"
trap wine_env_cleanup EXIT
# One test at a time: all Wine processes of a prefix share one desktop and registry.
ctest --test-dir "$BUILD_DIR" -j1 --output-on-failure "$@"
