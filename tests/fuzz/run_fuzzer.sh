#!/bin/bash
# Runs one fuzz target for a bounded time from a copy of its seed corpus.
# Usage: run_fuzzer.sh <fuzzer-binary> <corpus-dir> <seconds>
# Prints the number of executions; on a finding exits 1 and keeps the
# failing input in a folder it names (under $FUZZ_FINDINGS_DIR when set).
set -euo pipefail

if [ $# -ne 3 ]; then
    echo "usage: $0 <fuzzer-binary> <corpus-dir> <seconds>" >&2
    exit 2
fi
fuzzer=$(realpath "$1")
seeds=$2
seconds=$3
name=$(basename "$fuzzer")

work=$(mktemp -d "${TMPDIR:-/tmp}/$name.XXXXXX")
findings=${FUZZ_FINDINGS_DIR:-$work}/findings-$name
mkdir -p "$work/corpus" "$findings"
# The fuzzer adds to the corpus it is given: keep the seeds as they are.
cp -R "$seeds"/. "$work/corpus/"

# Stopped halfway (Ctrl-C, kill), nothing is kept: stop the fuzzer, remove
# the copy. It runs in the background so that the trap runs at once.
fuzzer_pid=
stopped() {
    trap - INT TERM HUP
    if [ -n "$fuzzer_pid" ]; then
        kill "$fuzzer_pid" 2>/dev/null || true
        wait "$fuzzer_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
    [ -z "${FUZZ_FINDINGS_DIR:-}" ] || rmdir "$findings" 2>/dev/null || true
    exit 130
}
trap stopped INT TERM HUP

status=0
"$fuzzer" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$findings/" \
    "$work/corpus" >"$work/log" 2>&1 &
fuzzer_pid=$!
wait "$fuzzer_pid" || status=$?
fuzzer_pid=

executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -n 1)
if [ "$status" -ne 0 ] || [ -n "$(ls -A "$findings")" ]; then
    tail -n 40 "$work/log"
    echo "$name: FINDING (exit $status) after ${executions:-?} executions in ${seconds} s"
    echo "$name: failing input kept in $findings:"
    ls -l "$findings"
    echo "$name: full log in $work/log"
    exit 1
fi
echo "$name: ${executions:-?} executions in ${seconds} s, no finding"
rm -rf "$work"
[ -z "${FUZZ_FINDINGS_DIR:-}" ] || rmdir "$findings"
