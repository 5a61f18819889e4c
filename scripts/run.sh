#!/usr/bin/env bash
# Builds the agent and runs it under Wine beside the stand-in wusb.dll, with the
# default scenario (one server with a free device of the accepted type), and tells
# what the agent does as it happens: from the stand-in's journal, the agent's
# debugger traces and the tooltip the shell holds for its icon.
# Without a display it runs in a Wine virtual desktop on Xvfb, saves pictures of the
# start-up notice, the tray menu and the tooltip, and after RUN_SECONDS (default 30)
# ends the agent with its Exit command. With a display it runs until the agent exits
# (or RUN_SECONDS, when given). Ctrl+C ends the agent the same way, so it detaches.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
HEADLESS=0; [ -n "${DISPLAY:-}" ] || HEADLESS=1
# A caller's prefix (test.sh running this under ctest) keeps its wineserver.
GIVEN_PREFIX="${WINEPREFIX:-}"
"$ROOT/scripts/build.sh" >/dev/null
# Background jobs started from here on (Xvfb, the agent, the narrator) get process
# groups of their own: a Ctrl+C in the terminal reaches only this script, which then
# ends the agent with its Exit command and waits for it.
set -m
. "$ROOT/scripts/wine_env.sh"
. "$BUILD_DIR/generated/product.sh"

DESKTOP=agent                 # the Wine virtual desktop the agent runs on
CTL="$BUILD_DIR/agentctl/agentctl.exe"
ICON_X=1013; ICON_Y=758       # the first notification-area slot of the 1024x768 desktop
RUN_DIR="$BUILD_DIR/run"
PICTURES="$BUILD_DIR/pictures"
JOURNAL="$RUN_DIR/$PRODUCT_SIM_JOURNAL"
TRACES="$RUN_DIR/agent_traces.log"
TOOLTIPS="$RUN_DIR/tooltips.log"
AGENT_PID=""; HELPER_GROUPS=()   # process groups of the narrator and the tooltip watch
T0=$(date +%s%N)

say() { printf '[%5.1fs] %s\n' "$(( ($(date +%s%N) - T0) / 1000000 ))e-3" "$*"; }
ctl() { wine "$CTL" "$DESKTOP" "$@" 2>/dev/null | tr -d '\r'; }   # console lines end in CR LF
scenario() { sed -n "s/^$1=//p" "$RUN_DIR/wusb_sim.ini" | head -1; }
# Waits up to 60 s for a library call in the journal.
wait_for() { for _ in $(seq 600); do grep -q "$1" "$JOURNAL" 2>/dev/null && return 0; sleep 0.1; done; return 1; }

# One line per event worth telling, from the journal, the traces and the tooltip log.
narrate() {
    local server=-1 accepted=-1 measured="" armed=0
    while IFS= read -r line; do
        line="${line%$'\r'}"
        case "$line" in
        *"WUSBOpen("*") = 0") say "library opened" ;;
        *"WUSBOpen("*) say "library failed to open: ${line#* }" ;;
        *"WUSBGetServerList("*") = 0")
            [ "$server" = 0 ] || say "no server on the network"; server=0 ;;
        *"WUSBGetServerList("*)
            [ "$server" = 1 ] || say "server found: $(scenario address), firmware $(scenario firmware)"; server=1 ;;
        *">>> Start read ini!! bOk =1"*)
            [ "$accepted" = 1 ] || say "device $(scenario vid):$(scenario pid) accepted by Setting.ini"; accepted=1 ;;
        *">>> Start read ini!! bOk =0"*)
            [ "$accepted" = 0 ] || say "device not listed in Setting.ini: ignored"; accepted=0 ;;
        *"Import : start timer IDT_DELAY_IMPORT"*) say "device free: attaching it in 3 s"; armed=$(date +%s%N) ;;
        *"WUSBDoPerformanceTest("*) say "bandwidth test started" ;;
        *"get_bit_rate = "*) measured="${line##*get_bit_rate = }"; measured="${measured%%[!0-9]*}" ;;
        *"g_bit_rate = "*)
            local wanted="${line##*g_bit_rate = }"; wanted="${wanted%%[!0-9]*}"
            if [ "$wanted" != 0 ] && [ "${measured:-0}" -lt "$wanted" ]; then
                say "not attached: the bandwidth test measured $measured, Setting.ini asks for $wanted"
            fi ;;
        *"WUSBImportDevice("*") = 0")
            say "device attached, $(( ($(date +%s%N) - armed) / 1000000 )) ms after it was found free" ;;
        *"WUSBImportDevice("*) say "attaching failed: ${line#* }" ;;
        *"WUSBUnimportDevice("*) say "device detached" ;;
        *"WUSBClose()"*) say "library closed" ;;
        "tooltip: "*) say "$line" ;;
        esac
    done
}

# Screenshot of the desktop from the windows of a class (menus, tooltips) down to the
# notification area's corner, scaled 2x so that small text reads well.
picture() {
    local name="$1" class="$2" left top
    if ! read -r left top _ < <(ctl rect "$class"); then
        echo "No $class window seen for $name: the notification area's corner instead"
        left=824; top=688
    fi
    left=$(( left > 8 ? left - 8 : 0 )); top=$(( top > 8 ? top - 8 : 0 ))
    import -window root "$PICTURES/full.png"
    convert "$PICTURES/full.png" -crop "$((1024 - left))x$((768 - top))+$left+$top" +repage -scale 200% \
        "$PICTURES/$name.png"
    rm -f "$PICTURES/full.png"
    echo "Picture: $PICTURES/$name.png"
}

# The user's Exit command, then wait for the agent to detach, close the library and end.
stop_agent() {
    [ -n "$AGENT_PID" ] || return 0
    if ctl exit >/dev/null; then
        say "Exit chosen from the tray menu"
        for _ in $(seq 200); do grep -q 'WUSBClose()' "$JOURNAL" 2>/dev/null && break; sleep 0.1; done
    fi
    for _ in $(seq 30); do kill -0 "$AGENT_PID" 2>/dev/null || break; sleep 0.1; done
    kill "$AGENT_PID" 2>/dev/null || true   # the virtual desktop, if it outlives the agent
    wait "$AGENT_PID" 2>/dev/null || true
    AGENT_PID=""
}

# On every way out, Ctrl+C included: the agent ended in order, then its journal.
cleanup() {
    stop_agent
    sleep 0.5   # the narrator reads the last lines
    for group in "${HELPER_GROUPS[@]}"; do kill -- "-$group" 2>/dev/null || true; done
    echo "Journal of library calls (last 10):"; tr -d '\r' <"$JOURNAL" 2>/dev/null | grep -v ' notify$' | tail -n 10 || true
    if [ -n "$GIVEN_PREFIX" ]; then
        [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true
    else
        wine_env_cleanup
    fi
}
trap cleanup EXIT
trap 'echo; exit 130' INT TERM

# A fresh program folder each run, so the scenario starts from its defaults.
rm -rf "$RUN_DIR" "$PICTURES" && cp -r "$BUILD_DIR/dist" "$RUN_DIR" && mkdir -p "$PICTURES"
: >"$JOURNAL"; : >"$TRACES"; : >"$TOOLTIPS"
cd "$RUN_DIR"
echo "Program folder: $RUN_DIR"
echo "Scenario (edit while running to change the simulated server): $RUN_DIR/wusb_sim.ini"
echo "Library journal: $JOURNAL"
echo "Agent traces: $TRACES"

tail -q -n +1 -F "$JOURNAL" "$TRACES" "$TOOLTIPS" 2>/dev/null | narrate &
HELPER_GROUPS+=("$(ps -o pgid= -p $! | tr -d ' ')")
# The virtual desktop gives the agent a taskbar with a notification area; the
# agent's debugger output (OutputDebugStringA) goes to the traces file.
WINEDEBUG=+debugstr wine explorer /desktop=$DESKTOP,1024x768 "$PRODUCT_EXE" >/dev/null 2>"$TRACES" &
AGENT_PID=$!
say "agent started"
wine "$CTL" "$DESKTOP" watch >"$TOOLTIPS" 2>/dev/null &
HELPER_GROUPS+=("$(ps -o pgid= -p $! | tr -d ' ')")
set +m

SECONDS_LEFT="${RUN_SECONDS:-$([ $HEADLESS = 1 ] && echo 30 || echo 0)}"
if [ "$HEADLESS" = 1 ]; then
    # Events, not fixed delays: the first start in a new prefix can take 10 s and more.
    wait_for "WUSBManualScan"   # the icon has been added with its notice
    for _ in $(seq 40); do ctl rect tooltips_class32 >/dev/null && break; sleep 0.1; done
    sleep 0.5                   # the balloon drawn in full
    picture notice tooltips_class32
    wait_for "WUSBImportDevice" # the delayed import
    sleep 6                     # the next 5 s tick takes the notice away
    xdotool mousemove $ICON_X $ICON_Y click 3   # a real click opens the menu
    sleep 1
    read -r _ top _ < <(ctl rect '#32768' || echo 0 600)
    xdotool mousemove 980 $(( top + 12 ))   # onto the first item, the device: its submenu opens
    sleep 1
    picture menu '#32768'
    xdotool mousemove 500 300 click 1   # a click elsewhere closes the menu
    sleep 0.5
    xdotool mousemove $ICON_X $ICON_Y   # hover the icon for its tooltip
    sleep 2
    picture tooltip tooltips_class32
    echo "Tooltip text: $(ctl tooltip)"
    ELAPSED=$(( ($(date +%s%N) - T0) / 1000000000 ))
    SECONDS_LEFT=$(( SECONDS_LEFT > ELAPSED ? SECONDS_LEFT - ELAPSED : 1 ))
fi
if [ "$SECONDS_LEFT" != 0 ]; then
    sleep "$SECONDS_LEFT" || true
    stop_agent
else
    wait "$AGENT_PID" || true
    AGENT_PID=""
fi
