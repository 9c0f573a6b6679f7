#!/bin/bash
# Runs the Windows-side tests (those labelled wine32) of a build that is
# already made, under Wine: makes the prefix templates the tests name if
# they are not made yet, starts a fresh copy of each prefix with a server
# of its own, and runs those tests with CTest, three per core (they mostly
# wait out Tavrel's one-second pauses). scripts/run-tests.sh calls it on
# this machine, or inside the virtual machine of scripts/vm.sh where this
# machine's kernel refuses 32-bit code.
#
#   wine-tests.sh templates           only make the templates
#   wine-tests.sh run [CTEST ARGS...] make them if needed, then run the tests
#
# TAVREL_BUILD_DIR is the build; the results go to
# $TAVREL_BUILD_DIR/test-results/wine.xml (JUnit). The copies go to
# $TAVREL_WINE_PREFIXES (default $TAVREL_BUILD_DIR/wine/tests) and go when
# the run ends; TAVREL_KEEP_PREFIXES=1 keeps them for a look after a
# failure. A run in which a program wrote into a template fails, and the
# template is made anew next time (see scripts/wine-env.sh).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
: "${TAVREL_BUILD_DIR:?TAVREL_BUILD_DIR must be set}"
source "$ROOT/scripts/wine-env.sh"
mapfile -t prefixes < "$TAVREL_BUILD_DIR/wine-prefixes.txt"

case "${1:-}" in
    templates)
        prepare_wine_templates "${prefixes[@]}"
        exit
        ;;
    run) shift ;;
    *) sed -n '2,18p' "$0" >&2; exit 2 ;;
esac

if ! prepare_wine_templates "${prefixes[@]}"; then
    echo "could not make the Wine prefix templates; the Windows-side tests did not run" >&2
    exit 1
fi
copies="${TAVREL_WINE_PREFIXES:-$TAVREL_BUILD_DIR/wine/tests}"
end_wine_run() {
    local status=$?
    stop_wine_env || status=1
    [ "${TAVREL_KEEP_PREFIXES:-0}" = 1 ] || rm -rf "$copies"
    exit $status
}
trap end_wine_run EXIT
start_wine_prefixes "$copies" "${prefixes[@]}"

# A whole run made these tests' fixture (the signed files) with the tests
# that need no Wine.
made_once=()
[ $# -gt 0 ] || made_once=(-FS signed_files)
cd "$TAVREL_BUILD_DIR"
mkdir -p test-results
rm -f test-results/wine.xml
ctest --output-on-failure --timeout 300 -j"${TAVREL_WINE_JOBS:-$((3 * $(nproc)))}" -L wine32 "${made_once[@]}" \
    --output-junit "$TAVREL_BUILD_DIR/test-results/wine.xml" "$@"
