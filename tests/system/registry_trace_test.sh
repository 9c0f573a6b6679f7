#!/bin/bash
# Runs Tavrel.exe once under Wine's registry trace, with the prefix's own
# registration, and checks with registry_trace.py that the keys deciding its
# installer are opened under HKEY_LOCAL_MACHINE, never through
# HKEY_CLASSES_ROOT or HKEY_CURRENT_USER. Relies on Wine 8's trace format.
# Runs in a prefix through tests/wine/wine-run.sh.
# Usage: registry_trace_test.sh TAVREL.EXE
set -uo pipefail
tavrel="$1"
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp "$tavrel" "$work/Tavrel.exe"
# The installer gets a file that does not exist: it ends at once, installing nothing.
WINEDEBUG=+pid,+reg timeout $((60 * ${TAVREL_TEST_TIME_SCALE:-1})) wine "$work/Tavrel.exe" 'C:\tavrel-trace\none.inf' \
    </dev/null >/dev/null 2>"$work/trace.txt"
status=$?
echo "Tavrel exited $status; $(wc -l <"$work/trace.txt") trace lines"
[ "$status" = 0 ] || { echo "FAIL: expected exit code 0, got $status"; exit 1; }
/usr/bin/python3 "$here/registry_trace.py" "$work/trace.txt"
