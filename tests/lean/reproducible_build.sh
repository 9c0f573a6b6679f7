#!/bin/bash
# Builds Tavrel.exe twice, from two copies of the source tree in folders of
# different depth and path length, and checks that both files are identical
# byte for byte: no time stamp, build path or other trace of the build
# machine may reach the binary.
#
#   tests/lean/reproducible_build.sh <source dir>
#
# Exits 1 with the first differing offset when the builds differ.
set -euo pipefail

if [ $# -ne 1 ] || [ ! -f "$1/CMakeLists.txt" ]; then
    echo "usage: reproducible_build.sh <source dir holding CMakeLists.txt>" >&2
    exit 2
fi
SOURCE="$(cd "$1" && pwd)"

WORK="$(mktemp -d /tmp/tavrel-repro.XXXXXX)"
trap 'rm -rf "$WORK"' EXIT
COPY_A="$WORK/a/src"
COPY_B="$WORK/bb/other-place/src"
# One build inside its tree, the other beside it under another name.
BUILD_A="$COPY_A/build"
BUILD_B="$WORK/bb/other-place/out"

# The tracked and the new, not ignored files as they stand in the work tree;
# a plain copy without build output when the tree is no git checkout.
copy_tree() {
    local destination="$1"
    mkdir -p "$destination"
    if git -C "$SOURCE" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        (cd "$SOURCE" && git ls-files -z --cached --others --exclude-standard \
            | while IFS= read -r -d '' file; do
                  [ -e "$file" ] && printf '%s\0' "$file"
              done \
            | tar --null -T - -cf -) | tar -C "$destination" -xf -
    else
        tar -C "$SOURCE" --exclude=./build -cf - . | tar -C "$destination" -xf -
    fi
}

build() {
    local source="$1" build="$2"
    if ! cmake -S "$source" -B "$build" -DBUILD_TESTING=OFF >"$build.log" 2>&1 ||
       ! cmake --build "$build" --target Tavrel >>"$build.log" 2>&1; then
        cat "$build.log" >&2
        echo "build in $build: expected success, got a failure (log above)" >&2
        exit 1
    fi
}

copy_tree "$COPY_A"
copy_tree "$COPY_B"
mkdir -p "$BUILD_A" "$BUILD_B"
build "$COPY_A" "$BUILD_A"
build "$COPY_B" "$BUILD_B"

FILE_A="$BUILD_A/Tavrel.exe"
FILE_B="$BUILD_B/Tavrel.exe"
SIZE_A=$(stat -c %s "$FILE_A")
SIZE_B=$(stat -c %s "$FILE_B")
echo "build A: $FILE_A ($SIZE_A bytes)"
echo "build B: $FILE_B ($SIZE_B bytes)"

if DIFFERENCE=$(cmp "$FILE_A" "$FILE_B" 2>&1); then
    echo "Tavrel.exe: both builds are identical"
    exit 0
fi
# cmp counts bytes from 1.
BYTE=$(printf '%s\n' "$DIFFERENCE" | sed -n 's/.* byte \([0-9][0-9]*\).*/\1/p')
if [ -n "$BYTE" ]; then
    OFFSET=$((BYTE - 1))
    printf 'Tavrel.exe: expected identical builds, got the first difference at offset 0x%x (%d)\n' \
        "$OFFSET" "$OFFSET"
    printf '  A: %s\n  B: %s\n' \
        "$(od -A x -t x1z -j "$OFFSET" -N 16 "$FILE_A" | head -1)" \
        "$(od -A x -t x1z -j "$OFFSET" -N 16 "$FILE_B" | head -1)"
else
    # One file is a prefix of the other.
    echo "Tavrel.exe: expected identical builds, got sizes $SIZE_A and $SIZE_B ($DIFFERENCE)"
fi
exit 1
