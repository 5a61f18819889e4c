# Sourced: a Wine prefix inside the build tree and an X display (Xvfb when none is set).
# Expects BUILD_DIR. Safe to source more than once.
export WINEPREFIX="${WINEPREFIX:-$BUILD_DIR/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# Wine's menu builder would turn the setup's Start-menu shortcut into Linux menu entries.
case "$WINEDLLOVERRIDES" in
    *winemenubuilder.exe=d*) ;;
    *) WINEDLLOVERRIDES="winemenubuilder.exe=d;$WINEDLLOVERRIDES" ;;
esac
export WINEARCH=win64
# Wine opens file names in any alphabet only under a UTF-8 locale (C.UTF-8 is always there).
export LC_ALL=C.UTF-8

if [ -z "${DISPLAY:-}" ]; then
    # Pick a free display number and keep Xvfb for this shell's lifetime. Other users of
    # the machine hold numbers too: say so when none is left, rather than fail later.
    for n in $(seq 91 199); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { XVFB_DISPLAY=":$n"; break; }
    done
    [ -n "${XVFB_DISPLAY:-}" ] || { echo "wine_env.sh: no free X display between :91 and :199" >&2; return 1; }
    Xvfb "$XVFB_DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY="$XVFB_DISPLAY"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${XVFB_DISPLAY#:}" ] && break; sleep 0.1; done
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating Wine prefix $WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
fi
# Debian's Wine never loads its own fonts from /usr/share/wine/fonts, and wineboot leaves
# C:\windows\Fonts empty: without Marlett a caption's close button is drawn as the letter
# "r", and without Tahoma dialogs lose their shell font. Install them into the prefix.
WINE_FONTS=/usr/share/wine/fonts
if [ -d "$WINE_FONTS" ] && [ ! -f "$WINEPREFIX/drive_c/windows/Fonts/marlett.ttf" ]; then
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp "$WINE_FONTS"/* "$WINEPREFIX/drive_c/windows/Fonts/"
fi
wineserver -p >/dev/null 2>&1 </dev/null || true   # one server for the many short Wine processes

wine_env_cleanup() {
    wineserver -k 2>/dev/null || true
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true
}
