# Sourced: several computers sharing one box, on this one machine. Computer N is a Wine
# prefix of its own ($COMPUTERS_DIR/pcN: its own wineserver, registry and virtual desktop
# "pcN", on the one X display) with a program folder of its own ($COMPUTERS_DIR/progN);
# all of them use one world file ($COMPUTERS_DIR/wusb_sim.ini), and computer N's stand-in
# calls it PC-N. Expects BUILD_DIR, COMPUTERS_DIR and the Wine environment (wine_env.sh).
. "$BUILD_DIR/generated/product.sh"
# The prefix every computer copies: made once by a wineboot and kept in the build folder.
TEMPLATE_PREFIX="$BUILD_DIR/computer_prefix"
WORLD="$COMPUTERS_DIR/wusb_sim.ini"
CTL="$BUILD_DIR/agentctl/agentctl.exe"
COMPUTERS=()     # computers made here; stop_computers ends their wineservers
AGENT_PIDS=()    # by computer: its virtual desktop while its agent runs

win() { printf 'Z:%s' "${1//\//\\}"; }   # a Linux path as Windows sees it
prefix_of() { echo "$COMPUTERS_DIR/pc$1"; }
prog_of() { echo "$COMPUTERS_DIR/prog$1"; }
journal_of() { echo "$(prog_of "$1")/$PRODUCT_SIM_JOURNAL"; }
on_pc() {   # N command...: runs a command as computer N
    local n="$1"; shift
    env WINEPREFIX="$(prefix_of "$n")" WUSB_SIM_SCENARIO="$(win "$WORLD")" \
        "$PRODUCT_SIM_COMPUTER_NAME_ENV=PC-$n" "$@"
}
ctl() { on_pc "$1" wine "$CTL" "pc$1" "${@:2}" 2>/dev/null | tr -d '\r'; }   # agentctl on computer N
world_value() { sed -n "s/^$1=//p" "$WORLD" 2>/dev/null | tr -d '\r' | sed -n 1p; }
free_world() { printf '[library]\r\ncomputer_name=\r\n[server]\r\nstatus=1\r\nholder=\r\n' >"$WORLD"; }
wait_until() {   # SECONDS command...: polls the command every 0.2 s; 1 when it never held
    local seconds="$1"; shift
    for _ in $(seq $(( seconds * 5 ))); do "$@" && return 0; sleep 0.2; done
    return 1
}

# Its own wineserver ended once made, so that all of its registry is on disk to copy (a
# running server writes it only every 30 s).
make_template() {
    [ -f "$TEMPLATE_PREFIX/.made" ] && return 0
    rm -rf "$TEMPLATE_PREFIX"
    WINEPREFIX="$TEMPLATE_PREFIX" wineboot -i >/dev/null 2>&1 || true
    WINEPREFIX="$TEMPLATE_PREFIX" wineserver -w
    [ -f "$TEMPLATE_PREFIX/system.reg" ] && touch "$TEMPLATE_PREFIX/.made"
}

# A copy of the template, its system files hard-linked (a second instead of a wineboot).
# Wine rewrites a hard-linked registry file in place, and the profile functions write
# .ini files in place: those, and the user's folder, are real copies.
make_computer() {   # N
    local n="$1" dir; dir="$(prefix_of "$n")"
    make_template
    rm -rf "$dir" "$(prog_of "$n")"
    mkdir -p "$COMPUTERS_DIR"
    cp -al "$TEMPLATE_PREFIX" "$dir"
    rm -f "$dir/wineserver"   # names the copied prefix's server folder; each computer gets its own
    for f in "$TEMPLATE_PREFIX"/*.reg "$TEMPLATE_PREFIX"/drive_c/windows/*.ini; do
        cp --remove-destination "$f" "${f/#$TEMPLATE_PREFIX/$dir}"
    done
    rm -rf "$dir/drive_c/users" && cp -a "$TEMPLATE_PREFIX/drive_c/users" "$dir/drive_c/"
    cp -r "$BUILD_DIR/dist" "$(prog_of "$n")"
    rm -f "$(prog_of "$n")/wusb_sim.ini" "$(journal_of "$n")"   # the world is the shared one
    COMPUTERS+=("$n")
}

start_agent() {   # N: the agent in computer N's virtual desktop, as its user starts it
    local n="$1"
    (cd "$(prog_of "$n")" && on_pc "$n" wine explorer "/desktop=pc$n,480x360" "$PRODUCT_EXE" >/dev/null 2>&1) &
    AGENT_PIDS[$n]=$!
}
closed() { grep -q -F 'WUSBClose() = 0' "$(journal_of "$1")" 2>/dev/null; }
exit_agents() {   # N...: each agent's Exit command, then waits until each has closed the library
    local n rc=0
    for n in "$@"; do ctl "$n" exit >/dev/null || rc=1; done
    for n in "$@"; do
        wait_until 60 closed "$n" || rc=1
        AGENT_PIDS[$n]=""   # its virtual desktop stays until stop_computers
    done
    return $rc
}
# Every agent still running gets its Exit command (so it detaches), then every computer's
# wineserver is ended, with all that ran there.
stop_computers() {
    local n running=()
    for n in "${!AGENT_PIDS[@]}"; do
        if [ -n "${AGENT_PIDS[$n]}" ]; then running+=("$n"); fi
    done
    [ "${#running[@]}" = 0 ] || exit_agents "${running[@]}" || true
    for n in "${COMPUTERS[@]}"; do WINEPREFIX="$(prefix_of "$n")" wineserver -k 2>/dev/null || true; done
}
