#!/usr/bin/env bash
# Several computers sharing one box, on one machine. Each computer is a Wine prefix of
# its own (its own wineserver, registry and desktop, on the one X display), all of them
# read and write one world file through Z:\, and the stand-in of each names its computer
# by the environment.
#   two computers:  two imports at the same moment give the device to exactly one;
#   four computers: one holds the device and gives it back, and it reaches exactly one of
#                   the other three, whose two others show it in use by that one.
# The computers' prefixes are copies of the caller's initialised one; every agent is
# ended with its Exit command and every prefix's wineserver stopped at the end.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
. "$BUILD_DIR/generated/product.sh"
GIVEN_PREFIX="${WINEPREFIX:-}"   # test.sh's, whose wineserver stays
. "$ROOT/scripts/wine_env.sh"    # the caller's prefix and display (Xvfb when there is none)
BASE_PREFIX="$WINEPREFIX"
WORK="$BUILD_DIR/shared_box"
WORLD="$WORK/wusb_sim.ini"
CTL="$BUILD_DIR/agentctl/agentctl.exe"
BOX_IMPORT="$BUILD_DIR/tests/box_import.exe"
IMPORT_OK='WUSBImportDevice(167880896,1) = 0'
UNIMPORT_OK='WUSBUnimportDevice(167880896,1) = 0'
WAIT_S=60                        # the longest wait for one thing: first starts in new prefixes are slow
ROUNDS=3                         # imports at the same moment, two computers
T0=$(date +%s)
STARTED=()                       # computers whose prefix ran something

say() { echo "[$(( $(date +%s) - T0 ))s] $*"; }
fail() { echo "FAIL: $*"; exit 1; }
win() { printf 'Z:%s' "${1//\//\\}"; }   # a Linux path as Windows sees it

# A computer: a prefix and a program folder of its own, one world for all.
prefix_of() { echo "$WORK/pc$1"; }
prog_of() { echo "$WORK/prog$1"; }
journal_of() { echo "$(prog_of "$1")/$PRODUCT_SIM_JOURNAL"; }
on_pc() {   # N command...: runs a command as computer N
    local n="$1"; shift
    env WINEPREFIX="$(prefix_of "$n")" WUSB_SIM_SCENARIO="$(win "$WORLD")" \
        "$PRODUCT_SIM_COMPUTER_NAME_ENV=PC-$n" "$@"
}
ctl() { on_pc "$1" wine "$CTL" "pc$1" "${@:2}" 2>/dev/null | tr -d '\r'; }

# A copy of the initialised prefix, its system files hard-linked (seconds instead of a
# wineboot). Wine rewrites a hard-linked registry file in place, and the profile
# functions write .ini files in place: those, and the user's folder, are real copies.
make_computer() {
    local n="$1" dir; dir="$(prefix_of "$n")"
    rm -rf "$dir" "$(prog_of "$n")"
    cp -al "$BASE_PREFIX" "$dir"
    rm -f "$dir/wineserver"   # names the caller's server's folder; each computer gets its own
    for f in "$BASE_PREFIX"/*.reg "$BASE_PREFIX"/drive_c/windows/*.ini; do
        cp --remove-destination "$f" "${f/#$BASE_PREFIX/$dir}"
    done
    rm -rf "$dir/drive_c/users" && cp -a "$BASE_PREFIX/drive_c/users" "$dir/drive_c/"
    cp -r "$BUILD_DIR/dist" "$(prog_of "$n")"
    rm -f "$(prog_of "$n")/wusb_sim.ini"
    STARTED+=("$n")
}

world_value() { sed -n "s/^$1=//p" "$WORLD" | tr -d '\r' | head -n 1; }
free_world() { printf '[library]\r\ncomputer_name=\r\n[server]\r\nstatus=1\r\nholder=\r\n' >"$WORLD"; }
count_in() { grep -c -F "$2" "$1" 2>/dev/null || true; }
wait_for() {   # description condition...: polls the condition every 0.2 s, at most WAIT_S
    local what="$1"; shift
    for _ in $(seq $(( WAIT_S * 5 ))); do "$@" && return 0; sleep 0.2; done
    fail "not seen within $WAIT_S s: $what"
}

# ---- Agents --------------------------------------------------------------------
AGENT_PIDS=()
start_agent() {   # N: the agent in a virtual desktop of its own ("pcN")
    local n="$1"
    (cd "$(prog_of "$n")" && on_pc "$n" wine explorer "/desktop=pc$n,480x360" "$PRODUCT_EXE" >/dev/null 2>&1) &
    AGENT_PIDS[$n]=$!
}
tooltip_ends_with() { [[ "$(ctl "$1" tooltip)" == *" $2" ]]; }
holder_is() { [ "$(world_value status)" = 3 ] && [ "$(world_value holder)" = "$1" ]; }
held_by_another_than() { [ "$(world_value status)" = 3 ] && [ -n "$(world_value holder)" ] &&
                         [ "$(world_value holder)" != "$1" ]; }
closed() { grep -q -F 'WUSBClose() = 0' "$(journal_of "$1")" 2>/dev/null; }
exit_agents() {   # N...: the Exit command to each, then each has closed the library
    local n
    for n in "$@"; do ctl "$n" exit >/dev/null || fail "no agent of PC-$n to exit"; done
    for n in "$@"; do
        wait_for "PC-$n's agent closing the library" closed "$n"
        # The virtual desktop outlives the agent: its prefix's wineserver ends it at the end.
        AGENT_PIDS[$n]=""
    done
}

# How the holder gives the device back: here its user's Disconnect. (With [share]
# release_after in the holder's Setting.ini it gives it back by itself once idle.)
release_holder() {   # N
    ctl "$1" disconnect >/dev/null
}

cleanup() {
    local rc=$?
    # An agent a failure left running still gets its Exit command, so it detaches.
    for n in "${!AGENT_PIDS[@]}"; do
        [ -n "${AGENT_PIDS[$n]}" ] && { ctl "$n" exit >/dev/null 2>&1 || true; }
    done
    for n in "${!AGENT_PIDS[@]}"; do
        [ -n "${AGENT_PIDS[$n]}" ] && { for _ in $(seq 50); do closed "$n" && break; sleep 0.1; done; }
    done
    for n in "${STARTED[@]}"; do WINEPREFIX="$(prefix_of "$n")" wineserver -k 2>/dev/null || true; done
    wait 2>/dev/null || true
    if [ -n "$GIVEN_PREFIX" ]; then
        [ -n "${XVFB_PID:-}" ] && { kill "$XVFB_PID" 2>/dev/null || true; }
    else
        wine_env_cleanup
    fi
    [ "$rc" = 0 ] && rm -rf "$WORK"
    exit "$rc"
}
trap cleanup EXIT

rm -rf "$WORK" && mkdir -p "$WORK"
for n in 1 2 3 4; do make_computer "$n"; done
say "four computers: prefixes copied from $BASE_PREFIX"

# ---- Two computers import at the same moment -------------------------------------
GO="$WORK/go"
for round in $(seq "$ROUNDS"); do
    free_world
    rm -f "$GO"
    for n in 1 2; do
        on_pc "$n" wine "$BOX_IMPORT" "$(win "$(prog_of "$n")")" "$(win "$GO")" >"$WORK/import$n.out" 2>&1 &
    done
    both_ready() { grep -qs ready "$WORK/import1.out" && grep -qs ready "$WORK/import2.out"; }
    wait_for "both computers ready to import" both_ready
    touch "$GO"
    wait
    results=$(cat "$WORK/import1.out" "$WORK/import2.out" | tr -d '\r' | grep '^PC-' | sort)
    say "round $round: $(echo "$results" | paste -sd' ')"
    winner=$(echo "$results" | awk '$2 == 0 {print $1}')
    [ "$(echo "$results" | wc -l)" = 2 ] || fail "expected two results, got: $results"
    [ "$(echo "$winner" | grep -c .)" = 1 ] || fail "not exactly one import succeeded: $results"
    echo "$results" | grep -v "^$winner " | grep -q ' 2$' || fail "the other import did not find the device in use"
    holder_is "$winner" || fail "the world names $(world_value holder), not $winner"
done
for n in 1 2; do : >"$(journal_of "$n")"; done

# ---- Four computers: the device given back reaches exactly one other ---------------
free_world
start_agent 1
wait_for "PC-1 holding the device" holder_is PC-1
say "PC-1 holds the device"
for n in 2 3 4; do start_agent "$n"; done
for n in 2 3 4; do wait_for "PC-$n showing the device in use by PC-1" tooltip_ends_with "$n" PC-1; done
say "PC-2, PC-3 and PC-4 show it in use by PC-1"

release_holder 1
wait_for "the device held by a computer other than PC-1" held_by_another_than PC-1
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
exit_agents "${others[@]}"
exit_agents "${winner#PC-}" 1
say "all four agents ended"
echo "[ figures ] shared box test: $(( $(date +%s) - T0 )) s"
echo "PASS"
