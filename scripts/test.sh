#!/usr/bin/env bash
# Builds everything and runs every test (unit and end-to-end) under Wine.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
"$ROOT/scripts/build.sh"
# A test program that crashes ends at once, instead of waiting in Wine's debugger until
# ctest's time-out.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=};winedbg.exe=d"
. "$ROOT/scripts/wine_env.sh"
trap wine_env_cleanup EXIT
# One test at a time: all Wine processes of a prefix share one desktop and registry.
# A failed test runs once more, and both runs are printed: Wine 8 in a new prefix has
# been seen to crash once in gdi32 in a dialog test that passes otherwise.
ctest --test-dir "$BUILD_DIR" -j1 --output-on-failure --repeat until-pass:2 "$@"
