#!/usr/bin/python3
"""Marks the .rsrc section of a PE image read-only, in place, and updates
the image checksum. The GNU linker and objcopy always give a section named
.rsrc the write flag (--set-section-flags cannot clear it); nothing writes
to the resources, and other toolchains emit them read-only.

    /usr/bin/python3 readonly_resources.py <image>
"""

import struct
import sys

MEM_WRITE = 0x80000000


def checksum(data, checksum_offset):
    """The PE image checksum: 16-bit words added with end-around carry,
    the checksum field counted as zero, plus the file's length."""
    image = bytearray(data)
    image[checksum_offset:checksum_offset + 4] = b"\0\0\0\0"
    if len(image) % 2:
        image += b"\0"
    total = 0
    for (word,) in struct.iter_unpack("<H", image):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    return ((total & 0xFFFF) + len(data)) & 0xFFFFFFFF


def main(argv):
    if len(argv) != 2:
        print("usage: readonly_resources.py <image>", file=sys.stderr)
        return 2
    with open(argv[1], "rb") as f:
        data = bytearray(f.read())
    header = struct.unpack_from("<I", data, 0x3C)[0]
    if data[header:header + 4] != b"PE\0\0":
        print("%s: not a PE image" % argv[1], file=sys.stderr)
        return 1
    section_count, = struct.unpack_from("<H", data, header + 6)
    optional_size, = struct.unpack_from("<H", data, header + 20)
    optional = header + 24
    table = optional + optional_size
    marked = False
    for index in range(section_count):
        entry = table + 40 * index
        if data[entry:entry + 8].rstrip(b"\0") == b".rsrc":
            flags, = struct.unpack_from("<I", data, entry + 36)
            struct.pack_into("<I", data, entry + 36, flags & ~MEM_WRITE)
            marked = True
    if not marked:
        print("%s: no .rsrc section" % argv[1], file=sys.stderr)
        return 1
    checksum_offset = optional + 64  # the same in PE32 and PE32+
    struct.pack_into("<I", data, checksum_offset, checksum(data, checksum_offset))
    with open(argv[1], "r+b") as f:
        f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
