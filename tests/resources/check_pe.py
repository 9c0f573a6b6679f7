#!/usr/bin/python3
"""Checks the resource section of a built Tavrel.exe byte by byte: which
resources exist and in which language, the Japanese and English messages,
the manifest's exact XML, the icon group's directory and images, and the
order of the version strings, against expected_resources.txt beside this
script (which resource_check.exe reads too).

    /usr/bin/python3 check_pe.py <path of Tavrel.exe>

Prints one line per failed check and exits with 1 if there was any.
"""

import os
import struct
import sys
import xml.parsers.expat

import pefile

RT_ICON, RT_STRING, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 6, 14, 16, 24
# Messages 101 and 102 sit in string block 7, which holds ids 96 to 111.
MESSAGE_BLOCK = 7


def number(text):
    return int(text, 0)


def read_expected(path):
    """The expectations that resource_check.exe reads too: see the file."""
    expected = {"resource": {}, "message": {}, "icon": [], "fixed": [], "translation": [],
                "string": []}
    with open(path, encoding="utf-8") as lines:
        for line in lines:
            line = line.rstrip("\r\n")
            if not line or line.startswith("#"):
                continue
            kind, *fields = line.split("\t")
            if kind == "resource":
                name = int(fields[1]) if fields[1].isdigit() else fields[1]
                expected[kind][(number(fields[0]), name)] = sorted(
                    number(language) for language in fields[2].split(","))
            elif kind == "message":
                expected[kind].setdefault(number(fields[0]), {})[number(fields[1])] = fields[2]
            elif kind == "icon":
                expected[kind].append(tuple(number(field) for field in fields))
            elif kind == "fixed":
                expected[kind].append((fields[0], number(fields[1])))
            elif kind == "translation":
                expected[kind] = [number(field) for field in fields]
            elif kind == "string":
                expected[kind].append((fields[0], fields[1] if len(fields) > 1 else ""))
            else:
                raise ValueError("%s: unknown record %r" % (path, kind))
    return expected


EXPECTED = read_expected(os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                      "expected_resources.txt"))
EXPECTED_RESOURCES = EXPECTED["resource"]
EXPECTED_MESSAGES = EXPECTED["message"]
EXPECTED_ICONS = EXPECTED["icon"]
EXPECTED_FIXED = EXPECTED["fixed"]
EXPECTED_STRINGS = EXPECTED["string"]
LANGUAGE, CODE_PAGE = EXPECTED["translation"]
ICON_GROUP = next(name for kind, name in EXPECTED_RESOURCES if kind == RT_GROUP_ICON)

# (path of the element, its attributes in document order, its text)
EXPECTED_MANIFEST = [
    ("assembly", [("xmlns", "urn:schemas-microsoft-com:asm.v1"), ("manifestVersion", "1.0")], ""),
    ("assembly/assemblyIdentity",
     [("version", "2.0.0.107"), ("processorArchitecture", "X86"), ("name", "Tavrel"),
      ("type", "win32")], ""),
    ("assembly/description", [], "Tavrel Version 2.0 R2"),
    ("assembly/dependency", [], ""),
    ("assembly/dependency/dependentAssembly", [], ""),
    ("assembly/dependency/dependentAssembly/assemblyIdentity",
     [("type", "win32"), ("name", "Microsoft.Windows.Common-Controls"), ("version", "6.0.0.0"),
      ("processorArchitecture", "X86"), ("publicKeyToken", "6595b64144ccf1df"),
      ("language", "*")], ""),
    ("assembly/trustInfo", [("xmlns", "urn:schemas-microsoft-com:asm.v3")], ""),
    ("assembly/trustInfo/security", [], ""),
    ("assembly/trustInfo/security/requestedPrivileges", [], ""),
    ("assembly/trustInfo/security/requestedPrivileges/requestedExecutionLevel",
     [("level", "requireAdministrator")], ""),
]

VGA16 = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]

failures = []


def expect(what, expected, got):
    if expected != got:
        failures.append("%s: expected %r, got %r" % (what, expected, got))


def read_resources(path):
    """{(type, name): [(language, bytes)]}, names as ints or strings."""
    pe = pefile.PE(path)
    found = {}
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for name in kind.directory.entries:
            key = (kind.id if kind.name is None else str(kind.name),
                   name.id if name.name is None else str(name.name))
            for lang in name.directory.entries:
                entry = lang.data.struct
                found.setdefault(key, []).append(
                    (lang.id, pe.get_data(entry.OffsetToData, entry.Size)))
    return found


def check_languages(resources):
    expect("resources (type, name)", sorted(EXPECTED_RESOURCES, key=repr),
           sorted(resources, key=repr))
    for key, entries in sorted(resources.items(), key=repr):
        expect("languages of %r" % (key,),
               ["0x%04x" % lang for lang in EXPECTED_RESOURCES.get(key, [])],
               sorted("0x%04x" % lang for lang, _ in entries))


def data_of(resources, key, language=None):
    language = LANGUAGE if language is None else language
    for lang, data in resources.get(key, []):
        if lang == language:
            return data
    return None


def check_messages(resources):
    """Each language's string block, byte for byte: sixteen counted UTF-16
    strings, empty but for the messages, and nothing after them."""
    ids = range(16 * (MESSAGE_BLOCK - 1), 16 * MESSAGE_BLOCK)
    for language, messages in sorted(EXPECTED_MESSAGES.items()):
        data = data_of(resources, (RT_STRING, MESSAGE_BLOCK), language)
        if data is None:
            continue  # reported with the languages
        got, offset = [], 0
        while offset + 2 <= len(data) and len(got) < len(ids):
            (length,) = struct.unpack_from("<H", data, offset)
            got.append(data[offset + 2:offset + 2 + 2 * length].decode("utf-16-le", "replace"))
            offset += 2 + 2 * length
        label = "string block %d in language 0x%04x" % (MESSAGE_BLOCK, language)
        expect(label, [messages.get(i, "") for i in ids], got)
        expect(label + ", bytes after its strings", b"", data[offset:])


def check_manifest(data):
    if data is None:
        return
    expect("manifest's first bytes", b"\xef\xbb\xbf<?xml ", data[:9])

    parser = xml.parsers.expat.ParserCreate()
    parser.ordered_attributes = True
    declaration, elements, stack = [], [], []

    def on_declaration(version, encoding, standalone):
        declaration.append((version, encoding, standalone))

    def on_start(name, attributes):
        stack.append(name)
        pairs = list(zip(attributes[0::2], attributes[1::2]))
        elements.append(["/".join(stack), pairs, ""])

    def on_end(name):
        stack.pop()

    def on_text(text):
        # Text belongs to the innermost open element.
        path = "/".join(stack)
        for element in reversed(elements):
            if element[0] == path:
                element[2] += text
                break

    parser.XmlDeclHandler = on_declaration
    parser.StartElementHandler = on_start
    parser.EndElementHandler = on_end
    parser.CharacterDataHandler = on_text
    try:
        parser.Parse(data, True)
    except xml.parsers.expat.ExpatError as error:
        failures.append("manifest: expected well-formed XML, got %s" % error)
        return

    # Expat reads the declaration's pseudo-attributes only in this order.
    expect("XML declaration", [("1.0", "UTF-8", 1)], declaration)
    got = [(path, attrs, text.strip()) for path, attrs, text in elements]
    for i in range(max(len(got), len(EXPECTED_MANIFEST))):
        want = EXPECTED_MANIFEST[i] if i < len(EXPECTED_MANIFEST) else (None, [], "")
        have = got[i] if i < len(got) else (None, [], "")
        if want[0] != have[0]:
            # Every element after a misplaced one would differ too.
            expect("manifest element %d" % (i + 1), want[0], have[0])
            break
        expect("manifest %s attributes" % want[0], want[1], have[1])
        expect("manifest %s text" % want[0], want[2], have[2])


def check_icons(resources):
    group = data_of(resources, (RT_GROUP_ICON, ICON_GROUP))
    if group is None:
        return
    expect("icon group header (reserved, type, count)", (0, 1, len(EXPECTED_ICONS)),
           struct.unpack_from("<HHH", group))
    expect("icon group size", 6 + 14 * len(EXPECTED_ICONS), len(group))
    for i, (image_id, size, colours, bits) in enumerate(EXPECTED_ICONS):
        image = data_of(resources, (RT_ICON, image_id))
        if image is None or len(group) < 6 + 14 * (i + 1):
            continue
        width, height, count, reserved, planes, bit_count, length, entry_id = \
            struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
        expect("icon group entry %d (id, width, height, colours, reserved, planes, bits, bytes)"
               % (i + 1), (image_id, size, size, colours, 0, 1, bits, len(image)),
               (entry_id, width, height, count, reserved, planes, bit_count, length))

        pixels = 40 + 4 * (1 << bits)
        row_xor = (size * bits + 31) // 32 * 4
        row_and = (size + 31) // 32 * 4
        mask = pixels + row_xor * size
        header = struct.unpack_from("<IiiHHI", image) if len(image) >= 40 else None
        want = (40, size, 2 * size, 1, bits, 0)
        expect("RT_ICON %d header (size, width, height, planes, bits, compression)" % image_id,
               want, header)
        expect("RT_ICON %d size" % image_id, mask + row_and * size, len(image))
        if header != want or len(image) != mask + row_and * size:
            continue

        palette = [tuple(image[40 + 4 * k:43 + 4 * k][::-1]) for k in range(1 << bits)]
        if bits == 4:
            for k, (want_rgb, have_rgb) in enumerate(zip(VGA16, palette)):
                expect("RT_ICON %d palette entry %d" % (image_id, k), want_rgb, have_rgb)

        # Where the mask makes a pixel transparent, its colour must be black,
        # or it would show through inverted.
        opaque, shows_through = 0, []
        for y in range(size):
            for x in range(size):
                if not image[mask + y * row_and + x // 8] & (0x80 >> (x % 8)):
                    opaque += 1
                    continue
                if bits == 8:
                    index = image[pixels + y * row_xor + x]
                else:
                    index = image[pixels + y * row_xor + x // 2] >> (4 if x % 2 == 0 else 0) & 15
                if palette[index] != (0, 0, 0):
                    shows_through.append((x, size - 1 - y))
        expect("RT_ICON %d transparent pixels that are not black" % image_id, [],
               shows_through[:5])
        if opaque in (0, size * size):
            failures.append("RT_ICON %d: expected transparent and opaque pixels, got %d opaque "
                            "of %d" % (image_id, opaque, size * size))


def version_nodes(data, offset, end):
    """The children of a version block: (key, value type, value, children bounds)."""
    nodes = []
    while offset + 6 <= end:
        length, value_length, value_type = struct.unpack_from("<HHH", data, offset)
        if length == 0:
            break
        key_end = offset + 6
        while data[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = data[offset + 6:key_end].decode("utf-16-le")
        value_start = (key_end + 2 + 3) & ~3
        value_bytes = value_length * 2 if value_type == 1 else value_length
        value = data[value_start:value_start + value_bytes]
        children = ((value_start + value_bytes + 3) & ~3, offset + length)
        nodes.append((key, value_type, value_length, value, children))
        offset = (offset + length + 3) & ~3
    return nodes


def check_version(data):
    if data is None:
        return
    root = version_nodes(data, 0, len(data))
    expect("version root key", ["VS_VERSION_INFO"], [n[0] for n in root])
    if not root:
        return
    _, _, fixed_length, fixed, children = root[0]
    expect("VS_FIXEDFILEINFO size", 52, fixed_length)
    expect("fields of VS_FIXEDFILEINFO expected", 13, len(EXPECTED_FIXED))
    if len(fixed) == 52:
        values = struct.unpack("<13I", fixed)
        for (field, want), have in zip(EXPECTED_FIXED, values):
            expect(field, hex(want), hex(have))

    blocks = version_nodes(data, *children)
    expect("version blocks", ["StringFileInfo", "VarFileInfo"], [b[0] for b in blocks])
    for key, _, _, _, bounds in blocks:
        if key == "StringFileInfo":
            tables = version_nodes(data, *bounds)
            expect("string tables", ["%04x%04x" % (LANGUAGE, CODE_PAGE)], [t[0] for t in tables])
            if not tables:
                continue
            got = []
            for name, value_type, value_length, value, _ in version_nodes(data, *tables[0][4]):
                got.append((name, value_type, value_length, value.decode("utf-16-le")))
            # A text value is stored with its NUL; an empty one is the NUL alone.
            want = [(name, 1, len(text) + 1, text + "\0") for name, text in EXPECTED_STRINGS]
            for i in range(max(len(got), len(want))):
                expect("version string %d (key, type, length, value)" % (i + 1),
                       want[i] if i < len(want) else None, got[i] if i < len(got) else None)
        elif key == "VarFileInfo":
            got = [(name, value) for name, _, _, value, _ in version_nodes(data, *bounds)]
            expect("VarFileInfo", [("Translation", struct.pack("<HH", LANGUAGE, CODE_PAGE))], got)


def main(argv):
    if len(argv) != 2:
        print("usage: check_pe.py <path of Tavrel.exe>")
        return 2
    resources = read_resources(argv[1])
    check_languages(resources)
    check_messages(resources)
    check_manifest(data_of(resources, (RT_MANIFEST, 1)))
    check_icons(resources)
    check_version(data_of(resources, (RT_VERSION, 1)))
    for line in failures:
        print(line)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
