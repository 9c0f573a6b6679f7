#!/bin/bash
# Builds Tavrel.exe and installs an .inf with it under Wine, in a prefix of
# the project's own: the bundled demo/demo.inf, or the .inf given as the
# first argument (its whole folder is copied beside Tavrel.exe, as a vendor
# ships it). Prints what was installed and Tavrel's exit code.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
export TAVREL_BUILD_DIR="${TAVREL_BUILD_DIR:-$ROOT/build}"

inf="${1:-$ROOT/demo/demo.inf}"
if [ ! -f "$inf" ]; then
    echo "no such .inf file: $inf" >&2
    exit 2
fi
inf="$(realpath "$inf")"
package_dir="$(dirname "$inf")"
inf_name="$(basename "$inf")"

source "$ROOT/scripts/ensure-deps.sh"
ensure_deps

cmake -S "$ROOT" -B "$TAVREL_BUILD_DIR" >/dev/null
cmake --build "$TAVREL_BUILD_DIR" -j"$(nproc)" --target Tavrel runner >/dev/null

source "$ROOT/scripts/wine-session.sh"
start_wine_session "$TAVREL_BUILD_DIR/wine/demo"

# Ship Tavrel.exe beside the .inf, as a vendor would, inside the prefix.
stage="$WINEPREFIX/drive_c/tavrel-demo"
rm -rf "$stage"
mkdir -p "$stage"
cp -a "$package_dir/." "$stage/"
cp "$TAVREL_BUILD_DIR/Tavrel.exe" "$stage/Tavrel.exe"
printf '"C:\\tavrel-demo\\Tavrel.exe" "%%EXEPATH%%%s"' "$inf_name" > "$TAVREL_BUILD_DIR/wine/demo-command-line.txt"

echo "Registered install command for .inf files in the prefix:"
wine reg query 'HKCR\inffile\shell\install\command' /ve 2>/dev/null | tr -d '\r' | iconv -f CP932 -t UTF-8 -c | grep -ai 'REG_' || true
echo
echo "Running: $(cat "$TAVREL_BUILD_DIR/wine/demo-command-line.txt")"
wine "$TAVREL_BUILD_DIR/tests/system/runner.exe" 'C:\tavrel-demo\Tavrel.exe' \
    "$(winepath -w "$TAVREL_BUILD_DIR/wine/demo-command-line.txt")" --timeout 600000 | tr -d '\r'
echo

if [ "$#" -eq 0 ]; then
    echo "What demo.inf installed:"
    wine reg query 'HKLM\Software\Tavrel Demo' /v Installed 2>/dev/null | tr -d '\r' | grep -a REG_ \
        || echo "  registry value HKLM\\Software\\Tavrel Demo\\Installed: missing"
    installed="$WINEPREFIX/drive_c/Program Files/Tavrel Demo/tavrel-demo.txt"
    if [ -f "$installed" ]; then
        echo "  file C:\\Program Files\\Tavrel Demo\\tavrel-demo.txt: $(tr -d '\r' < "$installed")"
    else
        echo "  file C:\\Program Files\\Tavrel Demo\\tavrel-demo.txt: missing"
    fi
fi
echo "The prefix stays in $WINEPREFIX for a look around (WINEPREFIX=... wine regedit)."
