#!/bin/bash
# Builds Tavrel.exe and installs an .inf with it under Wine, in a prefix of
# the project's own: the bundled demo/demo.inf, or the .inf given as the
# argument (its whole folder is copied beside Tavrel.exe, as a vendor ships
# it). Prints the registered install command, Tavrel's exit code and what
# the install changed in the prefix: registry values (both views) and files.
#
#   scripts/demo.sh [--32] [path/to/your.inf]
#
# The prefix is 64-bit, as the Windows users have; --32 takes a 32-bit one.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
export TAVREL_BUILD_DIR="${TAVREL_BUILD_DIR:-$ROOT/build}"

arch=win64
inf=
while [ $# -gt 0 ]; do
    case "$1" in
        --32) arch=win32 ;;
        --64) arch=win64 ;;
        -h|--help) sed -n '2,11p' "$0"; exit 0 ;;
        -*) echo "unknown option: $1 (see --help)" >&2; exit 2 ;;
        *) [ -z "$inf" ] || { echo "one .inf at a time" >&2; exit 2; }; inf="$1" ;;
    esac
    shift
done
bundled=0
if [ -z "$inf" ]; then
    inf="$ROOT/demo/demo.inf"
    bundled=1
fi
if [ ! -f "$inf" ]; then
    echo "no such .inf file: $inf" >&2
    exit 2
fi
inf="$(realpath "$inf")"
package_dir="$(dirname "$inf")"
inf_name="$(basename "$inf")"

# Tavrel.exe is a 32-bit program. Where this machine's kernel refuses 32-bit
# code, the Wine part below runs in the virtual machine of scripts/vm.sh
# (TAVREL_VM=1 takes that lane on any machine); this script runs there
# again, with TAVREL_DEMO_IN_VM=1, from "Wine part" on.
if [ "${TAVREL_DEMO_IN_VM:-0}" != 1 ]; then
    source "$ROOT/scripts/host-check.sh"
    lane=here
    if [ "${TAVREL_VM:-0}" = 1 ]; then
        lane=vm
        echo "TAVREL_VM=1: Tavrel runs under Wine in a software-emulated virtual machine" \
             "(QEMU); that takes about 3 minutes on 2 cores."
    elif ! check_kernel_runs_32bit >/dev/null; then
        lane=vm
        echo "This machine's kernel refuses 32-bit x86 code (Tavrel.exe and Wine's 32-bit loader" \
             "cannot start here), so Tavrel runs under Wine in a software-emulated virtual machine" \
             "(QEMU); that takes about 3 minutes on 2 cores."
    fi
    source "$ROOT/scripts/ensure-deps.sh"
    ensure_deps
    if [ $lane = here ]; then
        check_wine_runs_32bit >&2 || exit 1
    else
        "$ROOT/scripts/vm.sh" prepare
    fi

    cmake -S "$ROOT" -B "$TAVREL_BUILD_DIR" >/dev/null
    cmake --build "$TAVREL_BUILD_DIR" -j"$(nproc)" --target Tavrel runner >/dev/null

    if [ $lane = vm ]; then
        own_inf=()
        [ "$bundled" = 1 ] || own_inf=("$inf")
        # The prefix lives in the guest's own memory, and goes with it.
        TAVREL_DEMO_IN_VM=1 TAVREL_WINE_TEMPLATES=/tmp/tavrel/templates \
            exec "$ROOT/scripts/vm.sh" run --timeout 1800 --keep "$package_dir" -- \
            "$ROOT/scripts/demo.sh" "--${arch#win}" "${own_inf[@]}"
    fi
fi

# Wine part.
source "$ROOT/scripts/wine-env.sh"
trap stop_wine_env EXIT
if [ "${TAVREL_DEMO_IN_VM:-0}" = 1 ]; then
    demo_prefix="/tmp/tavrel/demo-$arch"
else
    demo_prefix="$TAVREL_BUILD_DIR/wine/demo-$arch"
fi
start_wine_env "$demo_prefix" "$arch"
work="$TAVREL_BUILD_DIR/wine/demo-$arch-files"
rm -rf "$work"
mkdir -p "$work"

# Ship Tavrel.exe beside the .inf, as a vendor would, inside the prefix.
stage="$WINEPREFIX/drive_c/tavrel-demo"
rm -rf "$stage"
mkdir -p "$stage"
cp -a "$package_dir/." "$stage/"
cp "$TAVREL_BUILD_DIR/Tavrel.exe" "$stage/Tavrel.exe"
printf '"C:\\tavrel-demo\\Tavrel.exe" "%%EXEPATH%%%s"' "$inf_name" > "$work/command-line.txt"

# The registry's text as Wine's reg.exe prints it, in the prefix's code page;
# the name of the default value is the system's own ("(既定)" in Japanese).
reg_default() {
    wine reg query "$1" /ve 2>/dev/null | tr -d '\r' | iconv -f CP932 -t UTF-8 -c \
        | sed -n 's/^ *([^)]*) *REG_[A-Z_]* *//p' | head -n 1
}
class="$(reg_default 'HKCR\.inf')"
echo "Prefix: $WINEPREFIX ($arch)"
echo "File class of .inf: ${class:-(none)}"
echo "Registered install command: $( [ -n "$class" ] && reg_default "HKCR\\$class\\shell\\Install\\command" || true)"
echo

# The registry files on disk are written when the server exits.
snapshot() {
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w
    /usr/bin/python3 "$ROOT/tools/prefix_changes.py" snapshot "$WINEPREFIX" "$1"
}
snapshot "$work/before.json"

echo "Running: $(cat "$work/command-line.txt")"
wine "$TAVREL_BUILD_DIR/windows-tests/runner.exe" 'C:\tavrel-demo\Tavrel.exe' \
    "$(winepath -w "$work/command-line.txt")" --timeout 600000 | tr -d '\r'
echo

snapshot "$work/after.json"
echo "What the install changed in the prefix:"
/usr/bin/python3 "$ROOT/tools/prefix_changes.py" diff "$work/before.json" "$work/after.json" \
    | tee "$work/changes.txt"
if [ "$bundled" = 1 ]; then
    echo
    echo "Where demo.inf landed:"
    value="$(grep -a 'Tavrel Demo  Installed' "$work/changes.txt" || true)"
    file="$(grep -a 'tavrel-demo.txt' "$work/changes.txt" | grep -v 'tavrel-demo\\tavrel-demo.txt' || true)"
    echo "  registry value: ${value:-  missing}"
    echo "  file:           ${file:-  missing}"
fi
if [ "${TAVREL_DEMO_IN_VM:-0}" = 1 ]; then
    echo "The prefix was in the virtual machine's memory and goes with it; the comparison" \
         "stays in $work."
else
    echo "The prefix stays in $WINEPREFIX for a look around (WINEPREFIX=... wine regedit)."
fi
