#!/bin/bash
# Shows Tavrel's message 101 (empty argument) in a Wine desktop window on the
# test display and saves a screenshot of it, for a person to look at.
# Usage: screenshot_box.sh RUNNER.EXE TAVREL.EXE OUTPUT.PNG
set -euo pipefail
runner="$1"; tavrel="$2"; output="$3"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$(dirname "$output")"
rm -f "$output"

printf '"%s"' "$(winepath -w "$tavrel")" > "$work/command-line.txt"
marker="$work/box-shown"
wine explorer /desktop=TavrelMessage,520x170 "$(winepath -w "$runner")" "$(winepath -w "$tavrel")" \
    "$(winepath -w "$work/command-line.txt")" --timeout 30000 --hold-box 3000 \
    --box-shown "$(winepath -w "$marker")" > "$work/runner.txt" 2>&1 &
for _ in $(seq 1 200); do
    [ -e "$marker" ] && break
    sleep 0.1
done
if [ ! -e "$marker" ]; then
    echo "no message box was shown"; cat "$work/runner.txt"; exit 1
fi
sleep 0.7  # let the box paint
import -window root -crop 520x170+0+0 "$output"
for _ in $(seq 1 100); do
    grep -q "exit code" "$work/runner.txt" 2>/dev/null && break
    sleep 0.1
done
tr -d '\r' < "$work/runner.txt"
colours="$(convert "$output" -format %k info:)"
echo "screenshot: $output ($colours colours)"
# A painted box has text, an icon and a button: far more than a few colours.
[ "$colours" -gt 8 ]
