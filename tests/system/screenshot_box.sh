#!/bin/bash
# Shows Tavrel's message 101 (empty argument) in a Wine desktop window on the
# test display and saves a screenshot of it, for a person to look at. Runs in
# a prefix through tests/wine/wine-run.sh; the box speaks its locale's
# language. The shot is taken once the runner has read the box's text and
# had it painted; only then is the box closed. The test is that the box the
# picture shows had exactly EXPECTED_TEXT (UTF-8) at the moment of the shot,
# and that the picture shows a window on the desktop: at least the area of
# a small box differs from the desktop's colour (its top left pixel; the
# box is centred).
# Usage: screenshot_box.sh RUNNER.EXE TAVREL.EXE OUTPUT.PNG EXPECTED_TEXT
set -euo pipefail
runner="$1"; tavrel="$2"; output="$3"; expected="$4"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$(dirname "$output")"
rm -f "$output"

printf '"%s"' "$(winepath -w "$tavrel")" > "$work/command-line.txt"
shown="$work/box-shown"
close="$work/close-box"
wine explorer /desktop=TavrelMessage,520x170 "$(winepath -w "$runner")" "$(winepath -w "$tavrel")" \
    "$(winepath -w "$work/command-line.txt")" --timeout 30000 \
    --box-shown "$(winepath -w "$shown")" --close-box-when "$(winepath -w "$close")" \
    > "$work/runner.txt" 2>&1 &
for _ in $(seq 1 200); do
    [ -e "$shown" ] && break
    sleep 0.1
done
if [ ! -e "$shown" ]; then
    echo "no message box was shown"; cat "$work/runner.txt"; exit 1
fi
import -window root -crop 520x170+0+0 "$output"
: > "$close"
for _ in $(seq 1 100); do
    grep -q "exit code" "$work/runner.txt" 2>/dev/null && break
    sleep 0.1
done
tr -d '\r' < "$work/runner.txt"
echo "screenshot: $output"
[ -s "$output" ] || { echo "no picture was saved"; exit 1; }
desktop="$(convert "$output" -format '%[pixel:p{0,0}]' info:)"
shown_pixels="$(convert "$output" -fill black -opaque "$desktop" -fill white +opaque black \
                    -format '%[fx:round(mean*w*h)]' info:)"
echo "pixels not of the desktop's colour $desktop: $shown_pixels"
if ! [ "$shown_pixels" -ge 12000 ] 2>/dev/null; then
    echo "the picture shows no box: expected at least 12000 pixels (about 150x80) not of the" \
         "desktop's colour"
    exit 1
fi
found=0
while IFS= read -r line; do
    case "$line" in "message box: ["*"] $expected") found=1 ;; esac
done < <(tr -d '\r' < "$work/runner.txt")
if [ "$found" != 1 ]; then
    echo "the box in the picture did not read: $expected"
    exit 1
fi
