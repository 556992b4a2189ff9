#!/usr/bin/env python3
"""Packs PNG images into a Windows icon file (.ico), each image stored as PNG, as
Windows Vista and later read them.

    make-ico.py out.ico image.png...
"""
import struct
import sys


def png_size(data: bytes):
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        sys.exit("make-ico.py: not a PNG image")
    return struct.unpack(">II", data[16:24])


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    images = []
    for path in sys.argv[2:]:
        with open(path, "rb") as f:
            images.append(f.read())
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for data in images:
        width, height = png_size(data)
        # A size of 256 is written as 0.
        out += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
