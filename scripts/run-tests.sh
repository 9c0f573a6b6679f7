#!/bin/bash
# Builds everything and runs every test: native unit tests and fuzz runs of
# the byte logic, the checks that read the built files, and the real
# Tavrel.exe under Wine, in prefixes of each arch and locale the tests name
# (scripts/wine-tests.sh). Extra arguments go to ctest (for example
# -R Failure, or -j1 for one test at a time). It ends with one closing line
# for all the tests, and exits non-zero when any failed or did not report.
#
# Tavrel.exe is a 32-bit program. Where this machine's kernel refuses
# 32-bit x86 code, the Windows-side tests run in a software-emulated
# virtual machine (scripts/vm.sh), and everything else here; TAVREL_VM=1
# takes that lane on any machine.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
export TAVREL_BUILD_DIR="${TAVREL_BUILD_DIR:-$ROOT/build}"

source "$ROOT/scripts/host-check.sh"
lane=here
if [ "${TAVREL_VM:-0}" = 1 ]; then
    lane=vm
    echo "TAVREL_VM=1: the Windows-side tests run in a software-emulated virtual machine" \
         "(QEMU); that takes about 25 minutes on 2 cores."
elif ! host_problem="$(check_kernel_runs_32bit)"; then
    lane=vm
    echo "This machine's kernel refuses 32-bit x86 code (Tavrel.exe and Wine's 32-bit loader" \
         "cannot start here), so the Windows-side tests run in a software-emulated virtual" \
         "machine (QEMU); that takes about 25 minutes on 2 cores."
fi

# In the VM everything under Wine runs about five times slower: the times
# the Wine tests allow are stretched as much (tests/CMakeLists.txt).
if [ $lane = vm ]; then
    export TAVREL_TEST_TIME_SCALE="${TAVREL_TEST_TIME_SCALE:-5}"
else
    export TAVREL_TEST_TIME_SCALE="${TAVREL_TEST_TIME_SCALE:-1}"
fi
configure() {
    cmake -S "$ROOT" -B "$TAVREL_BUILD_DIR" -DTAVREL_TEST_TIME_SCALE="$TAVREL_TEST_TIME_SCALE" >/dev/null
}

source "$ROOT/scripts/ensure-deps.sh"
ensure_deps
if [ $lane = here ]; then
    check_wine_runs_32bit >&2 || exit 1
    # The templates of the Wine prefixes are made while the rest is built
    # and the tests that need no Wine run (once per Wine version).
    configure
    templates_log="$TAVREL_BUILD_DIR/wine-templates.log"
    "$ROOT/scripts/wine-tests.sh" templates >"$templates_log" 2>&1 &
    templates_job=$!
    trap 'kill $templates_job 2>/dev/null; wait $templates_job 2>/dev/null' EXIT
else
    # Fails at once, with its reason, when the VM cannot be made.
    "$ROOT/scripts/vm.sh" prepare
    configure
fi
cmake --build "$TAVREL_BUILD_DIR" -j"$(nproc)"

# Each part of the run writes its results; the closing line covers them all
# (CTest's own closing lines of each part are left out).
results="$TAVREL_BUILD_DIR/test-results"
rm -rf "$results"
mkdir -p "$results"
without_closing_lines() {
    awk '{ line = $0; gsub(/\033\[[0-9;]*m/, "", line) }
         line ~ /^[0-9]+% tests passed, [0-9]+ tests failed out of/ { done = 1 }
         !done { print; fflush() }'
}

# The tests that need no Wine, as many at a time as there are cores (the
# Wine tests are listed only where their prefixes are up).
(cd "$TAVREL_BUILD_DIR" &&
    TAVREL_WINE_TESTS_UNLISTED=1 ctest --output-on-failure --timeout 300 -j"$(nproc)" -LE wine32 \
        --output-junit "$results/here.xml" "$@") | without_closing_lines || true

wine_status=0
if [ $lane = here ]; then
    if ! wait $templates_job; then
        cat "$templates_log" >&2
        exit 1
    fi
    trap - EXIT
    "$ROOT/scripts/wine-tests.sh" run "$@" | without_closing_lines || wine_status=$?
    parts=("on this machine=$results/here.xml" "under Wine=$results/wine.xml")
else
    # The prefixes live in the guest's own memory, not on the shared disk.
    # Three tests at a time there: measured on 39 of them, two took 197 s,
    # three 162 s, six 186 s (the guest's two CPUs are busy throughout).
    TAVREL_WINE_TEMPLATES=/tmp/tavrel/templates TAVREL_WINE_PREFIXES=/tmp/tavrel/prefixes \
    TAVREL_WINE_JOBS="${TAVREL_WINE_JOBS:-3}" \
        "$ROOT/scripts/vm.sh" run --timeout 3600 -- "$ROOT/scripts/wine-tests.sh" run "$@" \
        | without_closing_lines || wine_status=${PIPESTATUS[0]}
    if [ "$wine_status" = 125 ]; then
        echo "The Windows-side tests did not run (see the line from vm.sh above): no pass." >&2
        exit 1
    fi
    parts=("on this machine=$results/here.xml" "under Wine in the VM=$results/wine.xml")
fi
# The cases of the Windows script (tests/windows/run-tests.cmd), which one
# of the Wine tests runs, count one by one.
# (tally.xml: the checks that are no GoogleTest program, and any part that
# did not report.)
for program in system_tests message_tests tally; do
    if [ -f "$results/windows-script/$program.xml" ]; then
        parts+=("${program/tally/checks} in run-tests.cmd=$results/windows-script/$program.xml")
    fi
done
/usr/bin/python3 "$ROOT/scripts/test-summary.py" "${parts[@]}"
