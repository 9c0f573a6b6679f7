#!/usr/bin/python3
"""One closing line for a test run made of several CTest runs.

    test-summary.py LABEL=RESULTS.xml...

Each RESULTS.xml is what `ctest --output-junit` wrote for one part of the
run (the tests on this machine, the Windows-side ones under Wine), or what
a GoogleTest program wrote with --gtest_output=xml (the cases of
tests/windows/run-tests.cmd); LABEL names that part. Prints, as CTest would for one run of all the tests, the
share that passed, what did not run and what failed, then exits 0 only when
every part wrote its results and nothing failed. A part whose file is
missing or unreadable counts as failed: its tests did not report.
"""
import sys
import xml.etree.ElementTree as ElementTree


def read_part(path, label):
    """(passed, failed, not run) test names of one CTest or GoogleTest run.
    GoogleTest marks a failed case by a failure element, a skipped one by
    result="skipped", and leaves disabled ones out of the count."""
    passed, failed, not_run = [], [], []
    root = ElementTree.parse(path).getroot()
    from_gtest = root.tag == "testsuites"
    for case in root.iter("testcase"):
        name, status = case.get("name"), case.get("status")
        if from_gtest:
            if status == "notrun":
                continue
            name = f"{label}: {case.get('classname')}.{name}"
        if case.find("failure") is not None or case.find("error") is not None or status == "fail":
            failed.append(name)
        elif status in ("notrun", "disabled", "skipped") or case.get("result") == "skipped":
            not_run.append(name)
        elif status == "run":
            passed.append(name)
        else:
            failed.append(name)
    return passed, failed, not_run


def main(parts):
    passed, failed, not_run, counts, missing = [], [], [], [], []
    for part in parts:
        label, _, path = part.partition("=")
        try:
            part_passed, part_failed, part_not_run = read_part(path, label)
        except (OSError, ElementTree.ParseError):
            missing.append(label)
            continue
        passed += part_passed
        failed += part_failed
        not_run += part_not_run
        counts.append(f"{len(part_passed) + len(part_failed) + len(part_not_run)} {label}")
    total = len(passed) + len(failed) + len(not_run)
    share = 100 * len(passed) // (len(passed) + len(failed)) if passed or failed else 0
    print()
    print(f"{share}% tests passed, {len(failed)} tests failed out of {total}"
          f" ({', '.join(counts) if counts else 'none reported'})")
    if not_run:
        print("\nThe following tests did not run:")
        print("\n".join(f"\t{name} (Skipped)" for name in not_run))
    if failed:
        print("\nThe following tests FAILED:")
        print("\n".join(f"\t{name}" for name in failed))
    for label in missing:
        print(f"\nThe tests {label} did not report: no results from that part of the run.")
    return 0 if not failed and not missing and total > 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
