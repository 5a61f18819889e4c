#!/usr/bin/env bash
# The run command as a new user meets it on a machine without a display: it runs the
# agent for a short while, saves its pictures and ends the agent through its Exit
# command, so the journal ends with the detach and the library's close.
# Runs inside test.sh's prefix; registry values the agent wrote are removed at the end.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
. "$BUILD_DIR/generated/product.sh"
JOURNAL="$BUILD_DIR/run/$PRODUCT_SIM_JOURNAL"
OUT="$(mktemp)"
fail() { echo "FAIL: $*"; exit 1; }
cleanup() {
    rm -f "$OUT"
    wine reg delete "$PRODUCT_AGENT_KEY" /f >/dev/null 2>&1 || true
    wine reg delete "$PRODUCT_RUN_KEY" /v "$PRODUCT_RUN_VALUE" /f >/dev/null 2>&1 || true
}
trap cleanup EXIT

rc=0
env -u DISPLAY RUN_SECONDS="${RUN_SECONDS:-14}" "$ROOT/scripts/run.sh" >"$OUT" 2>&1 </dev/null || rc=$?
cat "$OUT"
[ "$rc" = 0 ] || fail "run.sh exited with $rc"

# The last call is the close, and a detach follows the last attach.
tail -n 1 "$JOURNAL" | grep -q ' WUSBClose() = 0' || fail "journal does not end with WUSBClose"
last_import=$(grep -n 'WUSBImportDevice(' "$JOURNAL" | tail -n 1 | cut -d: -f1)
last_unimport=$(grep -n 'WUSBUnimportDevice(' "$JOURNAL" | tail -n 1 | cut -d: -f1)
[ -n "$last_import" ] || fail "the device was never attached"
[ "${last_unimport:-0}" -gt "$last_import" ] || fail "no detach after the last attach"

# Each named picture shows its window, exists, and no single colour covers most of it.
! grep '^No .* window seen' "$OUT" || fail "a picture without its subject"
pictures=$(sed -n 's/^Picture: //p' "$OUT")
[ "$(echo "$pictures" | grep -c png)" = 3 ] || fail "expected three pictures, got: $pictures"
for picture in $pictures; do
    [ -s "$picture" ] || fail "missing $picture"
    pixels=$(identify -format '%[fx:w*h]' "$picture")
    # sed reads the whole sorted list: head would leave sort to a broken pipe, which pipefail counts.
    top=$(convert "$picture" -format %c histogram:info:- | sort -t: -k1 -n -r | sed -n 1p | cut -d: -f1)
    [ $(( 100 * top / pixels )) -lt 90 ] || fail "$picture is mostly one colour"
done
echo "PASS"
