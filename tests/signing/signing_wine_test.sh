#!/bin/bash
# The signed files signing_test.sh left in WORK_DIR, checked with Windows'
# own calls under Wine: WinVerifyTrust tells signed, tampered and unsigned
# files apart, and the signed Tavrel.exe still runs.
#
#   signing_wine_test.sh WORK_DIR RUNNER_EXE TRUST_CHECK_EXE
#
# Runs inside the Wine session of scripts/run-tests.sh, after signing_test.sh.
# Exits 77 (skipped) when osslsigncode is not installed.
set -uo pipefail

if [ $# -ne 3 ]; then
    echo "usage: signing_wine_test.sh WORK_DIR RUNNER_EXE TRUST_CHECK_EXE" >&2
    exit 2
fi
WORK="$1" RUNNER_EXE="$2" TRUST_CHECK_EXE="$3"
if ! command -v osslsigncode >/dev/null 2>&1; then
    echo "skipped: osslsigncode is not installed, so signing_test.sh signed nothing"
    exit 77
fi
SIGNED="$WORK/a/signed/Tavrel.exe" UNSIGNED="$WORK/c/Tavrel.exe"
source "$(dirname "$0")/../wine/expect-session.sh"
expect_files signing_test.sh "$SIGNED" "$UNSIGNED" "$WORK/tampered.text.exe" "$WORK/tampered.rsrc.exe"
expect_wine_session
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winedbg.exe=d}"

failures=0
fail() {
    echo "FAIL: $1"
    failures=$((failures + 1))
}
windows_path() {
    local path="$1"
    printf 'Z:%s' "${path//\//\\}"
}

echo "--- under Wine: WinVerifyTrust, and the signed program runs"
# Wine's WinVerifyTrust does not check the chain (an untrusted root gives
# 0): this checks presence, integrity and the signature itself.
expect_trust() {
    local file="$1" expected="$2" what="$3" got
    got=$(timeout 60 wine "$TRUST_CHECK_EXE" "$(windows_path "$file")" </dev/null 2>&1 | tr -d '\r')
    if [ "${got%% *}" = "$expected" ]; then
        echo "ok: WinVerifyTrust $what: $expected"
    else
        fail "WinVerifyTrust $what: expected $expected, got '$got'"
    fi
}
expect_trust "$SIGNED" 0x00000000 "signed"
expect_trust "$WORK/tampered.text.exe" 0x80096010 "byte changed in .text"
expect_trust "$WORK/tampered.rsrc.exe" 0x80096010 "byte changed in .rsrc"
expect_trust "$UNSIGNED" 0x800B0100 "unsigned"

# No argument at all: message 101 and -1.
mkdir -p "$WORK/run"
cp "$SIGNED" "$WORK/run/Tavrel.exe"
printf '"%s"' "$(windows_path "$WORK/run/Tavrel.exe")" >"$WORK/run/command-line.txt"
expected_text=$(timeout 60 wine "$TRUST_CHECK_EXE" --string 101 "$(windows_path "$WORK/run/Tavrel.exe")" \
                </dev/null 2>&1 | tr -d '\r')
report=$(timeout 60 wine "$RUNNER_EXE" "$(windows_path "$WORK/run/Tavrel.exe")" \
         "$(windows_path "$WORK/run/command-line.txt")" --timeout 30000 </dev/null 2>&1 | tr -d '\r')
if [ -n "$expected_text" ] && [[ "$report" == *"message box: ["*"] $expected_text"* ]] &&
   [[ "$report" == *"exit code: -1 (0xFFFFFFFF)"* ]]; then
    echo "ok: the signed Tavrel.exe without argument shows message 101 and exits -1"
else
    fail "signed Tavrel.exe without argument: expected message 101 '$expected_text' and exit code -1, got: $report"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all checks of the signed files under Wine passed"
