#!/usr/bin/env python3
"""Packs the files of a folder into a zip that comes out the same, byte for byte, whoever
builds it where and when: the entries in the order of their paths, each dated
SOURCE_DATE_EPOCH (in UTC; 2000-01-01 when it is not set), read-write for all as on
Windows, compressed with deflate at level 9.

    make-zip.py out.zip folder
"""
import os
import sys
import time
import zipfile

FALLBACK_TIME = 946684800  # 2000-01-01
ZIP_FIRST_TIME = 315532800  # 1980-01-01, the earliest time a zip entry holds


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    out, folder = sys.argv[1:]
    epoch = int(os.environ.get("SOURCE_DATE_EPOCH") or FALLBACK_TIME)
    stamp = time.gmtime(max(epoch, ZIP_FIRST_TIME))[:6]
    paths = sorted(
        os.path.relpath(os.path.join(parent, name), folder).replace(os.sep, "/")
        for parent, _, names in os.walk(folder)
        for name in names
    )
    partial = out + ".part"
    with zipfile.ZipFile(partial, "w") as archive:
        for path in paths:
            entry = zipfile.ZipInfo(path, stamp)
            entry.create_system = 0  # MS-DOS: no Unix owner or mode in the entry
            entry.external_attr = 0x20  # the archive attribute, as Windows sets it
            entry.compress_type = zipfile.ZIP_DEFLATED
            with open(os.path.join(folder, path), "rb") as f:
                archive.writestr(entry, f.read(), compresslevel=9)
    os.replace(partial, out)


if __name__ == "__main__":
    main()
