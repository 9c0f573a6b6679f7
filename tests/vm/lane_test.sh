#!/bin/bash
# The virtual machine that runs the Windows-side tests where this machine's
# kernel refuses 32-bit code (scripts/vm.sh), checked on any machine: a
# 32-bit program and 32-bit Wine run inside it, a command's output and exit
# code come back, a command that does not end in time ends the run, and a
# VM that cannot start says so. Usage: lane_test.sh WORK_DIR
set -uo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
work="$1"
rm -rf "$work"
mkdir -p "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

source "$root/scripts/host-check.sh"
tavrel_ia32_probe_bytes > "$work/probe"
chmod +x "$work/probe"

# The guest sees this folder at the same path; its output reaches us as it comes.
"$root/scripts/vm.sh" run --timeout 300 -- bash -c \
    "echo guest kernel \$(uname -r); '$work/probe'; echo \"32-bit probe exited \$?\";
     echo \"wine: \$(wine --version 2>&1)\"; exit 3" > "$work/out.txt" 2>&1
status=$?
cat "$work/out.txt"
[ "$status" = 3 ] || fail "the command's exit code 3 should come back, got $status"
grep -qx "32-bit probe exited 42" "$work/out.txt" ||
    fail "a 32-bit x86 program should run in the VM (exit 42)"
grep -q "^wine: wine-[0-9]" "$work/out.txt" || fail "Wine's 32-bit loader should start in the VM"

"$root/scripts/vm.sh" run --timeout 20 -- sleep 600 > "$work/timeout.txt" 2>&1
status=$?
cat "$work/timeout.txt"
[ "$status" = 125 ] || fail "a command that does not end should end the run with 125, got $status"
grep -q "did not end within 20 s" "$work/timeout.txt" || fail "the time-out should be named"

mkdir -p "$work/empty-cache"
TAVREL_VM_CACHE="$work/empty-cache" TAVREL_VM_OFFLINE=1 \
    "$root/scripts/vm.sh" run -- true > "$work/no-vm.txt" 2>&1
status=$?
cat "$work/no-vm.txt"
[ "$status" = 125 ] || fail "a VM that cannot start should give 125, got $status"
[ "$(wc -l < "$work/no-vm.txt")" = 1 ] && grep -q "the VM cannot start" "$work/no-vm.txt" ||
    fail "a VM that cannot start should say so in one line"

[ $failures = 0 ] && echo "PASS" || exit 1
