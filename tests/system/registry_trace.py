#!/usr/bin/python3
"""Which registry root Tavrel opens the keys that decide its installer from,
read from Wine's registry trace of one run (WINEDEBUG=+pid,+reg).

    registry_trace.py TRACE_FILE     exits 0 when every such open is rooted
                                     at HKEY_LOCAL_MACHINE, 1 otherwise
    registry_trace.py --self-test    checks the reader on sample traces

This relies on Wine 8's trace format, which has no RegOpenKeyExA lines.
Each line starts with PID:TID. A predefined root is announced when first
used:
    0104:0108:trace:reg:create_special_root_hkey L"\\Registry\\Machine" -> 0000001C
    ...create_special_root_hkey HKEY_CURRENT_USER -> 00000028
    ...create_special_root_hkey L"\\Registry\\Machine\\Software\\Classes" -> 00000060
and a key is opened relative to a handle, or by an absolute name:
    ...NtOpenKeyEx (0x1c,L"Software\\Classes\\.inf",f003f,0x21fcc0)
    ...NtOpenKeyEx ((nil),L"\\Registry\\Machine\\Software\\...",20019,...)
HKEY_CLASSES_ROOT is the root Wine names \\Registry\\Machine\\Software\\Classes.

Tavrel's own process is the one of the trace's first line: the run starts
it first, and its installer's lines carry another PID. The keys that decide
the program: the .inf key, a class's shell\\Install\\command, and the
machine's environment (Session Manager\\Environment). Only Tavrel opens
the first two; at least one of each must be seen.
"""
import re
import sys

LINE = re.compile(r"^([0-9a-fA-F]+):[0-9a-fA-F]+:trace:reg:(.*)$")
SPECIAL_ROOT = re.compile(r'^create_special_root_hkey (?:L"(.*)"|(HKEY_\w+)) -> ([0-9a-fA-F]+)$')
OPEN = re.compile(r'^Nt(?:OpenKeyEx|CreateKey) \(((?:0x)?[0-9a-fA-F]+|\(nil\)),L"((?:[^"\\]|\\.)*)"')

ROOT_NAMES = {
    r"\\Registry\\Machine": "HKEY_LOCAL_MACHINE",
    r"\\Registry\\Machine\\Software\\Classes": "HKEY_CLASSES_ROOT",
    "HKEY_CURRENT_USER": "HKEY_CURRENT_USER",
}


def deciding_kind(subkey):
    key = subkey.replace("\\\\", "\\").lower()
    if key == ".inf" or key.endswith("\\.inf"):
        return "the .inf class"
    if key.endswith("\\shell\\install\\command"):
        return "the install command"
    if key.endswith("session manager\\environment"):
        return "the machine's environment"
    return None


def check(lines):
    """Returns (problems, seen): what went wrong, and each deciding open."""
    pid = None
    roots = {}
    seen = []
    problems = []
    for raw in lines:
        match = LINE.match(raw.rstrip("\r\n"))
        if not match:
            continue
        if pid is None:
            pid = match.group(1)
        if match.group(1) != pid:
            continue
        body = match.group(2)
        special = SPECIAL_ROOT.match(body)
        if special:
            name = special.group(1) or special.group(2)
            roots[int(special.group(3), 16)] = ROOT_NAMES.get(name, name)
            continue
        opened = OPEN.match(body)
        if not opened:
            continue
        handle, subkey = opened.groups()
        kind = deciding_kind(subkey)
        if kind is None:
            continue
        if handle == "(nil)":
            path = subkey.replace("\\\\", "\\").lower()
            if path.startswith("\\registry\\machine\\software\\classes\\"):
                root = "HKEY_CLASSES_ROOT"  # never so by name, but say so if it were
            elif path.startswith("\\registry\\machine\\"):
                root = "HKEY_LOCAL_MACHINE"
            else:
                root = "a user's hive"
        else:
            root = roots.get(int(handle, 16), "handle %s (no predefined root)" % handle)
        seen.append((kind, root, subkey))
        if root != "HKEY_LOCAL_MACHINE":
            problems.append("%s (%s) opened under %s, expected HKEY_LOCAL_MACHINE" % (kind, subkey, root))
    for kind in ("the .inf class", "the install command"):
        if not any(s[0] == kind for s in seen):
            problems.append("expected Tavrel (PID %s) to open %s, saw no such open" % (pid, kind))
    return problems, seen


SAMPLE_START = [
    "0104:0108:trace:reg:NtOpenKeyEx ((nil),L\"\\\\Registry\\\\Machine\\\\Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\",20119,0x7ffd)",
    "0104:0108:trace:reg:create_special_root_hkey L\"\\\\Registry\\\\Machine\" -> 000000000000001C",
    "0104:0108:trace:reg:create_special_root_hkey HKEY_CURRENT_USER -> 0000000000000028",
]
SAMPLE_ENVIRONMENT = [
    "0104:0108:trace:reg:NtOpenKeyEx (0x1c,L\"System\\\\CurrentControlSet\\\\Control\\\\Session Manager\\\\Environment\",20119,0x21fcc0)",
]
SAMPLE_MACHINE = [
    "0104:0108:trace:reg:NtOpenKeyEx (0x1c,L\"Software\\\\Classes\\\\.inf\",f003f,0x21fcc0)",
    "0104:0108:trace:reg:NtOpenKeyEx (0x1c,L\"Software\\\\Classes\\\\inffile\\\\shell\\\\Install\\\\command\",f003f,0x21fcc0)",
]
SAMPLE_CLASSES_ROOT = [
    "0104:0108:trace:reg:create_special_root_hkey L\"\\\\Registry\\\\Machine\\\\Software\\\\Classes\" -> 0000000000000060",
    "0104:0108:trace:reg:NtOpenKeyEx (0x60,L\".inf\",f003f,0x21fcc0)",
    "0104:0108:trace:reg:NtOpenKeyEx (0x60,L\"inffile\\\\shell\\\\Install\\\\command\",f003f,0x21fcc0)",
]
SAMPLE_CURRENT_USER = [
    "0104:0108:trace:reg:NtOpenKeyEx (0x28,L\"Software\\\\Classes\\\\.inf\",20019,0x21fcc0)",
]
SAMPLE_INSTALLER = [
    # The installer's own process may open anything.
    "0200:0204:trace:reg:create_special_root_hkey L\"\\\\Registry\\\\Machine\\\\Software\\\\Classes\" -> 0000000000000060",
    "0200:0204:trace:reg:NtOpenKeyEx (0x60,L\".inf\",20019,0x21fcc0)",
]


def self_test():
    cases = [
        ("machine keys", SAMPLE_START + SAMPLE_ENVIRONMENT + SAMPLE_MACHINE + SAMPLE_INSTALLER, 0),
        ("through HKEY_CLASSES_ROOT", SAMPLE_START + SAMPLE_CLASSES_ROOT, 2),
        ("a per-user class", SAMPLE_START + SAMPLE_MACHINE + SAMPLE_CURRENT_USER, 1),
        ("the user's environment key under HKCU",
         SAMPLE_START + SAMPLE_MACHINE + [SAMPLE_ENVIRONMENT[0].replace("0x1c", "0x28")], 1),
        ("no deciding open", SAMPLE_START + SAMPLE_ENVIRONMENT, 2),
        ("an empty trace", [], 2),
    ]
    failed = 0
    for name, lines, expected in cases:
        problems, _ = check(lines)
        if len(problems) != expected:
            failed += 1
            print("FAIL: %s: expected %d problem(s), got %d: %s" % (name, expected, len(problems), problems))
        else:
            print("ok: %s: %d problem(s)" % (name, expected))
    return 1 if failed else 0


def main():
    if sys.argv[1:] == ["--self-test"]:
        return self_test()
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    with open(sys.argv[1], encoding="utf-8", errors="replace") as trace:
        problems, seen = check(trace)
    for kind, root, subkey in seen:
        print("%s: %s under %s" % (kind, subkey, root))
    for problem in problems:
        print("FAIL: " + problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
