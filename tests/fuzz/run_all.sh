#!/bin/bash
# Runs every fuzz target of a build for the same time each, one after the
# other, from its seed corpus. Usage: run_all.sh <build-dir> <seconds-per-target>
# Exits nonzero when any target has a finding.
set -uo pipefail

if [ $# -ne 2 ]; then
    echo "usage: $0 <build-dir> <seconds-per-target>" >&2
    exit 2
fi
here=$(dirname "$(realpath "$0")")
build=$1
seconds=$2

# Stopped halfway, the running target is stopped too and no later one starts.
runner=
trap '[ -z "$runner" ] || { kill "$runner" 2>/dev/null; wait "$runner"; }; exit 130' INT TERM HUP

# Each fuzz_NAME.cpp is a target, seeded from corpus/NAME (the same list
# the fuzz build and the test suite read).
passed=0
failed=0
for source in "$here"/fuzz_*.cpp; do
    target=$(basename "$source" .cpp)
    target=${target#fuzz_}
    if [ ! -x "$build/fuzz_$target" ]; then
        echo "fuzz_$target: not built in $build"
        failed=$((failed + 1))
    else
        # In the background, so that a stop reaches it at once; it removes
        # its own temporary folder.
        "$here/run_fuzzer.sh" "$build/fuzz_$target" "$here/corpus/$target" "$seconds" &
        runner=$!
        if wait "$runner"; then
            passed=$((passed + 1))
        else
            failed=$((failed + 1))
        fi
        runner=
    fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
