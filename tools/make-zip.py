#!/usr/bin/env python3
"""Zips a folder so that the same files give the same bytes on any machine:
entries in sorted order, one fixed time, fixed attributes, whoever builds;
stored as they are where deflating would not make them smaller.
Usage: make-zip.py OUT.zip FOLDER"""
import sys
import zipfile
import zlib
from pathlib import Path

FIXED_TIME = (1980, 1, 1, 0, 0, 0)  # the earliest a zip entry can hold
ATTR_ARCHIVE = 0x20


def main(out, folder):
    root = Path(folder)
    names = sorted(p.relative_to(root).as_posix() for p in root.rglob("*") if p.is_file())
    with zipfile.ZipFile(out, "w") as z:
        for name in names:
            data = (root / name).read_bytes()
            packer = zlib.compressobj(9, zlib.DEFLATED, -15)
            smaller = len(packer.compress(data) + packer.flush()) < len(data)
            info = zipfile.ZipInfo(name, FIXED_TIME)
            info.compress_type = zipfile.ZIP_DEFLATED if smaller else zipfile.ZIP_STORED
            info.create_system = 0  # MS-DOS attributes, not the builder's owner and mode
            info.external_attr = ATTR_ARCHIVE
            z.writestr(info, data, compresslevel=9)


if __name__ == "__main__":
    main(*sys.argv[1:])
