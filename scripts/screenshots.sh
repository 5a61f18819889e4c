#!/usr/bin/env bash
# Takes the README's pictures as a user would see them: the agent in a Wine virtual
# desktop on Xvfb, its tray menu opened with real clicks on the icon, each picture
# cropped to its subject; the menu and About again at 150 % (LogPixels 144); and the
# setup's pages in English and German. It waits for what each picture shows (journal
# lines, windows, tooltips), never for a fixed time, and stops with a message naming
# what it did not see. Writes docs/screenshots/*.png:
#   notice, tray-states (the five states, each icon with its tooltip), menu-connected,
#   menu-no-device, about, already-running, menu-connected-de, about-de;
#   menu-connected-150, about-150, scaling-96-144 (the tray icon and About at 96 and
#   144 dpi side by side); notice-free, notice-away (the sharing notices); setup-welcome,
#   setup-upgrade, setup-finish and the same -de.
# WAIT_S=N changes the longest wait for one event (default 60 s).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
OUT="$ROOT/docs/screenshots"
unset DISPLAY   # always a private Xvfb, so the desktop has the known size below
"$ROOT/scripts/build.sh" >/dev/null
. "$ROOT/scripts/wine_env.sh"
. "$BUILD_DIR/generated/product.sh"
mkdir -p "$OUT"

WAIT_S="${WAIT_S:-60}"
SCREEN_W=1024; SCREEN_H=768
CTL="$BUILD_DIR/agentctl/agentctl.exe"
ROW_WIDTH=250             # width of one row of the tray-states strip
RUN_DIR="$BUILD_DIR/shots"
JOURNAL="$RUN_DIR/$PRODUCT_SIM_JOURNAL"
SETUP="$(ls "$BUILD_DIR"/installer/*.exe | head -n 1)"
DPI_KEY='HKCU\Control Panel\Desktop'
PNG_OUT=(-define png:exclude-chunks=date,time)   # no time stamps: the same picture, the same file
# Where the setup installs by default, as Linux sees it.
INSTALLED="$WINEPREFIX/drive_c/users/${USER:-$(id -un)}/AppData/Local/Programs/$PRODUCT_NAME"

# Whatever happens: the prefix back at 96 dpi, nothing of the setup left, Wine ended.
cleanup() {
    wineserver -k 2>/dev/null || true
    wine reg delete "$DPI_KEY" /v LogPixels /f >/dev/null 2>&1 || true
    [ -e "$INSTALLED/uninstall.exe" ] && wine "$INSTALLED/uninstall.exe" /S >/dev/null 2>&1 || true
    wine_env_cleanup
}
trap cleanup EXIT

fail() { echo "screenshots.sh: $*" >&2; exit 1; }
# Runs a check until it succeeds; after WAIT_S seconds fails, naming what was awaited.
wait_for() {
    local what="$1" deadline=$((SECONDS + WAIT_S))
    shift
    until "$@" >/dev/null 2>&1; do
        [ "$SECONDS" -lt "$deadline" ] || fail "$what not seen within $WAIT_S s"
        sleep 0.1
    done
}
ctl() { wine "$CTL" "$DESKTOP" "$@" 2>/dev/null | tr -d '\r'; }   # console lines end in CR LF
# A menu command to the agent; agentctl posts nothing when it finds no agent, so retrying is safe.
tell() { wait_for "the agent taking the command \"$*\"" ctl "$@"; }
visible() { ctl rect "$@" >/dev/null; }                           # a window of the class (and text)
gone() { ! visible "$@"; }
menus_open() { [ "$(ctl count '#32768')" -ge "$1" ]; }
tooltip_is() { [ "$(ctl tooltip)" = "$1" ]; }
in_journal() { grep -q "$2" "$1" 2>/dev/null; }
# How often a call stands in the journal, and whether more often than before.
calls() { grep -c "$1" "$JOURNAL" 2>/dev/null || true; }
more_calls() { [ "$(calls "$1")" -gt "$2" ]; }
# A text of a shipped language file, in UTF-8.
lang_text() { sed -n "s/^$2=//p" "$RUN_DIR/lang/$PRODUCT_LANG_FILE_PREFIX$1.ini" | tr -d '\r' | iconv -f cp1252 -t utf-8; }
set_scenario() { sed -i "s/^$1=.*/$1=$2/" "$RUN_DIR/wusb_sim.ini"; }
set_bitrate() { sed -i "s/^bitrate=[0-9]*/bitrate=$1/" "$RUN_DIR/Setting.ini"; }

# The screen once it has stopped changing: a window seen is not yet a window drawn.
grab() {
    import -window root -depth 8 "rgb:$RUN_DIR/full.rgb"
    for _ in $(seq 20); do
        mv "$RUN_DIR/full.rgb" "$RUN_DIR/before.rgb"
        import -window root -depth 8 "rgb:$RUN_DIR/full.rgb"
        cmp -s "$RUN_DIR/full.rgb" "$RUN_DIR/before.rgb" && break
    done
}
# Writes $OUT/<name>.png: the screen cropped to left top right bottom, in few colours.
crop() {
    local name="$1" left="$2" top="$3" right="$4" bottom="$5"
    grab
    convert -size ${SCREEN_W}x$SCREEN_H -depth 8 "rgb:$RUN_DIR/full.rgb" \
        -crop "$((right - left))x$((bottom - top))+$left+$top" +repage +dither -colors 64 "${PNG_OUT[@]}" "PNG8:$OUT/$name.png"
    echo "wrote $OUT/$name.png"
}
# The windows of a class (and text) from a margin above them down to the tray's corner.
crop_to_corner() {
    local name="$1" left top
    read -r left top _ < <(ctl rect "${@:2}")
    crop "$name" $((left - 6)) $((top - 6)) $SCREEN_W $SCREEN_H
}
crop_window() {
    local name="$1" left top right bottom
    read -r left top right bottom < <(ctl rect "${@:2}")
    crop "$name" "$left" "$top" "$right" "$bottom"
}
click_at_centre() {
    local left top right bottom
    read -r left top right bottom < <(ctl rect "$@")
    xdotool mousemove $(((left + right) / 2)) $(((top + bottom) / 2)) click 1
}
# Clicks a dialog's button and waits until that button has gone.
click_button() {
    wait_for "the button $1" visible Button "$1"
    click_at_centre Button "$1"
    wait_for "the end of the button $1" gone Button "$1"
}

# ---- The agent ----------------------------------------------------------------------
DESKTOP=agent
# A fresh program folder, agent key and journal; the first start speaks English.
fresh_agent_folder() {
    rm -rf "$RUN_DIR" && cp -r "$BUILD_DIR/dist" "$RUN_DIR"
    # Only a key that is there can be deleted; any other failure stops the pictures.
    if wine reg query "$PRODUCT_AGENT_KEY" >/dev/null 2>&1; then
        wine reg delete "$PRODUCT_AGENT_KEY" /f >/dev/null
    fi
    wine reg add "$PRODUCT_AGENT_KEY" /v lang /t REG_SZ /d en /f >/dev/null 2>&1
}
start_agent() { (cd "$RUN_DIR" && wine explorer /desktop=$DESKTOP,${SCREEN_W}x$SCREEN_H "$PRODUCT_EXE" >/dev/null 2>&1 &); }
# The first notification-area slot, from the taskbar: it grows with the DPI.
locate_icon() {
    local top bottom
    wait_for "the taskbar" visible Shell_TrayWnd
    read -r _ top _ bottom < <(ctl rect Shell_TrayWnd)
    ICON_X=$((SCREEN_W - (bottom - top) / 2 - 1)); ICON_Y=$(((top + bottom) / 2))
}
# Started, its icon added with the notice, the device attached, the notice taken away.
start_attached() {
    local notice="${1:-}"
    start_agent
    wait_for "the library's first scan" in_journal "$JOURNAL" WUSBManualScan
    wait_for "the start-up notice" visible tooltips_class32
    [ -z "$notice" ] || crop_to_corner "$notice" tooltips_class32
    wait_for "the device attached" in_journal "$JOURNAL" WUSBImportDevice
    wait_for "the notice taken away (first 5 s check)" gone tooltips_class32
    locate_icon
}
# The tray menu opened with a click on the icon, its first item hovered (its submenu open).
open_menu() {
    local top item_y="$1"
    xdotool mousemove $ICON_X $ICON_Y click 3
    wait_for "the tray menu" menus_open 1
    read -r _ top _ < <(ctl rect '#32768')
    xdotool mousemove $((ICON_X - 33)) $((top + item_y))
    wait_for "the first item's submenu" menus_open 2
}
close_menu() {
    xdotool mousemove 500 300 click 1
    wait_for "the menu closed" gone '#32768'
}
show_about() {
    tell about
    wait_for "the About dialog" visible '#32770'
    crop_window "$1" '#32770'
    click_button OK
}
# One row of the strip: the icon hovered, with its tooltip showing the expected words.
# The agent re-adds its icon after a notification, which hides the tooltip: hover again then.
tray_row() {
    local row="$1" text="$2" top
    wait_for "the tooltip \"$text\"" tooltip_is "$text"
    for _ in 1 2 3; do
        xdotool mousemove 500 300
        wait_for "the tooltip hidden" gone tooltips_class32
        xdotool mousemove $ICON_X $ICON_Y
        wait_for "the tooltip of \"$text\"" visible tooltips_class32
        read -r _ top _ < <(ctl rect tooltips_class32)
        crop "row-$row" $((SCREEN_W - ROW_WIDTH)) $((top - 4)) $SCREEN_W $SCREEN_H
        visible tooltips_class32 && return 0
    done
    fail "the tooltip of \"$text\" did not stay for its picture"
}
# The icon and a few pixels around it, for the side-by-side picture.
crop_icon() {
    local half="$2"
    crop "$1" $((ICON_X - half)) $((ICON_Y - half)) $((ICON_X + half)) $((ICON_Y + half))
}
# Exit from the menu, the library closed, and every Wine process of the prefix ended.
stop_agent() {
    tell exit
    wait_for "the library closed after Exit" in_journal "$JOURNAL" 'WUSBClose()'
    wineserver -k 2>/dev/null || true
}

fresh_agent_folder
title="$(lang_text en t1)"
start_attached notice
open_menu 12; crop_to_corner menu-connected '#32768'; close_menu
show_about about
crop_icon icon-96 10

# A second start, on the same desktop, finds the first and explains itself.
start_agent
wait_for "the already-running message" visible '#32770'
crop_window already-running '#32770'
click_button OK

# The five states: connected now; free after Disconnect; after Connect, a bandwidth
# test the signal fails; held by another computer; no server on the network.
tray_row 4 "$title - $(lang_text en t5)"
tell disconnect; tray_row 2 "$title - $(lang_text en t3)"
set_bitrate 5000; tell connect; tray_row 5 "$title - $(lang_text en t6)"
set_scenario holder OFFICE-PC; set_scenario status 3; tray_row 3 "$title - $(lang_text en t4) OFFICE-PC"
set_scenario present 0; tray_row 1 "$title - $(lang_text en t2)"
open_menu 12; crop_to_corner menu-no-device '#32768'; close_menu
convert "$OUT"/row-{1,2,3,4,5}.png -background '#f0f0f0' -splice 0x6 -append -chop 0x6 +repage \
    -scale 200% +dither -colors 32 "${PNG_OUT[@]}" "PNG8:$OUT/tray-states.png"
rm -f "$OUT"/row-*.png
echo "wrote $OUT/tray-states.png"

# German, as at the first start: the same menu and About dialog after the switch, once
# the device is back.
imports=$(calls WUSBImportDevice)
set_bitrate 0; set_scenario status 1; set_scenario holder ""; set_scenario present 1
wait_for "the device attached again" more_calls WUSBImportDevice "$imports"
tell language 0
wait_for "the German tooltip" tooltip_is "$(lang_text de t1) - $(lang_text de t5)"
open_menu 12; crop_to_corner menu-connected-de '#32768'; close_menu
show_about about-de
stop_agent

# ---- The same at 150 % ----------------------------------------------------------------
# Wine reads the DPI at each process's start: every process from here on runs at 144.
wine reg add "$DPI_KEY" /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
fresh_agent_folder
start_attached
open_menu 18; crop_to_corner menu-connected-150 '#32768'; close_menu
show_about about-150
crop_icon icon-144 14
stop_agent
wine reg delete "$DPI_KEY" /v LogPixels /f >/dev/null 2>&1

# The tray icon (each enlarged to the same size, so its pixels show) and About, at 96 and
# 144 dpi side by side.
convert -background white -gravity center -bordercolor white \
    \( \( "$OUT/icon-96.png" -scale 600% \) \( "$OUT/icon-144.png" -scale 400% \) -border 12 +append \) \
    \( "$OUT/about.png" "$OUT/about-150.png" -border 12 +append \) \
    -append +dither -colors 64 "${PNG_OUT[@]}" "PNG8:$OUT/scaling-96-144.png"
rm -f "$OUT"/icon-96.png "$OUT"/icon-144.png
echo "wrote $OUT/scaling-96-144.png"

# ---- Sharing notices ------------------------------------------------------------------
# Connect on demand with notices and a release after a minute away: another computer
# gives the device back (the notice), Connect, and the warning half a minute after the
# attach. (Wine's notification area tells the program of no click on a notice, so the
# script chooses Connect from the menu; Wine takes a notice away after at most 30 s.)
fresh_agent_folder
set_share() { sed -i "s/^$1=.*/$1=$2\r/" "$RUN_DIR/Setting.ini"; }
set_share autoconnect 0; set_share notices 1; set_share release_after 1
set_scenario holder PC-1; set_scenario status 3
start_agent
wait_for "the library's first scan" in_journal "$JOURNAL" WUSBManualScan
wait_for "the start-up notice" visible tooltips_class32
wait_for "the start-up notice taken away" gone tooltips_class32
set_scenario holder ""; set_scenario status 1
wait_for "the notice that the device is free" visible tooltips_class32
crop_to_corner notice-free tooltips_class32
tell connect
wait_for "the device attached after Connect" in_journal "$JOURNAL" WUSBImportDevice
wait_for "the notice taken away" gone tooltips_class32
wait_for "the warning before the release" visible tooltips_class32
crop_to_corner notice-away tooltips_class32
stop_agent

# ---- The setup ------------------------------------------------------------------------
DESKTOP=setup
run_setup() { wine explorer /desktop=$DESKTOP,${SCREEN_W}x$SCREEN_H "$SETUP" >/dev/null 2>&1 & }
# A first install (welcome and finish pages) and an upgrade over the agent it started
# (the upgrade's welcome page), in one language: suffix, the language's first letter in
# the list ("" keeps the preselected one, Windows' own), and the Next, Install and Finish
# buttons' texts.
setup_pages() {
    local suffix="$1" letter="$2" next="$3" install="$4" finish="$5"
    run_setup
    wait_for "the setup's language page" visible ComboBox
    if [ -n "$letter" ]; then
        # The list has the focus: a letter chooses the language (the pointer must be over
        # the desktop for its keys).
        xdotool mousemove $((SCREEN_W / 2)) $((SCREEN_H / 2))
        xdotool key "$letter"
    fi
    click_button OK
    wait_for "the welcome page" visible Button "$next"
    crop_window "setup-welcome$suffix" '#32770'
    click_button "$next"
    click_button "$install"
    wait_for "the finish page" visible Button "$finish"
    crop_window "setup-finish$suffix" '#32770'
    click_button "$finish"   # "Start now" is ticked: the agent starts
    wait_for "the agent started by setup" in_journal "$INSTALLED/$PRODUCT_SIM_JOURNAL" WUSBManualScan

    run_setup
    wait_for "the upgrade's language page" visible ComboBox
    click_button OK   # the language chosen last time is preselected
    wait_for "the upgrade's welcome page" visible Button "$next"
    crop_window "setup-upgrade$suffix" '#32770'
    # Left unfinished (setup has changed nothing yet); the installation goes again.
    wineserver -k 2>/dev/null || true
    wine "$INSTALLED/uninstall.exe" /S >/dev/null 2>&1
    wait_for "the uninstall" test ! -e "$INSTALLED"
}
setup_pages "" "" "&Next >" "&Install" "&Finish"
setup_pages -de d "&Weiter >" "&Installieren" "&Fertigstellen"
rm -f "$RUN_DIR/full.rgb" "$RUN_DIR/before.rgb"
