#!/usr/bin/env bash
# Takes the README's pictures as a user would see them: the agent in a Wine virtual
# desktop on Xvfb, its tray menu opened with real clicks on the icon, each picture
# cropped to its subject. Writes docs/screenshots/*.png:
#   notice, tray-states (the five states, each icon with its tooltip), menu-connected,
#   menu-no-device, about, already-running, and menu-connected-de, about-de.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
OUT="$ROOT/docs/screenshots"
unset DISPLAY   # always a private Xvfb, so the desktop has the known size below
"$ROOT/scripts/build.sh" >/dev/null
. "$ROOT/scripts/wine_env.sh"
trap wine_env_cleanup EXIT
mkdir -p "$OUT"

DESKTOP=agent
CTL="$BUILD_DIR/agentctl/agentctl.exe"
ICON_X=1013; ICON_Y=758   # first notification-area slot of a 1024x768 virtual desktop
ROW_WIDTH=250             # width of one row of the tray-states strip
RUN_DIR="$BUILD_DIR/shots"
rm -rf "$RUN_DIR" && cp -r "$BUILD_DIR/dist" "$RUN_DIR"
cd "$RUN_DIR"
# A fresh agent key: the first start speaks the default language; show English first.
. "$BUILD_DIR/generated/product.sh"
wine reg add "$PRODUCT_AGENT_KEY" /v lang /t REG_SZ /d en /f >/dev/null 2>&1

ctl() { wine "$CTL" "$DESKTOP" "$@" 2>/dev/null | tr -d '\r'; }   # console lines end in CR LF
set_scenario() { sed -i "s/^$1=.*/$1=$2/" wusb_sim.ini; }
set_bitrate() { sed -i "s/^bitrate=[0-9]*/bitrate=$1/" Setting.ini; }

# Writes $OUT/<name>.png: the desktop cropped to left top right bottom, in few colours.
crop() {
    local name="$1" left="$2" top="$3" right="$4" bottom="$5"
    import -window root "$RUN_DIR/full.png"
    convert "$RUN_DIR/full.png" -crop "$((right - left))x$((bottom - top))+$left+$top" +repage \
        +dither -colors 64 "PNG8:$OUT/$name.png"
    echo "wrote $OUT/$name.png"
}
# The windows of a class (and text) from a margin above them down to the tray's corner.
crop_to_corner() {
    local name="$1" left top
    read -r left top _ < <(ctl rect "${@:2}")
    crop "$name" $((left - 6)) $((top - 6)) 1024 768
}
crop_window() {
    local name="$1" left top right bottom
    read -r left top right bottom < <(ctl rect "${@:2}")
    crop "$name" "$left" "$top" "$right" "$bottom"
}
click_ok() {
    local left top right bottom
    read -r left top right bottom < <(ctl rect Button OK)
    xdotool mousemove $(((left + right) / 2)) $(((top + bottom) / 2)) click 1
    sleep 0.5
}
# The tray menu opened with a click on the icon, its first item hovered.
open_menu() {
    local top
    xdotool mousemove $ICON_X $ICON_Y click 3
    sleep 1
    read -r _ top _ < <(ctl rect '#32768')
    xdotool mousemove 980 $((top + 12))
    sleep 1
}
close_menu() { xdotool mousemove 500 300 click 1; sleep 0.5; }
# One row of the strip: the icon hovered, with its tooltip.
# The icon can be away for a moment while the agent re-adds it: hover again then.
tray_row() {
    local top="" _
    for _ in 1 2 3; do
        xdotool mousemove 500 300; sleep 0.5
        xdotool mousemove $ICON_X $ICON_Y; sleep 1.5
        read -r _ top _ < <(ctl rect tooltips_class32) && break
    done
    crop "row-$1" $((1024 - ROW_WIDTH)) $((top - 4)) 1024 768
}

wine explorer /desktop=$DESKTOP,1024x768 "VELTRIX Q5.exe" >/dev/null 2>&1 &
sleep 2.5   # the icon is added with its notice, which the first 5 s tick takes away
crop_to_corner notice tooltips_class32
sleep 7     # the delayed import (3 s) has attached the device

open_menu; crop_to_corner menu-connected '#32768'; close_menu
ctl about; sleep 1; crop_window about '#32770'; click_ok

# A second start, on the same desktop, finds the first and explains itself.
wine explorer /desktop=$DESKTOP,1024x768 "VELTRIX Q5.exe" >/dev/null 2>&1 &
sleep 4
crop_window already-running '#32770'; click_ok

# The five states: connected now; free after Disconnect; after Connect, a bandwidth
# test the signal fails; held by another computer; no server on the network.
tray_row 4
ctl disconnect; sleep 1; tray_row 2
set_bitrate 5000; ctl connect; sleep 4; tray_row 5
set_scenario holder OFFICE-PC; set_scenario status 3; sleep 1; tray_row 3
set_scenario present 0; sleep 1.5; tray_row 1
open_menu; crop_to_corner menu-no-device '#32768'; close_menu
convert "$OUT"/row-{1,2,3,4,5}.png -background '#f0f0f0' -splice 0x6 -append -chop 0x6 +repage \
    -scale 200% +dither -colors 32 "PNG8:$OUT/tray-states.png"
rm -f "$OUT"/row-*.png
echo "wrote $OUT/tray-states.png"

# German, as at the first start: the same menu and About dialog after the switch.
set_bitrate 0; set_scenario status 1; set_scenario holder ""; set_scenario present 1; sleep 5
ctl language 0; sleep 1
open_menu; crop_to_corner menu-connected-de '#32768'; close_menu
ctl about; sleep 1; crop_window about-de '#32770'; click_ok

ctl exit; sleep 4
rm -f "$RUN_DIR/full.png"
