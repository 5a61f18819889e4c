#!/usr/bin/env bash
# Two computers of an office sharing one box's device, on this one machine: PC-1 and PC-2
# are Wine prefixes of their own (scripts/computers.sh) whose agents use one world file.
# PC-1 starts first and attaches the free device; PC-2 shows it in use by PC-1; PC-1's user
# chooses Disconnect and PC-2 attaches it. Each step is told from the world file, the
# agents' tooltips and, at the end, their journals of library calls; then both agents are
# ended with their Exit command. Runs anew each time (build/office is made afresh).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
GIVEN_PREFIX="${WINEPREFIX:-}"   # a caller's prefix keeps its wineserver
"$ROOT/scripts/build.sh" >/dev/null
. "$ROOT/scripts/wine_env.sh"    # a display
COMPUTERS_DIR="$BUILD_DIR/office"
. "$ROOT/scripts/computers.sh"
T0=$(date +%s)

say() { echo "[$(( $(date +%s) - T0 ))s] $*"; }
holder() { [ "$(world_value status)" = 3 ] && echo "$(world_value holder)" || echo "nobody (free)"; }
held_by() { [ "$(world_value status)" = 3 ] && [ "$(world_value holder)" = "$1" ]; }
tooltip_ends_with() { [[ "$(ctl "$1" tooltip)" == *" $2" ]]; }
tooltip_changed_from() { ! tooltip_ends_with "$@"; }
show() {
    say "$*"
    for n in 1 2; do
        if [ -n "${AGENT_PIDS[$n]:-}" ]; then say "  PC-$n tooltip: $(ctl "$n" tooltip)"; fi
    done
}
need() { wait_until 60 "${@:2}" || { say "not seen within 60 s: $1"; exit 1; }; }

cleanup() {
    stop_computers
    for n in 1 2; do
        echo "Journal of PC-$n's library calls:"
        tr -d '\r' <"$(journal_of "$n")" 2>/dev/null | grep -v ' notify$' | sed 's/^/    /' || true
    done
    if [ -n "$GIVEN_PREFIX" ]; then
        [ -n "${XVFB_PID:-}" ] && { kill "$XVFB_PID" 2>/dev/null || true; }
    else
        wine_env_cleanup
    fi
}
trap cleanup EXIT
trap 'echo; exit 130' INT TERM

rm -rf "$COMPUTERS_DIR"
for n in 1 2; do make_computer "$n"; done
free_world
echo "World both computers share (edit it to change the box): $WORLD"

start_agent 1
need "PC-1 attaching the device" held_by PC-1
show "PC-1 started first and attached the device; the box says it is held by $(holder)"
start_agent 2
need "PC-2 showing the device in use by PC-1" tooltip_ends_with 2 PC-1
show "PC-2 started and finds it in use by PC-1"
ctl 1 disconnect >/dev/null
say "PC-1's user chose Disconnect"
need "PC-2 attaching the device" held_by PC-2
need "PC-2 showing the device connected" tooltip_changed_from 2 PC-1
show "PC-2 attached it; the box says it is held by $(holder)"
exit_agents 2 1
say "both agents ended with their Exit command; the box says it is held by $(holder)"
