#!/bin/bash
# Builds everything and runs every test: native unit tests and fuzz runs of
# the byte logic, and the real Tavrel.exe under Wine, in prefixes of each
# arch and locale the tests name, as many tests at a time as there are
# cores (the tests of one prefix take turns). Extra arguments go to ctest
# (for example -R Failure, or -j1 for one test at a time).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
export TAVREL_BUILD_DIR="${TAVREL_BUILD_DIR:-$ROOT/build}"

source "$ROOT/scripts/ensure-deps.sh"
ensure_deps

cmake -S "$ROOT" -B "$TAVREL_BUILD_DIR" >/dev/null
cmake --build "$TAVREL_BUILD_DIR" -j"$(nproc)"

# Each Wine prefix a test names (listed by CMake) gets a fresh copy of its
# template and a server of its own.
source "$ROOT/scripts/wine-env.sh"
trap stop_wine_env EXIT
mapfile -t prefixes < "$TAVREL_BUILD_DIR/wine-prefixes.txt"
start_wine_prefixes "$TAVREL_BUILD_DIR/wine/tests" "${prefixes[@]}"

cd "$TAVREL_BUILD_DIR"
ctest --output-on-failure --timeout 300 -j"$(nproc)" "$@"
