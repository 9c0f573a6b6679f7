# Sourced by the test scripts that run under tests/wine/wine-run.sh: the
# checks of what they were handed, each ending the script with exit 2 and
# what it expected.

# expect_files WHERE FILE...: each FILE exists (WHERE says who should have
# made it: "the build", "signing_test.sh", ...).
expect_files() {
    local where="$1" file
    shift
    for file in "$@"; do
        if [ ! -f "$file" ]; then
            echo "expected $file from $where, got none" >&2
            exit 2
        fi
    done
}

# expect_wine_session: the script runs in a test prefix, on the test display.
expect_wine_session() {
    if [ -z "${WINEPREFIX:-}" ] || [ -z "${DISPLAY:-}" ]; then
        echo "expected WINEPREFIX and DISPLAY of a running Wine prefix (tests/wine/wine-run.sh), got" \
             "WINEPREFIX='${WINEPREFIX:-}' DISPLAY='${DISPLAY:-}'" >&2
        exit 2
    fi
}
