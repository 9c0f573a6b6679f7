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

targets="replace_token strip_quotes take_registry_text path_split
         skip_program_name split_at_program_name resolve_program
         expand_references"
passed=0
failed=0
for target in $targets; do
    if [ ! -x "$build/fuzz_$target" ]; then
        echo "fuzz_$target: not built in $build"
        failed=$((failed + 1))
    elif "$here/run_fuzzer.sh" "$build/fuzz_$target" "$here/corpus/$target" "$seconds"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
    fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
