#!/usr/bin/python3
"""Checks that a built Tavrel.exe stays lean and hardened: it imports only
from the three system DLLs it needs at start-up (no C runtime, no compiler
runtime DLL, and no SHELL32, which it loads late), and from USER32 only the
Unicode message calls, can be moved by ASLR and runs with DEP (its entry
point in an executable section), has no writable section at all (no global
variable, resources read-only), carries no time stamp and no build path, and
fits its size limits.

    /usr/bin/python3 check_binary.py <path of Tavrel.exe>

Prints the sections and imports, then one line per failed check, and exits
with 1 if there was any (2 when the file cannot be read as a PE file).
"""

import os
import sys

import pefile

ALLOWED_DLLS = ["KERNEL32.dll", "USER32.dll", "ADVAPI32.dll"]
# Loaded only once the DLL search is restricted to the system folder: a
# static import would load it, and search for its own dependencies beside
# Tavrel.exe, before the program's first instruction.
LATE_DLL = "SHELL32.dll"
# The messages are loaded and shown in Unicode, whatever the ANSI code page.
USER32_IMPORTS = ["LoadStringW", "MessageBoxW"]
MAX_FILE_SIZE = 16384
# The code and data outside the resources: the contents of every section
# but .rsrc (code, constants, imports, relocations), without the headers and
# the padding to the file alignment, which the file figure also reports.
MAX_SIZE_WITHOUT_RESOURCES = 7680

DYNAMIC_BASE = 0x0040
NX_COMPAT = 0x0100
RELOCS_STRIPPED = 0x0001
MEM_EXECUTE = 0x20000000
MEM_READ = 0x40000000
MEM_WRITE = 0x80000000

# Traces a build leaves when paths or object names reach the binary.
BUILD_TRACES = ["/work", "/tmp", "/home", "/root", "\\work", "C:\\", ".cpp", ".obj"]

failures = []


def expect(what, expected, got):
    if expected != got:
        failures.append("%s: expected %s, got %s" % (what, expected, got))


def section_name(section):
    return section.Name.rstrip(b"\0").decode("latin-1")


def access(section):
    flags = section.Characteristics
    return "".join(letter if flags & flag else "-" for letter, flag in
                   (("r", MEM_READ), ("w", MEM_WRITE), ("x", MEM_EXECUTE)))


def imported_dlls(pe):
    """(dll, [function names]) of the normal and the delay-load imports."""
    result = []
    for attribute in ("DIRECTORY_ENTRY_IMPORT", "DIRECTORY_ENTRY_DELAY_IMPORT"):
        for entry in getattr(pe, attribute, []):
            names = [i.name.decode("latin-1") if i.name else "#%d" % i.ordinal
                     for i in entry.imports]
            result.append((entry.dll.decode("latin-1"), names))
    return result


def print_report(path, pe, file_size, resource_raw, virtual_without_resources):
    print("%s: %d bytes" % (path, file_size))
    print("  %-8s %8s %8s %8s  %s" % ("section", "raw", "virtual", "offset", "access"))
    print("  %-8s %8d %8s %8s" % ("headers", pe.OPTIONAL_HEADER.SizeOfHeaders, "", "0x0"))
    for section in pe.sections:
        print("  %-8s %8d %8d %8s  %s" % (section_name(section), section.SizeOfRawData,
                                           section.Misc_VirtualSize,
                                           hex(section.PointerToRawData), access(section)))
    print("  without resources: %d bytes in the file, %d bytes of section contents"
          % (file_size - resource_raw, virtual_without_resources))
    for dll, names in imported_dlls(pe):
        print("  import %s: %s" % (dll, ", ".join(names)))


def check_imports(pe):
    allowed = [name.lower() for name in ALLOWED_DLLS]
    dlls = [dll for dll, _ in imported_dlls(pe)]
    if not dlls:
        failures.append("imports: expected some of %s, got none" % ", ".join(ALLOWED_DLLS))
    for dll, names in imported_dlls(pe):
        if dll.lower() == LATE_DLL.lower():
            failures.append("%s loaded late: expected no static import of it (it would be "
                            "loaded at start-up, before the DLL search is restricted), got "
                            "%s: %s" % (LATE_DLL, dll, ", ".join(names)))
    for dll in dlls:
        if dll.lower() not in allowed and dll.lower() != LATE_DLL.lower():
            failures.append("imports: expected only %s, got %s"
                            % (", ".join(ALLOWED_DLLS), dll))
    user32 = sorted(name for dll, names in imported_dlls(pe) if dll.lower() == "user32.dll"
                    for name in names)
    expect("USER32 imports", USER32_IMPORTS, user32)


def check_hardening(pe):
    characteristics = pe.OPTIONAL_HEADER.DllCharacteristics
    for flag, name in ((DYNAMIC_BASE, "DYNAMIC_BASE"), (NX_COMPAT, "NX_COMPAT")):
        expect("DllCharacteristics %s (0x%x)" % (name, flag), "set",
               "set" if characteristics & flag else "clear (0x%04x)" % characteristics)
    expect("FILE_HEADER relocations-stripped flag", "clear",
           "set" if pe.FILE_HEADER.Characteristics & RELOCS_STRIPPED else "clear")
    # NX only protects what is kept apart: code never writable, data never run.
    for section in pe.sections:
        if section.Characteristics & MEM_WRITE and section.Characteristics & MEM_EXECUTE:
            failures.append("section %s: expected not both writable and executable, got %s"
                            % (section_name(section), access(section)))


def check_no_writable_section(pe):
    # Tavrel keeps all its state on the stack: code, constants, imports and
    # resources are all read-only. A global or static variable that is
    # written brings a .data or .bss section.
    for section in pe.sections:
        if section.Characteristics & MEM_WRITE:
            failures.append("no writable section: expected every section read-only, got %s "
                            "(%s, %d bytes)%s"
                            % (section_name(section), access(section),
                               section.Misc_VirtualSize,
                               " - a writable global or static variable?"
                               if section_name(section) in (".data", ".bss") else ""))
    entry = pe.OPTIONAL_HEADER.AddressOfEntryPoint
    holder = pe.get_section_by_rva(entry)
    if holder is None or not holder.Characteristics & MEM_EXECUTE:
        failures.append("entry point 0x%x: expected in an executable section, got %s"
                        % (entry, "%s (%s)" % (section_name(holder), access(holder))
                           if holder else "no section"))
    directory = pe.OPTIONAL_HEADER.DATA_DIRECTORY[
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
    blocks = getattr(pe, "DIRECTORY_ENTRY_BASERELOC", [])
    relocations = sum(len(block.entries) for block in blocks)
    if directory.Size == 0 or relocations == 0:
        failures.append("base relocations: expected a non-empty directory, got %d bytes with "
                        "%d entries" % (directory.Size, relocations))


def check_build_traces(data):
    for trace in BUILD_TRACES:
        for encoding, encoded in (("ASCII", trace.encode("ascii")),
                                  ("UTF-16", trace.encode("utf-16-le"))):
            offset = data.lower().find(encoded.lower())
            if offset >= 0:
                end = offset
                while end < len(data) and end - offset < 60 and data[end] >= 0x20:
                    end += 1
                failures.append("build traces: expected no %r (%s), got it at offset 0x%x: %r"
                                % (trace, encoding, offset, data[offset:end]))


def main(argv):
    if len(argv) != 2:
        print("usage: check_binary.py <path of Tavrel.exe>")
        return 2
    path = argv[1]
    try:
        with open(path, "rb") as f:
            data = f.read()
        pe = pefile.PE(data=data)
    except (OSError, pefile.PEFormatError) as error:
        print("%s: expected a PE file, got %s" % (path, error))
        return 2

    file_size = len(data)
    resource_raw = sum(s.SizeOfRawData for s in pe.sections if section_name(s) == ".rsrc")
    virtual_without_resources = sum(s.Misc_VirtualSize for s in pe.sections
                                    if section_name(s) != ".rsrc")
    print_report(path, pe, file_size, resource_raw, virtual_without_resources)

    check_imports(pe)
    check_hardening(pe)
    check_no_writable_section(pe)
    expect("TimeDateStamp", 0, pe.FILE_HEADER.TimeDateStamp)
    check_build_traces(data)
    if file_size > MAX_FILE_SIZE:
        failures.append("file size: expected at most %d bytes, got %d"
                        % (MAX_FILE_SIZE, file_size))
    if virtual_without_resources > MAX_SIZE_WITHOUT_RESOURCES:
        failures.append("code and data outside .rsrc: expected at most %d bytes, got %d"
                        % (MAX_SIZE_WITHOUT_RESOURCES, virtual_without_resources))

    for line in failures:
        print(line)
    print("%s: %s" % (os.path.basename(path),
                      "%d check(s) failed" % len(failures) if failures else "all checks passed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
