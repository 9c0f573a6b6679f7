#!/bin/bash
# Size and start-up cost of Tavrel.exe.
#
#   bench/run-bench.sh [-n RUNS] [BUILD_DIR]
#
# Takes BUILD_DIR/Tavrel.exe, or builds one (tests off) into build/bench/build.
# Prints the file's sections and imports, then the median time, over RUNS runs
# (15 by default), of
#   (a) Tavrel.exe installing an .inf file whose registered install command
#       names a program that ends at once,
#   (b) that program started directly with the same command line,
# and what is left of (a) for Tavrel itself once (b) and the pauses of its
# once-a-second wait are taken away. The runs are timed inside Wine by
# start_timer.exe (CreateProcessA until the process has ended), under one
# warm wineserver in a fresh prefix of the bench's own, with a display.
# Everything it starts is stopped before it exits.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BENCH_DIR="${TAVREL_BENCH_DIR:-$ROOT/build/bench}"
RUNS=15

while [ $# -gt 0 ]; do
    case "$1" in
        -n) RUNS="$2"; shift 2 ;;
        -h|--help) sed -n '2,17p' "$0"; exit 0 ;;
        *) break ;;
    esac
done
if [ $# -gt 1 ] || ! [[ "$RUNS" =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: run-bench.sh [-n RUNS] [BUILD_DIR]" >&2
    exit 2
fi
mkdir -p "$BENCH_DIR/tools"

if [ $# -eq 1 ]; then
    TAVREL_EXE="$(cd "$1" && pwd)/Tavrel.exe"
else
    echo "Building Tavrel.exe in $BENCH_DIR/build..."
    cmake -S "$ROOT" -B "$BENCH_DIR/build" -DBUILD_TESTING=OFF >/dev/null
    cmake --build "$BENCH_DIR/build" --target Tavrel >/dev/null
    TAVREL_EXE="$BENCH_DIR/build/Tavrel.exe"
fi
if [ ! -f "$TAVREL_EXE" ]; then
    echo "run-bench.sh: no Tavrel.exe at $TAVREL_EXE" >&2
    exit 2
fi

# The installer stand-in has no C runtime and no console, so that it costs
# no more than a process.
TOOLS="$BENCH_DIR/tools"
i686-w64-mingw32-gcc -Os -s -mwindows -nostdlib -nostartfiles -Wl,-e,_QuickExitStart@0 \
    "$ROOT/bench/quick_exit.c" -lkernel32 -o "$TOOLS/quick_exit.exe"
i686-w64-mingw32-gcc -O2 -s "$ROOT/bench/start_timer.c" -o "$TOOLS/start_timer.exe"

echo
echo "== Size"
/usr/bin/python3 "$ROOT/tests/lean/check_binary.py" "$TAVREL_EXE" || true

# The prefix templates are shared with the tests: each is kept for one Wine
# version, arch and locale, and only ever copied. Never ~/.wine.
export TAVREL_WINE_TEMPLATES="$ROOT/build/wine/templates"
export TAVREL_BUILD_DIR="$BENCH_DIR"
source "$ROOT/scripts/wine-env.sh"
trap 'stop_wine_env; rm -rf "$BENCH_DIR"/prefix-win32 "$BENCH_DIR"/prefix-win64' EXIT

# time_runs NAME: leaves one "milliseconds exit-code" line per run in NAME.times.
time_runs() {
    wine 'C:\bench\start_timer.exe' "$RUNS" "C:\\bench\\$1.txt" </dev/null \
        >"$DRIVE_DIR/$1.times" 2>"$DRIVE_DIR/$1.err" || {
        cat "$DRIVE_DIR/$1.err" >&2
        echo "run-bench.sh: timing $1 failed" >&2
        exit 1
    }
    # Its stdout is in text mode: CR LF.
    tr -d '\r' <"$DRIVE_DIR/$1.times" >"$DRIVE_DIR/$1.tmp" && mv "$DRIVE_DIR/$1.tmp" "$DRIVE_DIR/$1.times"
}
median() {
    cut -d' ' -f1 "$1" | sort -n | awk '{ v[NR] = $1 } END {
        if (NR % 2) printf "%.1f", v[(NR + 1) / 2]; else printf "%.1f", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
spread() {
    cut -d' ' -f1 "$1" | sort -n | awk 'NR == 1 { lo = $1 } { hi = $1 } END { printf "%.1f-%.1f", lo, hi }'
}
exit_codes() {
    cut -d' ' -f2 "$1" | sort -u | tr '\n' ' ' | sed 's/ $//'
}


# bench_in ARCH: the start-up figures in a fresh prefix of that arch (on
# 64-bit Windows Tavrel runs under WOW64).
bench_in() {
ARCH="$1"
PREFIX="$BENCH_DIR/prefix-$ARCH"
start_wine_env "$PREFIX" "$ARCH" >/dev/null
# A crash ends the process instead of waiting on a debugger's dialog.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winedbg.exe=d"

DRIVE_DIR="$PREFIX/drive_c/bench"
mkdir -p "$DRIVE_DIR"
cp "$TAVREL_EXE" "$TOOLS/quick_exit.exe" "$TOOLS/start_timer.exe" "$DRIVE_DIR/"
: >"$DRIVE_DIR/bench.inf"
wine reg add 'HKCR\.inf' /ve /d benchfile /f >/dev/null 2>&1
wine reg add 'HKCR\benchfile\shell\Install\command' /ve \
    /d 'C:\bench\quick_exit.exe %1' /f >/dev/null 2>&1
printf '%s' 'C:\bench\Tavrel.exe C:\bench\bench.inf' >"$DRIVE_DIR/tavrel.txt"
printf '%s' 'C:\bench\quick_exit.exe C:\bench\bench.inf' >"$DRIVE_DIR/direct.txt"

time_runs tavrel
time_runs direct

A=$(median "$DRIVE_DIR/tavrel.times")
B=$(median "$DRIVE_DIR/direct.times")
# The wait reads the process state before each one-second pause: a program
# that has not ended by the first reading costs a second pause.
PAUSES=$(awk -v a="$A" -v b="$B" 'BEGIN { p = int((a - b) / 1000); print (p < 1 ? 1 : p) }')

echo
echo "== Start-up in a $ARCH prefix, median of $RUNS runs (timed inside Wine by start_timer.exe; min-max in brackets)"
printf '  (a) Tavrel.exe C:\\bench\\bench.inf, install command quick_exit.exe %%1: %8s ms  [%s]  exit %s\n' \
    "$A" "$(spread "$DRIVE_DIR/tavrel.times")" "$(exit_codes "$DRIVE_DIR/tavrel.times")"
printf '  (b) quick_exit.exe C:\\bench\\bench.inf started directly:                %8s ms  [%s]  exit %s\n' \
    "$B" "$(spread "$DRIVE_DIR/direct.times")" "$(exit_codes "$DRIVE_DIR/direct.times")"
awk -v a="$A" -v b="$B" -v p="$PAUSES" 'BEGIN {
    printf "  (c) pauses of the wait in (a): %d x 1000 ms\n", p
    printf "      Tavrel'"'"'s own cost, a - b - %d ms: %.1f ms   (a - b - 1000 ms: %.1f ms)\n",
        p * 1000, a - b - p * 1000, a - b - 1000
    if (a < 1000) print "  warning: (a) took under one second: Tavrel did not wait for a started program"
}'
if [ "$(exit_codes "$DRIVE_DIR/tavrel.times")" != 0 ]; then
    echo "  warning: Tavrel.exe did not exit with 0 on every run"
fi
stop_wine_env
}

bench_in win32
bench_in win64
