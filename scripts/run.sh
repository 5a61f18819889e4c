#!/usr/bin/env bash
# Builds the agent and runs it under Wine beside the stand-in wusb.dll, with the
# default scenario (one server with a free device of the accepted type).
# With no display, it runs in a Wine virtual desktop on Xvfb and saves a screenshot.
#   RUN_SECONDS=N  stop the agent after N seconds (default: 30 without a display, else until it exits)
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
HEADLESS=0; [ -n "${DISPLAY:-}" ] || HEADLESS=1
"$ROOT/scripts/build.sh" >/dev/null
. "$ROOT/scripts/wine_env.sh"
trap wine_env_cleanup EXIT

# A fresh program folder each run, so the scenario starts from its defaults.
RUN_DIR="$BUILD_DIR/run"
rm -rf "$RUN_DIR" && cp -r "$BUILD_DIR/dist" "$RUN_DIR"
cd "$RUN_DIR"
echo "Program folder: $RUN_DIR"
echo "Scenario (edit while running to change the simulated server): $RUN_DIR/wusb_sim.ini"
echo "Library journal: $RUN_DIR/wusb_journal.log"

# A virtual desktop gives the agent a taskbar with a notification area.
wine explorer /desktop=agent,1024x768 "VELTRIX Q5.exe" >/dev/null 2>&1 &
AGENT_PID=$!
SECONDS_LEFT="${RUN_SECONDS:-$([ $HEADLESS = 1 ] && echo 30 || echo 0)}"

if [ "$HEADLESS" = 1 ]; then
    sleep 10   # start-up, discovery, the 3 s delayed import and the first re-created icon
    import -window root "$BUILD_DIR/screenshot.png" && echo "Screenshot: $BUILD_DIR/screenshot.png"
fi
if [ "$SECONDS_LEFT" != 0 ]; then
    sleep "$SECONDS_LEFT" || true
    kill "$AGENT_PID" 2>/dev/null || true
fi
wait "$AGENT_PID" || true
echo "Journal of library calls:"; tail -n 20 "$RUN_DIR/wusb_journal.log" 2>/dev/null || true
