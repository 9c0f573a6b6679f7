# Sourced by the demo and the tests: one Xvfb display, one Wine prefix of the
# project's own (copied from a ready template), one persistent wineserver.
# Call start_wine_session PREFIX_DIR; everything is stopped when the shell exits.

stop_wine_session() {
    if [ -n "${WINEPREFIX:-}" ]; then
        wineserver -k >/dev/null 2>&1 || true
        wineserver -w >/dev/null 2>&1 || true
    fi
    if [ -n "${TAVREL_XVFB_PID:-}" ]; then
        kill "$TAVREL_XVFB_PID" >/dev/null 2>&1 || true
        wait "$TAVREL_XVFB_PID" 2>/dev/null || true
    fi
}

start_xvfb() {
    local display
    for display in $(seq 91 140); do
        if [ ! -e "/tmp/.X11-unix/X$display" ] && [ ! -e "/tmp/.X$display-lock" ]; then
            Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
            TAVREL_XVFB_PID=$!
            export DISPLAY=":$display"
            for _ in $(seq 1 50); do
                [ -e "/tmp/.X11-unix/X$display" ] && return 0
                sleep 0.1
            done
            echo "Xvfb did not start on :$display" >&2
            return 1
        fi
    done
    echo "no free X display found" >&2
    return 1
}

ensure_template_prefix() {
    : "${TAVREL_BUILD_DIR:?TAVREL_BUILD_DIR must be set}"
    WINE_TEMPLATE_PREFIX="${WINE_TEMPLATE_PREFIX:-$TAVREL_BUILD_DIR/wine/template}"
    if [ -f "$WINE_TEMPLATE_PREFIX/system.reg" ]; then return 0; fi
    echo "Creating a Wine prefix for the project in $WINE_TEMPLATE_PREFIX (once, about 10 s)..."
    rm -rf "$WINE_TEMPLATE_PREFIX"
    mkdir -p "$(dirname "$WINE_TEMPLATE_PREFIX")"
    WINEPREFIX="$WINE_TEMPLATE_PREFIX" wineboot -i >/dev/null 2>&1
    WINEPREFIX="$WINE_TEMPLATE_PREFIX" wineserver -w
}

start_wine_session() {
    local prefix="$1"
    export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win32
    # Japanese locale: Wine's ANSI code page is then 932, as on the systems
    # Tavrel's messages are written for.
    export LC_ALL=ja_JP.UTF-8
    unset WINEPREFIX
    trap stop_wine_session EXIT
    ensure_template_prefix
    rm -rf "$prefix"
    cp -a "$WINE_TEMPLATE_PREFIX" "$prefix"
    export WINEPREFIX="$prefix"
    start_xvfb
    # The first process of a server fixes its display, so prime it with
    # DISPLAY already set; -p keeps the one server for the whole run.
    wineserver -p
    wine cmd /c exit </dev/null >/dev/null 2>&1
}
