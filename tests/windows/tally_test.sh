#!/bin/bash
# test_tally, the closing lines of run-tests.cmd, built for this machine
# (with AddressSanitizer and UndefinedBehaviorSanitizer) and run on results
# folders made here: what it counts, what it names, what it writes to
# tally.xml, and its exit code, which decides whether a Windows run passed.
#
#   tally_test.sh SOURCE_DIR WORK_DIR
set -uo pipefail
if [ $# -ne 2 ]; then
    echo "usage: tally_test.sh SOURCE_DIR WORK_DIR" >&2
    exit 2
fi
SOURCE="$1" WORK="$2"
rm -rf "$WORK"
mkdir -p "$WORK"
if ! g++ -std=c++17 -g -fsanitize=address,undefined -fno-sanitize-recover=all \
        -o "$WORK/test_tally" "$SOURCE/tests/windows/test_tally.cpp"; then
    echo "expected test_tally to build with the host's g++, got errors (above)"
    exit 1
fi

# GoogleTest's results as --gtest_output=xml writes them: two passed, one
# failed, one skipped, and a disabled case, which does not count.
gtest_results() {
    cat <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<testsuites tests="5" failures="1" disabled="1" errors="0" name="AllTests">
  <testsuite name="Launch/LaunchTable" tests="5" failures="1" disabled="1" skipped="1" errors="0">
    <testcase name="PlainPath" status="run" result="completed" time="0.1" classname="Launch/LaunchTable" />
    <testcase name="Quoted" status="run" result="completed" time="0.1" classname="Launch/LaunchTable">
      <failure message="launch_test.cpp:30&#x0A;Expected equality of &quot;a&quot; &amp; b" type=""><![CDATA[x]]></failure>
    </testcase>
    <testcase name="NeedsCodePage" status="run" result="skipped" time="0" classname="Launch/LaunchTable">
      <skipped message="needs the ANSI code page 932; this system&apos;s is 1252"><![CDATA[]]></skipped>
    </testcase>
    <testcase name="Other" status="run" result="completed" time="0.1" classname="Launch/LaunchTable" />
    <testcase name="DISABLED_Child" status="notrun" result="suppressed" time="0" classname="Guard" />
  </testsuite>
</testsuites>
EOF
}
gtest_passed() {
    cat <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<testsuites tests="2" failures="0" disabled="0" errors="0" name="AllTests">
  <testsuite name="Messages/MessageTable" tests="2" failures="0" disabled="0" skipped="0" errors="0">
    <testcase name="ja_JP_SetupBroken" status="run" result="completed" time="1" classname="Messages/MessageTable" />
    <testcase name="ja_JP_OsUnsupported" status="run" result="completed" time="1" classname="Messages/MessageTable" />
  </testsuite>
</testsuites>
EOF
}

failures=0
# case NAME EXPECTED_STATUS EXPECTED_LAST_LINE SETUP [EXPECTED_LINE...]
# SETUP is run in an empty results folder; the tally reads the parts p, q.
case_() {
    local name="$1" expected_status="$2" expected_last="$3" setup="$4"
    shift 4
    local folder="$WORK/$name" output status line
    mkdir -p "$folder"
    (cd "$folder" && eval "$setup")
    output="$("$WORK/test_tally" "$folder" p q 2>&1)"
    status=$?
    local problems=()
    [ "$status" = "$expected_status" ] || problems+=("exit code $status, expected $expected_status")
    [ "$(tail -n 1 <<<"$output")" = "$expected_last" ] ||
        problems+=("last line '$(tail -n 1 <<<"$output")', expected '$expected_last'")
    for line in "$@"; do
        grep -qxF -- "$line" <<<"$output" || problems+=("no line '$line'")
    done
    if [ ${#problems[@]} -eq 0 ]; then
        echo "ok: $name"
    else
        echo "FAIL: $name: ${problems[*]}; output:"
        sed 's/^/    /' <<<"$output"
        failures=$((failures + 1))
    fi
}

case_ AllPassed 0 "3 passed, 0 failed, 0 skipped" \
    'gtest_passed >p.xml; echo "0 " >p.exit; echo "0 " >q.exit'
case_ CasesCounted 1 "3 passed, 1 failed, 1 skipped" \
    'gtest_results >p.xml; echo "1 " >p.exit; echo "0 " >q.exit' \
    "FAILED  p: Launch/LaunchTable.Quoted" \
    '        launch_test.cpp:30 Expected equality of "a" & b' \
    "SKIPPED p: Launch/LaunchTable.NeedsCodePage: needs the ANSI code page 932; this system's is 1252"
case_ ProgramWithoutResultsFailed 1 "2 passed, 1 failed, 0 skipped" \
    'gtest_passed >p.xml; echo "0 " >p.exit; echo "3 " >q.exit' "FAILED  q: exited with 3"
case_ CrashAfterPassingCases 1 "3 passed, 1 failed, 0 skipped" \
    'gtest_passed >p.xml; echo "-1073741819 " >p.exit; echo "0 " >q.exit' \
    "FAILED  p: exited with -1073741819, with no failed case in its results"
case_ PartThatDidNotReport 1 "2 passed, 1 failed, 0 skipped" \
    'gtest_passed >p.xml; echo "0 " >p.exit' "FAILED  q: did not report (no q.exit)"
case_ SkippedPart 0 "2 passed, 0 failed, 1 skipped" \
    'gtest_passed >p.xml; echo "0 " >p.exit; printf "no signed files\r\n" >q.skip' "SKIPPED q: no signed files"
case_ NothingRan 1 "0 passed, 0 failed, 2 skipped" \
    'echo "no Windows" >p.skip; echo "no Windows" >q.skip'

# What the tally counted for whole parts is also in tally.xml, the XML a CI
# service publishes beside the programs' own.
# xml_has CASE TEXT: the tally.xml of that case holds TEXT.
xml_has() {
    if grep -qF -- "$2" "$WORK/$1/tally.xml" 2>/dev/null; then
        echo "ok: $1 tally.xml"
    else
        echo "FAIL: $1: expected tally.xml to hold '$2', got: $(cat "$WORK/$1/tally.xml" 2>&1)"
        failures=$((failures + 1))
    fi
}
xml_has PartThatDidNotReport '<failure message="did not report (no q.exit)" />'
xml_has SkippedPart '<skipped message="no signed files" />'
xml_has ProgramWithoutResultsFailed '<failure message="exited with 3" />'
xml_has AllPassed '<testcase name="q" status="run" result="completed" classname="run-tests.cmd" />'

if [ "$failures" -ne 0 ]; then
    echo "$failures case(s) failed"
    exit 1
fi
echo "test_tally counts every case"
