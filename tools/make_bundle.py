#!/usr/bin/env python3
"""Writes Tavrel's release bundle: a zip that is the same byte for byte from
build to build.

    make_bundle.py OUTPUT.zip [--info FILE] [--unsigned-image FILE] NAME=PATH...

Each NAME=PATH becomes the entry NAME. BUILD-INFO.txt holds the text of
--info and, for a signed Tavrel.exe, the SHA-256 of the unsigned image it
was made from. SHA256SUMS lists every other entry, in the format of
sha256sum. Entries are sorted by name, dated 1980-01-01 00:00 and stored
uncompressed, so the bytes depend on no clock, no file order on disk and no
compressor's version.
"""
import hashlib
import os
import sys
import zipfile

FIXED_DATE = (1980, 1, 1, 0, 0, 0)


def usage(message):
    sys.exit(f"make_bundle.py: {message}\n"
             "usage: make_bundle.py OUTPUT.zip [--info FILE] [--unsigned-image FILE] NAME=PATH...")


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def main(argv):
    if not argv:
        usage("expected an output file")
    output, rest = argv[0], argv[1:]
    info_path = unsigned_path = None
    entries = {}
    while rest:
        argument = rest.pop(0)
        if argument in ("--info", "--unsigned-image"):
            if not rest:
                usage(f"expected a file after {argument}")
            if argument == "--info":
                info_path = rest.pop(0)
            else:
                unsigned_path = rest.pop(0)
        elif "=" in argument:
            name, path = argument.split("=", 1)
            if not name or name in entries or "/" in name or "\\" in name:
                usage(f"expected a new plain entry name, got '{name}'")
            with open(path, "rb") as file:
                entries[name] = file.read()
        else:
            usage(f"expected NAME=PATH, got '{argument}'")

    if info_path:
        with open(info_path, "rb") as file:
            info = file.read()
        if unsigned_path:
            with open(unsigned_path, "rb") as file:
                image = file.read()
            info += (f"Tavrel.exe without its signature: {len(image)} bytes, "
                     f"SHA-256 {sha256(image)}\n").encode()
        entries["BUILD-INFO.txt"] = info
    entries["SHA256SUMS"] = "".join(
        f"{sha256(entries[name])}  {name}\n" for name in sorted(entries)).encode()

    partial = output + ".partial"
    with zipfile.ZipFile(partial, "w", zipfile.ZIP_STORED) as bundle:
        for name in sorted(entries):
            entry = zipfile.ZipInfo(name, FIXED_DATE)
            entry.create_system = 3  # Unix, whatever machine builds it
            mode = 0o755 if name.endswith(".exe") else 0o644
            entry.external_attr = (0o100000 | mode) << 16
            bundle.writestr(entry, entries[name])
    os.replace(partial, output)


if __name__ == "__main__":
    main(sys.argv[1:])
