#!/bin/bash
# Runs a Windows program under Wine in the project's own prefix, never in
# ~/.wine. scripts/wine-session.sh sets the prefix, display and locale up.
if [ -z "${WINEPREFIX:-}" ] || [ "$(realpath -m "$WINEPREFIX")" = "$(realpath -m "$HOME/.wine")" ]; then
    echo "wine-run.sh: WINEPREFIX must name the project's test prefix; run the tests with scripts/run-tests.sh" >&2
    exit 125
fi
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec wine "$@"
