# Sourced by the demo, the bench and the tests: sets up the Wine environment
# they run in, one Xvfb display of our own and Wine prefixes of the
# project's own, each copied from a ready template and served by a
# persistent wineserver of its own.
#
# A prefix is named ARCH-LOCALE, e.g. win32-ja_JP.UTF-8 or win64-en_US.UTF-8,
# and its server and programs run under that locale. Wine writes the font
# settings of the locale it creates a prefix under (which fonts stand in
# for the dialog font, the font links) and keeps them when the prefix is
# started under another locale: the boxes then read the same but are drawn
# in other fonts. Code pages, the user's locale and the system's language
# follow the locale a program runs under. So a prefix whose pictures are
# looked at comes from a template made under its own locale; any other may
# come from a template made under another locale (TEMPLATE_LOCALE).
#
#   start_wine_env PREFIX [ARCH [LOCALE]]
#       One prefix (default win32, ja_JP.UTF-8) in the folder PREFIX, a
#       whole copy of its template, with WINEPREFIX, WINEARCH and LC_ALL
#       exported for this shell (demo, bench).
#   prepare_wine_templates NAME:TEMPLATE_LOCALE...
#       Makes the templates those prefixes need, if they are not made yet.
#   start_wine_prefixes DIR NAME:TEMPLATE_LOCALE...
#       Several prefixes, each in DIR/NAME (ARCH-LOCALE, or ARCH-LOCALE+N for
#       one more copy of the same kind); tests/wine/wine-run.sh NAME runs a
#       program in one of them (the tests). These copies share the template's
#       program files (hard links) and are for one run: remove them after it.
#   stop_wine_env
#       Stops the servers and the display started so far, then checks that
#       no program wrote into a template's file through a shared link; a
#       template that changed is removed (the next run makes it anew), and
#       stop_wine_env returns 1.
#
# The caller owns its traps: this file sets none, so call stop_wine_env
# from the caller's own EXIT trap, e.g. `trap stop_wine_env EXIT` before
# starting, or `trap 'stop_wine_env; rm -rf "$tmp"' EXIT`.
#
# Templates are kept in $TAVREL_WINE_TEMPLATES (default
# $TAVREL_BUILD_DIR/wine/templates), one per Wine version, arch and locale,
# each with a list of its shared files' checksums beside it (TEMPLATE.sums).

TAVREL_WINE_SERVERS=()
# Templates that copies of this run link to, and a file made once those
# copies were complete, before any of their programs ran.
TAVREL_WINE_SHARED_TEMPLATES=()
TAVREL_WINE_LINK_STAMP=

# The program files Wine installs into a prefix, most of its size and never
# written by a test: a copy for one run links to them, and copies every
# other file (the registry files, .ini files, ...) whole, as wineserver and
# programs rewrite those in place.
TAVREL_WINE_SHARED_FILES='.*\.\(dll\|exe\|drv\|sys\|ocx\|cpl\|acm\|nls\|tlb\|com\|ds\|msstyles\)'

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
    check_wine_templates
}

# A write through a shared link changes the template itself. Only a file
# whose inode changed after the copies were made can have been written;
# each such file must still have the checksum noted when its template was
# made.
check_wine_templates() {
    local template changed status=0
    for template in "${TAVREL_WINE_SHARED_TEMPLATES[@]}"; do
        changed="$(changed_template_files "$template" -cnewer "$TAVREL_WINE_LINK_STAMP")"
        [ -z "$changed" ] && continue
        echo "a program wrote into the Wine template $template through a shared file;" \
             "the template is removed (the next run makes it anew). Changed:" >&2
        echo "$changed" | sed 's/^/  /' >&2
        rm -rf "$template" "$template.sums"
        status=1
    done
    TAVREL_WINE_SHARED_TEMPLATES=()
    [ -z "$TAVREL_WINE_LINK_STAMP" ] || rm -f "$TAVREL_WINE_LINK_STAMP"
    TAVREL_WINE_LINK_STAMP=
    return $status
}

# template_sums TEMPLATE [FIND_TEST...]: the checksums of its shared files
# (of those FIND_TEST also picks), as TEMPLATE.sums holds them.
template_sums() {
    local template="$1"
    shift
    (cd "$template" && find . -type f "$@" -iregex "$TAVREL_WINE_SHARED_FILES" -print0 | sort -z \
        | xargs -0 -r sha1sum)
}

# write_template_sums TEMPLATE: notes them in TEMPLATE.sums.
write_template_sums() {
    template_sums "$1" > "$1.sums.$$" && mv -f "$1.sums.$$" "$1.sums"
}

# changed_template_files TEMPLATE [FIND_TEST...]: the shared files whose
# checksum is no longer the one noted in TEMPLATE.sums.
changed_template_files() {
    template_sums "$@" | grep -vxFf "$1.sums" | sed 's/^[0-9a-f]*  //' || true
}

# prefix_entry NAME:TEMPLATE_LOCALE: sets entry_name, entry_arch,
# entry_locale (without the +N of a further copy) and entry_template_locale.
prefix_entry() {
    entry_name="${1%%:*}"
    entry_arch="${entry_name%%-*}"
    entry_locale="${entry_name#*-}"
    entry_locale="${entry_locale%%+*}"
    entry_template_locale="${1#*:}"
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
    if [ -f "$template/system.reg" ] && ! grep -qx '"Managed"="N"' "$template/user.reg"; then
        rm -rf "$template" "$template.sums"  # made before its windows were unmanaged
    fi
    if [ -f "$template/system.reg" ]; then
        [ -f "$template.sums" ] || write_template_sums "$template" || return 1
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
    echo "Creating the Wine prefix template $template (once; about 10 s, in the virtual machine about a minute)..." >&2
    local building="$templates/.building-$$-$version-$arch-$locale"
    local output="$building.log"
    rm -rf "$building"
    # Made on our own display, or none: never on the user's.
    if ! (
        export WINEPREFIX="$building" WINEARCH="$arch" LC_ALL="$locale"
        if [ -n "${TAVREL_XVFB_DISPLAY:-}" ]; then export DISPLAY="$TAVREL_XVFB_DISPLAY"; else unset DISPLAY; fi
        wineboot -i >"$output" 2>&1 || exit 1
        # Our display has no window manager: a window Wine lets one manage
        # is waited for 2 s when hidden (each message box when it closes).
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
            >>"$output" 2>&1 && wineserver -w
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
    [ -f "$template.sums" ] || write_template_sums "$template" || return 1
    echo "$template"
}

# copy_wine_prefix PREFIX ARCH LOCALE TEMPLATE_LOCALE SHARE: a fresh copy of
# the template of ARCH made under TEMPLATE_LOCALE in PREFIX; with SHARE=1 it
# links to the template's program files.
copy_wine_prefix() {
    local prefix="$1" arch="$2" locale="$3" template_locale="$4" share="$5" template
    local wanted
    for wanted in "$locale" "$template_locale"; do
        if ! locale -a 2>/dev/null | grep -qix "${wanted/UTF-8/utf8}"; then
            echo "the locale $wanted is not generated (see scripts/install-deps.sh)" >&2
            return 1
        fi
    done
    template="$(ensure_wine_template "$arch" "$template_locale")" || return 1
    case " ${TAVREL_WINE_SHARED_TEMPLATES[*]} " in
        *" $template "*) ;;  # looked at when this run first linked to it
        *)
            # Copies kept from an earlier run (TAVREL_KEEP_PREFIXES=1) still
            # share its files, and a program started there later went
            # unchecked: looked at before those copies are replaced.
            if [ -n "$(find "$template" -type f -links +1 -print -quit)" ] &&
               [ -n "$(changed_template_files "$template")" ]; then
                echo "the Wine template $template no longer matches its checksums (a program" \
                     "wrote into a copy kept from an earlier run); it is made anew" >&2
                rm -rf "$template" "$template.sums"
                template="$(ensure_wine_template "$arch" "$template_locale")" || return 1
            fi
            if [ "$share" = 1 ]; then TAVREL_WINE_SHARED_TEMPLATES+=("$template"); fi
            ;;
    esac
    rm -rf "$prefix"
    mkdir -p "$(dirname "$prefix")"
    if [ "$share" != 1 ]; then
        cp -a "$template" "$prefix"
        return 0
    fi
    cp -a --link "$template" "$prefix"
    (cd "$template" && find . -type f ! -iregex "$TAVREL_WINE_SHARED_FILES" -print0) \
        | (cd "$prefix" && xargs -0 -r rm -f --)
    (cd "$template" && find . -type f ! -iregex "$TAVREL_WINE_SHARED_FILES" -print0 \
        | tar --null -T - -cf -) | tar -C "$prefix" -xpf -
}

# serve_wine_prefix PREFIX ARCH LOCALE: a persistent server for the copy in
# PREFIX, primed on our display.
serve_wine_prefix() {
    local prefix="$1" arch="$2" locale="$3"
    TAVREL_WINE_SERVERS+=("$prefix")
    prime_wine_server "$prefix" "$arch" "$locale"
}

prime_wine_server() {
    (
        export WINEPREFIX="$1" WINEARCH="$2" LC_ALL="$3"
        # The first process of a server fixes its display, so prime it with
        # DISPLAY already set; -p keeps the one server for the whole run.
        wineserver -p
        wine cmd /c exit </dev/null >/dev/null 2>&1
    )
}

# prepare_wine_templates NAME:TEMPLATE_LOCALE...: makes each template those
# prefixes need, ahead of start_wine_prefixes (while the build runs, say).
prepare_wine_templates() {
    local entry entry_name entry_arch entry_locale entry_template_locale made=" "
    local jobs=() job status=0
    wine_env_variables
    # Side by side: most of wineboot's time goes to one process at a time.
    for entry in "$@"; do
        prefix_entry "$entry"
        case "$made" in *" $entry_arch-$entry_template_locale "*) continue ;; esac
        made+="$entry_arch-$entry_template_locale "
        ensure_wine_template "$entry_arch" "$entry_template_locale" >/dev/null &
        jobs+=($!)
    done
    for job in "${jobs[@]}"; do
        wait "$job" || status=1
    done
    return $status
}

start_wine_env() {
    local prefix="$1" arch="${2:-win32}" locale="${3:-ja_JP.UTF-8}"
    wine_env_variables
    start_xvfb || return 1
    copy_wine_prefix "$prefix" "$arch" "$locale" "$locale" 0 || return 1
    serve_wine_prefix "$prefix" "$arch" "$locale"
    export WINEPREFIX="$prefix" WINEARCH="$arch" LC_ALL="$locale"
}

start_wine_prefixes() {
    local dir="$1" entry entry_name entry_arch entry_locale entry_template_locale
    shift
    wine_env_variables
    start_xvfb || return 1
    for entry in "$@"; do
        prefix_entry "$entry"
        copy_wine_prefix "$dir/$entry_name" "$entry_arch" "$entry_locale" \
            "$entry_template_locale" 1 || return 1
    done
    # Every link is made: from here on, a template's file whose inode
    # changes was touched through a copy (see check_wine_templates).
    TAVREL_WINE_LINK_STAMP="$(mktemp "${TMPDIR:-/tmp}/tavrel-links.XXXXXX")" || return 1
    local jobs=() job
    for entry in "$@"; do
        prefix_entry "$entry"
        TAVREL_WINE_SERVERS+=("$dir/$entry_name")
        prime_wine_server "$dir/$entry_name" "$entry_arch" "$entry_locale" &
        jobs+=($!)
    done
    for job in "${jobs[@]}"; do
        wait "$job"
    done
    export TAVREL_WINE_PREFIXES_DIR="$dir"
}
