#!/bin/bash
# Runs a command in one of the project's Wine prefixes, never in ~/.wine:
#
#   wine-run.sh ARCH-LOCALE[+N] PROGRAM.exe [ARGUMENTS...]   # under Wine
#   wine-run.sh ARCH-LOCALE[+N] COMMAND [ARGUMENTS...]       # a script that runs wine itself
#
# e.g. wine-run.sh win32-ja_JP.UTF-8 system_tests.exe. The prefix is the one
# of that name that scripts/run-tests.sh started (with its own server, on the
# test display); the command runs with its WINEPREFIX, WINEARCH and LC_ALL.
name="${1:-}"
shift
if [ -z "${TAVREL_WINE_PREFIXES_DIR:-}" ] || [ -z "$name" ] || [ $# -eq 0 ]; then
    echo "usage: wine-run.sh ARCH-LOCALE COMMAND...; run the tests with scripts/run-tests.sh," \
         "which starts the prefixes" >&2
    exit 125
fi
prefix="$TAVREL_WINE_PREFIXES_DIR/$name"
if [ ! -f "$prefix/system.reg" ] || [ "$(realpath -m "$prefix")" = "$(realpath -m "$HOME/.wine")" ]; then
    echo "wine-run.sh: no test prefix $name in $TAVREL_WINE_PREFIXES_DIR" \
         "(scripts/run-tests.sh starts each prefix a test names)" >&2
    exit 125
fi
locale="${name#*-}"
export WINEPREFIX="$prefix" WINEARCH="${name%%-*}" LC_ALL="${locale%%+*}"
# Each prefix is made for its locale: a case that needs a display language
# or code page the prefix lacks fails there rather than skip.
export TAVREL_TESTS_REQUIRE_LOCALE=1
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
case "$1" in
    *.exe|*.EXE) exec wine "$@" ;;
    *) exec "$@" ;;
esac
