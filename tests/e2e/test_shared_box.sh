#!/usr/bin/env bash
# Several computers sharing one box, on one machine (scripts/computers.sh: a Wine prefix
# per computer, one world file for all):
#   two computers:  two imports at the same moment give the device to exactly one;
#   four computers: one holds the device and gives it back by itself after a minute
#                   without input ([share] release_after=1), and it reaches exactly one of
#                   the other three, whose two others show it in use by that one.
# Every agent is ended with its Exit command and every computer's wineserver stopped.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
GIVEN_PREFIX="${WINEPREFIX:-}"   # test.sh's, whose wineserver stays
. "$ROOT/scripts/wine_env.sh"    # a display
COMPUTERS_DIR="$BUILD_DIR/shared_box"
. "$ROOT/scripts/computers.sh"
BOX_IMPORT="$BUILD_DIR/tests/box_import.exe"
IMPORT_OK='WUSBImportDevice(167880896,1) = 0'
UNIMPORT_OK='WUSBUnimportDevice(167880896,1) = 0'
WAIT_S=60          # the longest wait for one thing: first starts in new prefixes are slow
ROUNDS=3           # imports at the same moment
T0=$(date +%s)

say() { echo "[$(( $(date +%s) - T0 ))s] $*"; }
fail() { echo "FAIL: $*"; exit 1; }
wait_for() { local what="$1"; shift; wait_until "$WAIT_S" "$@" || fail "not seen within $WAIT_S s: $what"; }
count_in() { grep -c -F "$2" "$1" 2>/dev/null || true; }
tooltip_ends_with() { [[ "$(ctl "$1" tooltip)" == *" $2" ]]; }
holder_is() { [ "$(world_value status)" = 3 ] && [ "$(world_value holder)" = "$1" ]; }
held_by_other_than() {
    local holder; holder="$(world_value holder)"
    [ "$(world_value status)" = 3 ] && [ -n "$holder" ] && [ "$holder" != "$1" ]
}

# The holder gives the device back by itself after a minute without input: nobody
# touches the display here, so a minute after the attach (and a warning half way).
RELEASE_AFTER_MIN=1
away_release_on() {   # N
    sed -i "s/^release_after=0/release_after=$RELEASE_AFTER_MIN/" "$(prog_of "$1")/Setting.ini"
    grep -q "^release_after=$RELEASE_AFTER_MIN" "$(prog_of "$1")/Setting.ini" || fail "no release_after in PC-$1"
}

cleanup() {
    local rc=$?
    stop_computers
    if [ -n "$GIVEN_PREFIX" ]; then
        [ -n "${XVFB_PID:-}" ] && { kill "$XVFB_PID" 2>/dev/null || true; }
    else
        wine_env_cleanup
    fi
    [ "$rc" = 0 ] && rm -rf "$COMPUTERS_DIR"
    exit "$rc"
}
trap cleanup EXIT

rm -rf "$COMPUTERS_DIR"
for n in 1 2 3 4; do make_computer "$n"; done
say "four computers, their prefixes copied from $TEMPLATE_PREFIX"

# ---- Two computers import at the same moment -------------------------------------
GO="$COMPUTERS_DIR/go"
both_ready() { grep -qs ready "$COMPUTERS_DIR/import1.out" && grep -qs ready "$COMPUTERS_DIR/import2.out"; }
for round in $(seq "$ROUNDS"); do
    free_world
    rm -f "$GO"
    for n in 1 2; do
        on_pc "$n" wine "$BOX_IMPORT" "$(win "$(prog_of "$n")")" "$(win "$GO")" >"$COMPUTERS_DIR/import$n.out" 2>&1 &
    done
    wait_for "both computers ready to import" both_ready
    touch "$GO"
    wait
    results=$(cat "$COMPUTERS_DIR/import1.out" "$COMPUTERS_DIR/import2.out" | tr -d '\r' | grep '^PC-' | sort)
    say "round $round: $(echo "$results" | cut -d' ' -f1,2 | paste -sd' ')"
    [ "$(echo "$results" | wc -l)" = 2 ] || fail "expected two results, got: $results"
    winner=$(echo "$results" | awk '$2 == 0 {print $1}')
    [ "$(echo "$winner" | grep -c .)" = 1 ] || fail "not exactly one import succeeded: $results"
    [ "$(echo "$results" | awk -v w="$winner" '$1 != w {print $2}')" = 2 ] ||
        fail "the other import did not find the device in use"
    holder_is "$winner" || fail "the world names $(world_value holder), not $winner"
done
for n in 1 2; do rm -f "$(journal_of "$n")"; done

# ---- Four computers: the device given back reaches exactly one other ---------------
free_world
away_release_on 1
start_agent 1
wait_for "PC-1 holding the device" holder_is PC-1
say "PC-1 holds the device"
for n in 2 3 4; do start_agent "$n"; done
for n in 2 3 4; do wait_for "PC-$n showing the device in use by PC-1" tooltip_ends_with "$n" PC-1; done
say "PC-2, PC-3 and PC-4 show it in use by PC-1"

# The release comes a minute after the attach: longer than one thing usually takes.
wait_until $(( RELEASE_AFTER_MIN * 60 + WAIT_S )) held_by_other_than PC-1 ||
    fail "the device never reached a computer other than PC-1"
winner=$(world_value holder)
say "the device went to $winner"
others=()
for n in 2 3 4; do [ "PC-$n" = "$winner" ] || others+=("$n"); done
[ "${#others[@]}" = 2 ] || fail "$winner is none of PC-2, PC-3, PC-4"
for n in "${others[@]}"; do
    wait_for "PC-$n showing the device in use by $winner" tooltip_ends_with "$n" "$winner"
done
say "the two others show it in use by $winner"
imports=0
for n in 2 3 4; do imports=$(( imports + $(count_in "$(journal_of "$n")" "$IMPORT_OK") )); done
[ "$imports" = 1 ] || fail "$imports successful imports among PC-2, PC-3, PC-4"
[ "$(count_in "$(journal_of 1)" "$IMPORT_OK")" = 1 ] || fail "PC-1 attached more than once"
[ "$(count_in "$(journal_of 1)" "$UNIMPORT_OK")" = 1 ] || fail "PC-1 did not give the device back once"

# Every agent ended by its Exit command: those waiting first, then the holder, whose
# exit frees the device, and PC-1, which no longer wants it.
exit_agents "${others[@]}" || fail "an agent waiting for the device did not exit"
exit_agents "${winner#PC-}" 1 || fail "$winner's or PC-1's agent did not exit"
say "all four agents ended"
echo "PASS"
