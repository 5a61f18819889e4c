#!/usr/bin/env bash
# Benchmark, prints only: the agent's CPU time and wakeups while idle with the device
# attached, over BENCH_SECONDS (default 60), once with the shipped Setting.ini and once
# with every sharing choice on (connect on demand and then Connect, release_after at
# its longest so no release falls in the minute, release_on_lock, notices).
# CPU and context switches come from Linux's /proc for the agent's Wine process (all
# its threads); ticks and notifications from the agent's traces.
# Usage: tests/bench/idle_cpu.sh   (builds first; takes about 2.5 minutes)
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
"$ROOT/scripts/build.sh" >/dev/null
. "$BUILD_DIR/generated/product.sh"
. "$ROOT/scripts/wine_env.sh"
trap wine_env_cleanup EXIT
BENCH_SECONDS="${BENCH_SECONDS:-60}"
CTL="$BUILD_DIR/agentctl/agentctl.exe"
HZ=$(getconf CLK_TCK)

# user+system clock ticks and context switches of every thread of a process.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
switches() { cat /proc/"$1"/task/*/status 2>/dev/null | awk '/ctxt_switches/ {n += $2} END {print n + 0}'; }
wait_for() { for _ in $(seq 300); do grep -q "$1" "$2" 2>/dev/null && return 0; sleep 0.1; done; return 1; }

measure() {
    local name="$1" dir="$BUILD_DIR/bench-${1// /-}"
    shift
    rm -rf "$dir" && cp -r "$BUILD_DIR/dist" "$dir"
    for kv in "$@"; do sed -i "s/^${kv%%=*}=.*/$kv\r/" "$dir/Setting.ini"; done
    ( cd "$dir" && WINEDEBUG=-all,+debugstr exec wine "$PRODUCT_EXE" >/dev/null 2>"$dir/traces.log" ) &
    local pid=$!
    wait_for "WUSBManualScan" "$dir/$PRODUCT_SIM_JOURNAL" || { echo "$name: the agent did not start"; return 1; }
    grep -q '^autoconnect=0' "$dir/Setting.ini" && wine "$CTL" Default connect >/dev/null 2>&1
    wait_for "WUSBImportDevice" "$dir/$PRODUCT_SIM_JOURNAL" || { echo "$name: the device was not attached"; return 1; }
    sleep 8   # the import's notification and the icon's re-creation are over
    local c0 s0 t0 n0
    c0=$(cpu_ticks $pid); s0=$(switches $pid)
    t0=$(grep -c "Checked g_nServerNum" "$dir/traces.log" || true); n0=$(grep -c "OnWUSBNotify ====" "$dir/traces.log" || true)
    sleep "$BENCH_SECONDS"
    local c1 s1 t1 n1
    c1=$(cpu_ticks $pid); s1=$(switches $pid)
    t1=$(grep -c "Checked g_nServerNum" "$dir/traces.log" || true); n1=$(grep -c "OnWUSBNotify ====" "$dir/traces.log" || true)
    printf '[ figures ] %-22s %3d s idle: CPU %5d ms, context switches %6d, timer ticks %3d, notifications %3d\n' \
        "$name" "$BENCH_SECONDS" $(( (c1 - c0) * 1000 / HZ )) $(( s1 - s0 )) $(( t1 - t0 )) $(( n1 - n0 ))
    wine "$CTL" Default exit >/dev/null 2>&1 || true
    for _ in $(seq 100); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
    kill $pid 2>/dev/null || true
    wait $pid 2>/dev/null || true
    rm -rf "$dir"
}

measure "shipped Setting.ini"
measure "every sharing choice on" autoconnect=0 release_after=1440 release_on_lock=1 notices=1
