#!/usr/bin/env python3
"""Reads the delay-load import table of PE executables and fails when a
function's import slot does not hold the address of code in the image.

Before the first call, each slot of a delay-loaded function must point at
its thunk, which loads the DLL and fills the slot in; a slot the linker left
at 0 (or anywhere else) sends that first call to a wild address. The build
runs this on every executable it links.

    check-delay-imports.py EXE...    exit 0: every slot good; 1: a bad slot
                                     (each named on stderr); 2: not a PE file
"""
import re
import struct
import sys

SCN_MEM_EXECUTE = 0x20000000
DELAY_IMPORT_DIRECTORY = 13
DESCRIPTOR = re.compile(r"_*DELAY_IMPORT_DESCRIPTOR_")


class NotPe(Exception):
    pass


class Image:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ" or len(data) < 0x40:
            raise NotPe("no MZ header")
        pe = self.u32(0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise NotPe("no PE signature")
        sections, opt_size = struct.unpack_from("<H12xH", data, pe + 6)
        opt = pe + 24
        magic = self.u16(opt)
        if magic not in (0x10B, 0x20B):
            raise NotPe("unknown optional header 0x%x" % magic)
        self.wide = magic == 0x20B
        self.base = struct.unpack_from("<Q", data, opt + 24)[0] if self.wide else self.u32(opt + 28)
        self.size = self.u32(opt + 56)
        dirs = opt + (112 if self.wide else 96)
        count = self.u32(dirs - 4)
        delay = self.u32(dirs + 8 * DELAY_IMPORT_DIRECTORY) if count > DELAY_IMPORT_DIRECTORY else 0
        self.sections = []
        for i in range(sections):
            s = opt + opt_size + 40 * i
            vsize, rva, raw_size, raw = struct.unpack_from("<IIII", data, s + 8)
            self.sections.append((rva, max(vsize, raw_size), raw, raw_size, self.u32(s + 36)))
        # GNU ld leaves the delay-load directory empty; its descriptors are
        # found by the symbols dlltool gives them (the linked, unstripped exe).
        self.descriptors = self.directory(delay) if delay else self.symbols(pe, DESCRIPTOR)

    def directory(self, rva):
        """RVAs of the descriptors of a delay-load directory, up to the null one."""
        found = []
        while self.u32(self.offset(rva) + 4):
            found.append(rva)
            rva += 32
        return found

    def symbols(self, pe, pattern):
        """RVAs of the COFF symbols whose names match pattern."""
        table, count = struct.unpack_from("<II", self.data, pe + 12)
        strings = table + 18 * count
        found = []
        i = 0
        while i < count:
            off = table + 18 * i
            raw, value, section = struct.unpack_from("<8sIh", self.data, off)
            if raw[:4] == b"\0\0\0\0":
                start = strings + struct.unpack_from("<I", raw, 4)[0]
                name = self.data[start:self.data.index(b"\0", start)]
            else:
                name = raw.rstrip(b"\0")
            if section > 0 and pattern.match(name.decode("latin-1")):
                found.append(self.sections[section - 1][0] + value)
            i += 1 + self.data[off + 17]  # and its auxiliary records
        return found

    def u16(self, off):
        return struct.unpack_from("<H", self.data, off)[0]

    def u32(self, off):
        if off < 0 or off + 4 > len(self.data):
            raise NotPe("offset 0x%x outside the file" % off)
        return struct.unpack_from("<I", self.data, off)[0]

    def section_of(self, rva):
        for s in self.sections:
            if s[0] <= rva < s[0] + s[1]:
                return s
        return None

    def offset(self, rva):
        s = self.section_of(rva)
        if s is None or rva - s[0] >= s[3]:
            raise NotPe("RVA 0x%x has no bytes in the file" % rva)
        return s[2] + rva - s[0]

    def pointer(self, rva):
        off = self.offset(rva)
        return struct.unpack_from("<Q", self.data, off)[0] if self.wide else self.u32(off)

    def string(self, rva):
        off = self.offset(rva)
        return self.data[off:self.data.index(b"\0", off)].decode("latin-1")


def bad_slots(img):
    """(dll, function, slot value) for every delay-load slot that does not
    point into an executable section of the image."""
    bad = []
    step = 8 if img.wide else 4
    for desc in img.descriptors:
        bad += slots_of(img, desc, step)
    return bad


def slots_of(img, desc, step):
    bad = []
    attrs, name, _handle, iat, names = struct.unpack_from("<IIIII", img.data, img.offset(desc))
    # Attribute bit 0 clear: an old table that holds addresses, not RVAs.
    rebase = 0 if attrs & 1 else img.base
    dll = img.string(name - rebase)
    top = 1 << (63 if img.wide else 31)
    i = 0
    while True:
        entry = img.pointer(names - rebase + i * step)
        if not entry:
            return bad
        func = "#%d" % (entry & 0xFFFF) if entry & top else img.string(entry - rebase + 2)
        slot = img.pointer(iat - rebase + i * step)
        s = img.section_of(slot - img.base) if img.base <= slot < img.base + img.size else None
        if s is None or not s[4] & SCN_MEM_EXECUTE:
            bad.append((dll, func, slot))
        i += 1


def main(paths):
    status = 0
    for path in paths:
        try:
            with open(path, "rb") as f:
                img = Image(f.read())
            if not img.descriptors:
                raise NotPe("no delay-load table (neither its directory nor its symbols)")
            bad = bad_slots(img)
        except (NotPe, struct.error, ValueError) as e:
            print("%s: not a readable PE file: %s" % (path, e), file=sys.stderr)
            return 2
        for dll, func, slot in bad:
            print("%s: delay-load slot of %s!%s holds 0x%x, not code in the image" % (path, dll, func, slot),
                  file=sys.stderr)
            status = 1
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
