#!/bin/bash
# run-tests.cmd, the script that runs the Windows-side tests on a Windows
# machine, run here through Wine's own cmd, as a Windows machine would run
# it: from a copy of the build's windows-tests folder on drive C:, with
# Wine's Z: drive (the whole Unix file system) removed from the prefix, so
# that nothing can reach the build by a Unix path.
#
#   wine_script_test.sh FILES_DIR RESULTS_DIR
#
# FILES_DIR is the build's windows-tests folder; the script's results
# (GoogleTest XML, exit codes) are copied to RESULTS_DIR. Runs inside
# tests/wine/wine-run.sh, in a 64-bit prefix of its own. Passes when the
# script exits 0 and its closing line says 0 failed.
set -uo pipefail

if [ $# -ne 2 ]; then
    echo "usage: wine_script_test.sh FILES_DIR RESULTS_DIR" >&2
    exit 2
fi
FILES="$1" RESULTS="$2"
source "$(dirname "$0")/../wine/expect-session.sh"
expect_files "the build" "$FILES/system_tests.exe" "$FILES/run-tests.cmd" "$FILES/Tavrel.exe"
expect_wine_session
if [ "$WINEARCH" != win64 ]; then
    echo "expected a 64-bit prefix (the script's lane is 64-bit Windows), got $WINEARCH" >&2
    exit 2
fi

# Every prefix gets a Z: drive for / when it is made; this one loses it.
rm -f "$WINEPREFIX/dosdevices/z:" "$WINEPREFIX/dosdevices/z::"
drives=$(cd "$WINEPREFIX/dosdevices" && ls)
if [ -e "$WINEPREFIX/dosdevices/z:" ]; then
    echo "expected no Z: drive in $WINEPREFIX, got one" >&2
    exit 2
fi
echo "drives of the prefix: $(echo $drives)"

# The build's files reach the prefix as a copy on drive C:, as a Windows
# machine gets them from the build's artifact.
copy="$WINEPREFIX/drive_c/tavrel-build"
rm -rf "$copy" "$WINEPREFIX/drive_c/tavrel-results"
cp -r "$FILES" "$copy"
rm -rf "$copy/results"

# The locale cases skip where the prefix lacks their setting, as on Windows
# (the per-locale prefixes of the other Wine tests require theirs).
unset TAVREL_TESTS_REQUIRE_LOCALE
cd "$WINEPREFIX/drive_c"
log="$(mktemp)"
wine cmd /c 'C:\tavrel-build\run-tests.cmd' 'C:\tavrel-build' 'C:\tavrel-results' </dev/null 2>&1 \
    | tr -d '\r' | tee "$log"
status=${PIPESTATUS[0]}

rm -rf "$RESULTS"
mkdir -p "$RESULTS"
cp -r "$WINEPREFIX/drive_c/tavrel-results/." "$RESULTS/" 2>/dev/null || true
closing="$(grep -E '^[0-9]+ passed, [0-9]+ failed, [0-9]+ skipped$' "$log" | tail -1)"
rm -f "$log"
if [ -z "$closing" ]; then
    echo "FAIL: expected the closing line 'N passed, N failed, N skipped' from run-tests.cmd, got none (exit code $status)"
    exit 1
fi
if [ "$status" -ne 0 ] || [[ "$closing" != *" 0 failed,"* ]]; then
    echo "FAIL: run-tests.cmd ended with '$closing' and exit code $status"
    exit 1
fi
echo "run-tests.cmd under Wine's cmd, without Z:: $closing"
