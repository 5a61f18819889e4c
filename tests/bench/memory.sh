#!/usr/bin/env bash
# Resident memory of the running agent (beside the stand-in, default scenario) against
# a do-nothing tray program with the same manifest, under Wine. Prints figures only:
# the totals, and the mappings where the two differ by more than 64 kB. The same program
# with a hidden dialog of the About dialog's kind shows what the themed dialog costs.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
"$ROOT/scripts/build.sh" >/dev/null
. "$ROOT/scripts/wine_env.sh"
. "$BUILD_DIR/generated/product.sh"
WORK="$(mktemp -d)"
AGENT_DIR="$WORK/agent"; cp -r "$BUILD_DIR/dist" "$AGENT_DIR"
cp "$BUILD_DIR/tests/idle_tray.exe" "$WORK/"
cleanup() {
    wine "$BUILD_DIR/agentctl/agentctl.exe" Default exit >/dev/null 2>&1 || true
    for p in ${IDLE_PID:-} ${DIALOG_PID:-}; do { kill "$p"; wait "$p"; } 2>/dev/null || true; done
    sleep 4; rm -rf "$WORK"
    wine_env_cleanup
}
trap cleanup EXIT

# The Linux process of a program started here: its name, and the tag in its environment.
TAG="MEMORY_BENCH=$$"
pid_of() {   # name, tag
    for _ in $(seq 200); do
        for p in $(pgrep -f -- "$1"); do
            tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qx "$2" && { echo "$p"; return; }
        done
        sleep 0.1
    done
}
(cd "$AGENT_DIR" && env "$TAG" wine "$PRODUCT_EXE" >/dev/null 2>&1 &)
(cd "$WORK" && env "$TAG" wine idle_tray.exe >/dev/null 2>&1 &) 2>/dev/null
(cd "$WORK" && env "${TAG}d" wine idle_tray.exe dialog >/dev/null 2>&1 &) 2>/dev/null
AGENT_PID=$(pid_of "$PRODUCT_EXE" "$TAG")
IDLE_PID=$(pid_of idle_tray.exe "$TAG")
DIALOG_PID=$(pid_of idle_tray.exe "${TAG}d")
# Settled: the device attached and the first 5 s checks done.
for _ in $(seq 300); do grep -q "WUSBImportDevice" "$AGENT_DIR/$PRODUCT_SIM_JOURNAL" 2>/dev/null && break; sleep 0.1; done
sleep "${SETTLE_SECONDS:-12}"

figure() { awk -v k="$2:" '$1 == k {print $2}' "/proc/$1/status"; }
by_mapping() {
    # A mapping's name is the rest of its line (a file name may hold spaces), without its folder.
    awk '/^[0-9a-f]+-[0-9a-f]+ /{n = ""; for (i = 6; i <= NF; i++) n = n (i > 6 ? "_" : "") $i
                                 if (n == "") n = "[anonymous]"; sub(/.*\//, "", n)}
         /^Rss:/{r[n] += $2} END {for (n in r) print n, r[n]}' "/proc/$1/smaps" | sort
}
printf '[ figures ] %-28s %9s %9s %9s\n' "" "resident" "anonymous" "files"
for who in agent:$AGENT_PID idle:$IDLE_PID "idle with the dialog:$DIALOG_PID"; do
    pid=${who#*:}
    printf '[ figures ] %-28s %6s kB %6s kB %6s kB\n' "${who%%:*}" "$(figure "$pid" VmRSS)" \
        "$(figure "$pid" RssAnon)" "$(figure "$pid" RssFile)"
done
# Wine touches close to 1 MB of every thread's stack, whatever size the thread asks for.
echo "[ figures ] threads: agent $(figure "$AGENT_PID" Threads), idle $(figure "$IDLE_PID" Threads)"
echo "[ figures ] agent over idle with the dialog: $(( $(figure "$AGENT_PID" VmRSS) - $(figure "$DIALOG_PID" VmRSS) )) kB"
echo "[ figures ] agent over idle: $(( $(figure "$AGENT_PID" VmRSS) - $(figure "$IDLE_PID" VmRSS) )) kB; by mapping:"
join -a1 -a2 -e0 -o 0,1.2,2.2 <(by_mapping "$AGENT_PID") <(by_mapping "$IDLE_PID") \
    | awk '{d = $2 - $3; if (d > 64 || d < -64) printf "[ figures ]   %+6d kB  %s\n", d, $1}' | sort -k3 -rn
