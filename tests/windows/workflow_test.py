#!/usr/bin/python3
"""The hosted Windows CI workflow cannot run here: this checks that it parses
and that it does what it is for.

    workflow_test.py WORKFLOW.yml

- a job on Linux builds with the project's CMake build and toolchain file,
  makes the windows-tests folder and hands it on as an artifact;
- a job on Windows x64, and one on Windows on ARM64, take that artifact and
  run tests\\windows\\run-tests.cmd on it, and publish the results also when
  the tests failed;
- every file of the project the workflow names exists.
Prints each check that failed and exits 1 if any did.
"""
import os
import sys

import yaml

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def steps_text(job):
    """The commands a job runs, and the actions it uses, as text."""
    return "\n".join(str(step.get("run", "")) + " " + str(step.get("uses", "")) for step in job.get("steps", []))


def artifact_steps(job, action):
    return [step for step in job.get("steps", []) if str(step.get("uses", "")).startswith(action)]


def main(path):
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(path))))
    with open(path, encoding="utf-8") as f:
        workflow = yaml.safe_load(f)
    check(isinstance(workflow, dict), "the workflow is a mapping")
    # YAML 1.1 reads the key "on" as true.
    triggers = workflow.get("on", workflow.get(True))
    check(triggers is not None, "the workflow says when it runs (on:)")
    jobs = workflow.get("jobs", {})

    linux = [name for name, job in jobs.items() if "ubuntu" in str(job.get("runs-on", ""))]
    windows = [name for name, job in jobs.items() if "windows" in str(job.get("runs-on", "")) or
               "matrix" in str(job.get("runs-on", ""))]
    check(len(linux) == 1, f"one Linux job, got {linux}")
    check(len(windows) >= 1, f"a Windows job, got {windows}")
    if failures:
        return report()

    build = jobs[linux[0]]
    text = steps_text(build)
    check("cmake/i686-w64-mingw32.cmake" in text, "the Linux job builds with the project's toolchain file")
    check("--target windows_tests" in text, "the Linux job builds the windows-tests folder")
    uploads = artifact_steps(build, "actions/upload-artifact")
    check(any(step.get("with", {}).get("path") == "build/windows-tests" for step in uploads),
          "the Linux job uploads build/windows-tests")
    artifact = next((step["with"].get("name") for step in uploads if step.get("with")), None)

    for name in windows:
        job = jobs[name]
        needs = job.get("needs", [])
        check(linux[0] in ([needs] if isinstance(needs, str) else needs), f"{name} waits for the build")
        runners = [str(job.get("runs-on"))]
        matrix = job.get("strategy", {}).get("matrix", {})
        if "${{" in runners[0]:
            runners = [str(entry.get("runner")) for entry in matrix.get("include", [])]
        check(any(r.startswith("windows-") and "arm" not in r for r in runners), f"{name}: a Windows x64 runner")
        check(any(r.startswith("windows-") and "arm" in r for r in runners), f"{name}: a Windows on ARM64 runner")
        downloads = artifact_steps(job, "actions/download-artifact")
        check(any(step.get("with", {}).get("name") == artifact for step in downloads),
              f"{name} downloads the artifact {artifact}")
        folder = next((step["with"].get("path") for step in downloads if step.get("with")), None)
        runs = [step for step in job.get("steps", []) if "run-tests.cmd" in str(step.get("run", ""))]
        check(len(runs) == 1, f"{name} runs run-tests.cmd once")
        if runs:
            command = str(runs[0]["run"]).split()
            check(command[0] == "tests\\windows\\run-tests.cmd", f"{name} calls tests\\windows\\run-tests.cmd, got {command[0]}")
            check(runs[0].get("shell") == "cmd", f"{name} runs it with cmd")
            check(len(command) > 1 and command[1] == folder, f"{name} hands it the downloaded folder {folder}")
            results = command[2] if len(command) > 2 else None
            published = [step for step in artifact_steps(job, "actions/upload-artifact")
                         if step.get("with", {}).get("path") == results]
            check(bool(published) and all("always()" in str(step.get("if", "")) for step in published),
                  f"{name} publishes the results folder {results} also after a failure")

    for relative in ("cmake/i686-w64-mingw32.cmake", "tests/windows/run-tests.cmd"):
        check(os.path.isfile(os.path.join(root, relative)), f"{relative} exists")
    return report()


def report():
    for what in failures:
        print(f"FAIL: expected {what}")
    if not failures:
        print("the workflow parses, builds the windows-tests folder on Linux and runs run-tests.cmd on Windows")
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(main(sys.argv[1]))
