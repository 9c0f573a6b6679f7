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
# script exits 0, its closing line says 0 failed, and the machine is as it
# was: the .inf registration, the classes it names, the machine's
# environment, and no key or file of the tests left.
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
rm -rf "$copy" "$WINEPREFIX/drive_c/tavrel-results" "$RESULTS.before" "$RESULTS.after"
cp -r "$FILES" "$copy"
rm -rf "$copy/results"

# The cases of the other locales run in prefixes of their own (the CTest
# lanes of tests/CMakeLists.txt), so here they are left out, as GoogleTest
# reads GTEST_FILTER: what is skipped here is what only Windows can show.
# The Japanese cases need their settings, which this prefix has.
export GTEST_FILTER='-*/en_US_*:*/de_DE_*:*/ko_KR_*'
export TAVREL_TESTS_REQUIRE_LOCALE=1
# What the tests change on the machine, read the way Windows' reg.exe
# reads it, before and after: the script must leave it as it was.
machine_state() {
    local key
    for key in 'HKLM\Software\Classes\.inf' 'HKLM\Software\Classes\inffile' \
               'HKCU\Software\Classes\.inf' \
               'HKLM\System\CurrentControlSet\Control\Session Manager\Environment'; do
        echo "== $key"
        wine reg query "$key" /s </dev/null 2>&1 | tr -d '\r'
    done
    for key in 'HKLM\Software\Tavrel Tests' 'HKLM\Software\Tavrel Demo' 'HKLM\Software\Tavrel Native Test'; do
        for view in 32 64; do
            wine reg query "$key" "/reg:$view" </dev/null >/dev/null 2>&1 && echo "left behind: $key (/reg:$view)"
        done
    done
    (cd "$WINEPREFIX/drive_c" && find . -iname '*tavrel*' ! -path './tavrel-build*' ! -path './tavrel-results*' |
        sed 's/^/left behind: /')
}

cd "$WINEPREFIX/drive_c"
machine_state >"$RESULTS.before"
log="$(mktemp)"
wine cmd /c 'C:\tavrel-build\run-tests.cmd' 'C:\tavrel-build' 'C:\tavrel-results' </dev/null 2>&1 \
    | tr -d '\r' | tee "$log"
status=${PIPESTATUS[0]}

machine_state >"$RESULTS.after"
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
if ! diff -u "$RESULTS.before" "$RESULTS.after"; then
    echo "FAIL: expected the machine as it was before run-tests.cmd, got the changes above"
    exit 1
fi
echo "the .inf registration, the classes and the machine's environment are as they were; nothing of the tests is left"
echo "run-tests.cmd under Wine's cmd, without Z:: $closing"
