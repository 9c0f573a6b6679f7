# Sourced by the demo, the bench and the tests: sets up the Wine environment
# they run in, one Xvfb display of our own and Wine prefixes of the
# project's own, each copied from a ready template and served by a
# persistent wineserver of its own.
#
# A prefix is named ARCH-LOCALE, e.g. win32-ja_JP.UTF-8 or win64-en_US.UTF-8:
# Wine fixes locale-dependent settings (code pages, fonts) when it creates a
# prefix, so each locale needs a prefix of its own, and each prefix its own
# server, started with LC_ALL set to that locale.
#
#   start_wine_env PREFIX [ARCH [LOCALE]]
#       One prefix (default win32, ja_JP.UTF-8) in the folder PREFIX, with
#       WINEPREFIX, WINEARCH and LC_ALL exported for this shell (demo, bench).
#   start_wine_prefixes DIR NAME...
#       Several prefixes, each in DIR/NAME; tests/wine/wine-run.sh NAME runs a
#       program in one of them (the tests).
#   stop_wine_env
#       Stops the servers and the display started so far.
#
# The caller owns its traps: this file sets none, so call stop_wine_env
# from the caller's own EXIT trap, e.g. `trap stop_wine_env EXIT` before
# starting, or `trap 'stop_wine_env; rm -rf "$tmp"' EXIT`.
#
# Templates are kept in $TAVREL_WINE_TEMPLATES (default
# $TAVREL_BUILD_DIR/wine/templates), one per Wine version, arch and locale.

TAVREL_WINE_SERVERS=()

wine_env_variables() {
    export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    unset WINEPREFIX WINEARCH
}

stop_wine_env() {
    local prefix
    for prefix in "${TAVREL_WINE_SERVERS[@]}"; do
        WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
    done
    for prefix in "${TAVREL_WINE_SERVERS[@]}"; do
        WINEPREFIX="$prefix" wineserver -w >/dev/null 2>&1 || true
    done
    TAVREL_WINE_SERVERS=()
    if [ -n "${TAVREL_XVFB_PID:-}" ]; then
        kill "$TAVREL_XVFB_PID" >/dev/null 2>&1 || true
        wait "$TAVREL_XVFB_PID" 2>/dev/null || true
        TAVREL_XVFB_PID=
    fi
}

# A display of our own: Xvfb picks a free display number itself and writes
# it to the file descriptor -displayfd names once it accepts connections, so
# two runs never race for one number.
start_xvfb() {
    local ready display=
    ready="$(mktemp "${TMPDIR:-/tmp}/tavrel-xvfb.XXXXXX")" || return 1
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$ready" >/dev/null 2>&1 &
    TAVREL_XVFB_PID=$!
    for _ in $(seq 1 100); do
        display="$(sed -n '1{/^[0-9][0-9]*$/p}' "$ready")"
        [ -n "$display" ] && break
        kill -0 "$TAVREL_XVFB_PID" 2>/dev/null || break
        sleep 0.1
    done
    rm -f "$ready"
    if [ -z "$display" ]; then
        echo "Xvfb did not start (no display number after 10 s)" >&2
        kill "$TAVREL_XVFB_PID" >/dev/null 2>&1 || true
        TAVREL_XVFB_PID=
        return 1
    fi
    export DISPLAY=":$display"
    export TAVREL_XVFB_DISPLAY=":$display"
}

# Prints the folder of the template for ARCH and LOCALE under the running
# Wine's version, creating it first if needed. It is built in a folder of
# its own and renamed into place only when complete, so an interrupted run
# never leaves a half-made template behind.
ensure_wine_template() {
    local arch="$1" locale="$2"
    : "${TAVREL_BUILD_DIR:?TAVREL_BUILD_DIR must be set}"
    local templates="${TAVREL_WINE_TEMPLATES:-$TAVREL_BUILD_DIR/wine/templates}"
    local version
    version="$(wine --version 2>/dev/null | awk '{print $1}')"
    [ -n "$version" ] || { echo "wine --version printed nothing" >&2; return 1; }
    local template="$templates/$version-$arch-$locale"
    if [ -f "$template/system.reg" ]; then
        echo "$template"
        return 0
    fi
    mkdir -p "$templates"
    # Folders left by runs that were stopped halfway (their shell is gone).
    local stale pid
    for stale in "$templates"/.building-*; do
        [ -e "$stale" ] || continue
        pid="${stale##*/.building-}"
        pid="${pid%%-*}"
        kill -0 "$pid" 2>/dev/null || rm -rf "$stale"
    done
    echo "Creating the Wine prefix template $template (once, about 10 s)..." >&2
    local building="$templates/.building-$$-$version-$arch-$locale"
    local output="$building.log"
    rm -rf "$building"
    # Made on our own display, or none: never on the user's.
    if ! (
        export WINEPREFIX="$building" WINEARCH="$arch" LC_ALL="$locale"
        if [ -n "${TAVREL_XVFB_DISPLAY:-}" ]; then export DISPLAY="$TAVREL_XVFB_DISPLAY"; else unset DISPLAY; fi
        wineboot -i >"$output" 2>&1 && wineserver -w
    ) || [ ! -f "$building/system.reg" ]; then
        # A prefix takes 0.6 GB (32-bit) to 1.3 GB (64-bit): a full disk is the usual cause.
        echo "could not create a $arch Wine prefix under $locale; free space there:" \
             "$(df -h --output=avail "$templates" 2>/dev/null | tail -1 | tr -d ' '); wineboot said:" >&2
        tail -n 5 "$output" >&2 2>/dev/null || true
        rm -rf "$building" "$output"
        return 1
    fi
    rm -f "$output"
    if ! mv -T "$building" "$template" 2>/dev/null; then
        rm -rf "$building"  # made meanwhile by another run
    fi
    echo "$template"
}

# start_wine_prefix PREFIX ARCH LOCALE: a fresh copy of the template in
# PREFIX and a persistent server for it, primed on our display.
start_wine_prefix() {
    local prefix="$1" arch="$2" locale="$3" template
    if ! locale -a 2>/dev/null | grep -qix "${locale/UTF-8/utf8}"; then
        echo "the locale $locale is not generated (see scripts/install-deps.sh)" >&2
        return 1
    fi
    template="$(ensure_wine_template "$arch" "$locale")" || return 1
    rm -rf "$prefix"
    mkdir -p "$(dirname "$prefix")"
    cp -a "$template" "$prefix"
    TAVREL_WINE_SERVERS+=("$prefix")
    (
        export WINEPREFIX="$prefix" WINEARCH="$arch" LC_ALL="$locale"
        # The first process of a server fixes its display, so prime it with
        # DISPLAY already set; -p keeps the one server for the whole run.
        wineserver -p
        wine cmd /c exit </dev/null >/dev/null 2>&1
    )
}

start_wine_env() {
    local prefix="$1" arch="${2:-win32}" locale="${3:-ja_JP.UTF-8}"
    wine_env_variables
    start_xvfb || return 1
    start_wine_prefix "$prefix" "$arch" "$locale" || return 1
    export WINEPREFIX="$prefix" WINEARCH="$arch" LC_ALL="$locale"
}

start_wine_prefixes() {
    local dir="$1" name
    shift
    wine_env_variables
    start_xvfb || return 1
    for name in "$@"; do
        start_wine_prefix "$dir/$name" "${name%%-*}" "${name#*-}" || return 1
    done
    export TAVREL_WINE_PREFIXES_DIR="$dir"
}
