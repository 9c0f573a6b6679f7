#!/usr/bin/python3
"""What an install changed in a Wine prefix: registry values (both views)
and files under drive_c.

    prefix_changes.py snapshot PREFIX FILE   # records the prefix's state
    prefix_changes.py diff BEFORE AFTER      # prints what changed

Take each snapshot while no wineserver runs for the prefix, or after
`wineserver -w`: the registry files on disk are written when it exits.
Prints a summary line, then one line per value or file added, changed or
removed.

Left out, as Wine's own bookkeeping rather than the install's doing:
  - each key's last-write time (the number after the key name and the
    #time= line), and the #class / #link / #dyn markers;
  - the keys and files listed in IGNORED_KEYS and IGNORED_FILES below,
    which Wine rewrites on every start of a prefix.
"""

import hashlib
import json
import os
import re
import sys

# Rewritten by Wine whenever the prefix starts, whatever ran in it.
IGNORED_KEYS = [
    r"^HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Perflib",
    r"^HKLM\\System\\CurrentControlSet\\Control\\Session Manager\\Environment$",
    r"^HKLM\\System\\CurrentControlSet\\Services\\Tcpip\\Parameters$",
    r"^HKLM\\Hardware\\",
    r"^HKLM\\Software\\Wine\\",
    r"^HKCU\\Software\\Wine\\",
    r"^HKCU\\Volatile Environment",
    r"\\RecentDocs",
    r"^HKLM\\System\\CurrentControlSet\\Control\\DeviceClasses\\",
    r"^HKLM\\System\\CurrentControlSet\\Enum\\",
    r"^HKLM\\Software\\Microsoft\\Windows( NT)?\\CurrentVersion\\Fonts",
    r"^HKCU\\Control Panel\\International",
    r"^HKCU\\Keyboard Layout\\",
    # The display adapter's driver date, written as the display starts.
    r"^HKLM\\System\\CurrentControlSet\\Control\\Class\\\{4D36E968-E325-11CE-BFC1-08002BE10318\}\\",
    r"^HKLM\\System\\CurrentControlSet\\Control\\TimeZoneInformation",
]
IGNORED_FILES = [
    r"^windows/temp/",
    r"^users/[^/]+/Temp/",
    r"^users/[^/]+/AppData/Local/Temp/",
    r"^windows/logs/",
]

HIVES = [("system.reg", "HKLM"), ("user.reg", "HKCU")]


def read_hive(path, root):
    """{key: {value name: value text}} of a Wine registry file."""
    keys = {}
    current = None
    pending = ""
    with open(path, encoding="utf-8", errors="surrogateescape") as hive:
        for raw in hive:
            line = pending + raw.rstrip("\n")
            pending = ""
            if line.endswith("\\") and current is not None and not line.startswith("["):
                pending = line[:-1]  # a value continued on the next line
                continue
            if line.startswith("["):
                name = re.match(r"^\[(.*)\](?: \d+)?$", line)
                current = root + "\\" + readable(name.group(1)).replace("\\\\", "\\") if name else None
                if current is not None:
                    keys.setdefault(current, {})
            elif current is None or not line or line.startswith(("#", ";")):
                continue
            else:
                match = re.match(r'^(@|"(?:[^"\\]|\\.)*")=(.*)$', line.strip())
                if match:
                    keys[current][readable(match.group(1))] = readable(match.group(2))
    return keys


def readable(text):
    """Wine writes characters beyond ASCII as \\xNNNN."""
    return re.sub(r"\\x([0-9a-fA-F]{4})", lambda m: chr(int(m.group(1), 16)), text)


def view_name(key):
    """A key as a person reads it: Wow6432Node is the 32-bit view."""
    if "\\Wow6432Node\\" in key or key.endswith("\\Wow6432Node"):
        return key.replace("\\Wow6432Node", "", 1) + "  (32-bit view)"
    return key


def snapshot(prefix):
    registry = {}
    for file_name, root in HIVES:
        path = os.path.join(prefix, file_name)
        if os.path.exists(path):
            registry.update(read_hive(path, root))
    files = {}
    drive = os.path.join(prefix, "drive_c")
    for folder, subfolders, names in os.walk(drive):
        subfolders[:] = [s for s in subfolders if not os.path.islink(os.path.join(folder, s))]
        for name in names:
            path = os.path.join(folder, name)
            if os.path.islink(path) or not os.path.isfile(path):
                continue
            relative = os.path.relpath(path, drive).replace(os.sep, "/")
            digest = hashlib.sha256()
            with open(path, "rb") as data:
                for block in iter(lambda: data.read(1 << 20), b""):
                    digest.update(block)
            files[relative] = digest.hexdigest()
    return {"registry": registry, "files": files}


def ignored(text, patterns):
    return any(re.search(p, text, re.IGNORECASE) for p in patterns)


def diff(before, after):
    lines = []
    counts = {"registry values added": 0, "changed": 0, "removed": 0}
    old_keys, new_keys = before["registry"], after["registry"]
    for key in sorted(set(old_keys) | set(new_keys), key=str.lower):
        if ignored(key, IGNORED_KEYS):
            continue
        old, new = old_keys.get(key, {}), new_keys.get(key, {})
        for name in sorted(set(old) | set(new)):
            where = "%s  %s" % (view_name(key), "(default)" if name == "@" else name.strip('"'))
            if name not in old:
                counts["registry values added"] += 1
                lines.append("  + %s = %s" % (where, new[name]))
            elif name not in new:
                counts["removed"] += 1
                lines.append("  - %s (was %s)" % (where, old[name]))
            elif old[name] != new[name]:
                counts["changed"] += 1
                lines.append("  ~ %s = %s (was %s)" % (where, new[name], old[name]))
    file_counts = {"files added": 0, "changed": 0, "removed": 0}
    old_files, new_files = before["files"], after["files"]
    for path in sorted(set(old_files) | set(new_files), key=str.lower):
        if ignored(path, IGNORED_FILES):
            continue
        shown = "C:\\" + path.replace("/", "\\")
        if path not in old_files:
            file_counts["files added"] += 1
            lines.append("  + %s" % shown)
        elif path not in new_files:
            file_counts["removed"] += 1
            lines.append("  - %s" % shown)
        elif old_files[path] != new_files[path]:
            file_counts["changed"] += 1
            lines.append("  ~ %s" % shown)
    summary = "; ".join(
        ", ".join("%d %s" % (n, what) for what, n in group.items())
        for group in (counts, file_counts))
    return ["Changes: " + summary] + lines


def main(argv):
    if len(argv) == 4 and argv[1] == "snapshot":
        with open(argv[3], "w") as out:
            json.dump(snapshot(argv[2]), out)
        return 0
    if len(argv) == 4 and argv[1] == "diff":
        with open(argv[2]) as b, open(argv[3]) as a:
            print("\n".join(diff(json.load(b), json.load(a))))
        return 0
    sys.stderr.write(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
