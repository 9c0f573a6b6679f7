#!/bin/bash
# A DLL planted beside Tavrel.exe must not be loaded: Tavrel restricts the
# DLL search to the system directory before it shows a message box, and
# loads SHELL32 only after that.
#
#   planted_dll_test.sh TAVREL_EXE RUNNER_EXE PLANTED_DLL CONTROL_EXE SHELL_CONTROL_EXE
#
# Runs in a prefix of scripts/run-tests.sh through tests/wine/wine-run.sh
# (WINEPREFIX and DISPLAY set, server running). Each control program does
# what Tavrel does without its defence and must load the planted DLL:
# otherwise this Wine cannot tell a defended program from an undefended one,
# and the test fails.
set -uo pipefail

if [ $# -ne 5 ]; then
    echo "usage: planted_dll_test.sh TAVREL_EXE RUNNER_EXE PLANTED_DLL CONTROL_EXE SHELL_CONTROL_EXE" >&2
    exit 2
fi
TAVREL_EXE="$1" RUNNER_EXE="$2" PLANTED_DLL="$3" CONTROL_EXE="$4" SHELL_CONTROL_EXE="$5"
source "$(dirname "$0")/../wine/expect-session.sh"
expect_files "the build" "$TAVREL_EXE" "$RUNNER_EXE" "$PLANTED_DLL" "$CONTROL_EXE" "$SHELL_CONTROL_EXE"
expect_wine_session

WORK="$(mktemp -d "${TMPDIR:-/tmp}/tavrel-planted.XXXXXX")"
trap 'rm -rf "$WORK"' EXIT

export WINEDEBUG="${WINEDEBUG:--all}"
# No debugger on a crash: its dialog would hold the run until the time-out.
BASE_OVERRIDES="mscoree,mshtml=;winedbg.exe=d"
PLANTED_EXIT_CODE=3345  # 0xD11, from planted_dll.cpp

windows_path() {
    local path="$1"
    printf 'Z:%s' "${path//\//\\}"
}

failures=0
fail() {
    echo "$1"
    failures=$((failures + 1))
}

# run_planted NAME EXE DLL ARGUMENT: copies EXE into a folder of its own
# beside the planted DLL under the name DLL, runs it with ARGUMENT through
# the runner (which closes any box), and leaves the runner's report in
# $REPORT and the marker's lines in $LOADED (empty when the DLL was not
# loaded).
run_planted() {
    local name="$1" exe="$2" dll="$3" argument="$4"
    local folder="$WORK/$name-$dll"
    mkdir -p "$folder"
    cp "$exe" "$folder/$name.exe"
    cp "$PLANTED_DLL" "$folder/$dll"
    printf '%s.exe%s' "$name" "${argument:+ $argument}" >"$folder/command-line.txt"
    local marker="$folder/loaded.txt"
    # A file, not a pipe: a program that hangs must not hold the report open.
    TAVREL_PLANTED_MARKER="$(windows_path "$marker")" timeout 60 \
        wine "$RUNNER_EXE" "$(windows_path "$folder/$name.exe")" \
        "$(windows_path "$folder/command-line.txt")" --timeout 30000 \
        >"$folder/report.txt" 2>&1 </dev/null
    REPORT="$(tr '\n' ' ' <"$folder/report.txt")"
    LOADED="$(cat "$marker" 2>/dev/null)"
}

# The message box loads uxtheme.dll at run time. Wine prefers its own
# builtin uxtheme wherever a file of that name lies; "uxtheme=n,b" makes it
# search as Windows does, application folder first.
export WINEDLLOVERRIDES="$BASE_OVERRIDES;uxtheme=n,b"
run_planted control "$CONTROL_EXE" uxtheme.dll ""
if [ -z "$LOADED" ]; then
    fail "control: expected the planted uxtheme.dll to be loaded by a program that leaves the DLL search as it is, got not loaded; runner: $REPORT"
fi
if [[ "$REPORT" != *"exit code: $PLANTED_EXIT_CODE "* ]]; then
    fail "control: expected the exit code $PLANTED_EXIT_CODE of the planted DLL, got: $REPORT"
fi

run_planted Tavrel "$TAVREL_EXE" uxtheme.dll ""
if [ -n "$LOADED" ]; then
    fail "Tavrel.exe: expected the planted uxtheme.dll not to be loaded, got loaded: $LOADED"
fi
# Message 101 for the empty argument, and its -1: the box that loads
# uxtheme was really shown.
if [[ "$REPORT" != *"message box: "* ]] || [[ "$REPORT" != *"exit code: -1 "* ]]; then
    fail "Tavrel.exe: expected a message box and the exit code -1, got: $REPORT"
fi

# SHELL32 pulls in shcore.dll, which Wine looks for beside the program even
# in its default load order: a program linked to SHELL32 loads a planted
# copy before its first instruction. Tavrel loads SHELL32 itself, after it
# has restricted the search, to launch the install command.
export WINEDLLOVERRIDES="$BASE_OVERRIDES"
run_planted shell-control "$SHELL_CONTROL_EXE" shcore.dll ""
if [ -z "$LOADED" ] || [[ "$REPORT" != *"exit code: $PLANTED_EXIT_CODE "* ]]; then
    fail "shell control: expected the planted shcore.dll to be loaded by a program linked to SHELL32, got: $REPORT"
fi
run_planted Tavrel "$TAVREL_EXE" shcore.dll "x.inf"
if [ -n "$LOADED" ]; then
    fail "Tavrel.exe: expected the planted shcore.dll not to be loaded, got loaded: $LOADED"
fi
if [[ "$REPORT" != *"exit code: 0 "* ]]; then
    fail "Tavrel.exe: expected the install command to run and the exit code 0, got: $REPORT"
fi

if [ "$failures" -ne 0 ]; then
    exit 1
fi
echo "planted uxtheme.dll and shcore.dll: loaded by the control programs, not by Tavrel.exe"
