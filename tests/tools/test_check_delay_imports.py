"""The build's check of delay-load import slots (tools/check-delay-imports.py)
on small PE images."""
import runpy
import struct
from types import SimpleNamespace
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]

# The script's own functions, without running it as a program.
check = SimpleNamespace(**runpy.run_path(str(ROOT / "tools" / "check-delay-imports.py")))


def pe_image(slots, wide=False):
    """A PE image with one code section at 0x1000 and one delay-load
    descriptor there, for a DLL with one function per slot value."""
    base = 0x400000
    opt_size = 240 if wide else 224
    head = bytearray(0x200)
    head[:2] = b"MZ"
    struct.pack_into("<I", head, 0x3C, 0x40)
    head[0x40:0x44] = b"PE\0\0"
    struct.pack_into("<HHIIIHH", head, 0x44, 0x8664 if wide else 0x14C, 1, 0, 0, 0, opt_size, 0x102)
    opt = 0x58
    struct.pack_into("<H", head, opt, 0x20B if wide else 0x10B)
    if wide:
        struct.pack_into("<Q", head, opt + 24, base)
    else:
        struct.pack_into("<I", head, opt + 28, base)
    struct.pack_into("<I", head, opt + 56, 0x2000)  # SizeOfImage
    dirs = opt + (112 if wide else 96)
    struct.pack_into("<I", head, dirs - 4, 16)
    struct.pack_into("<II", head, dirs + 8 * 13, 0x1000, 64)
    sec = opt + opt_size
    head[sec:sec + 8] = b".text\0\0\0"
    struct.pack_into("<IIII", head, sec + 8, 0x1000, 0x1000, 0x1000, 0x200)
    struct.pack_into("<I", head, sec + 36, 0x60000020)  # code, execute, read
    text = bytearray(0x1000)
    struct.pack_into("<IIIII", text, 0, 1, 0x1100, 0x1104, 0x1200, 0x1300)  # attributes: RVAs
    text[0x100:0x10C] = b"planted.dll\0"
    step, fmt = (8, "<Q") if wide else (4, "<I")
    for i, slot in enumerate(slots):
        struct.pack_into(fmt, text, 0x300 + i * step, 0x1400 + 16 * i)
        text[0x402 + 16 * i:0x40C + 16 * i] = b"Function%d\0" % i
        struct.pack_into(fmt, text, 0x200 + i * step, slot)
    return bytes(head + text)


@pytest.mark.parametrize("wide", [False, True])
@pytest.mark.parametrize("slots, bad", [
    ([0x401800, 0x401810], []),
    ([0x401800, 0], [("planted.dll", "Function1", 0)]),            # the thunk the linker dropped
    ([0x402800], [("planted.dll", "Function0", 0x402800)]),        # past the end of the image
    ([0x400010], [("planted.dll", "Function0", 0x400010)]),        # the headers, not code
])
def test_every_delay_load_slot_must_point_at_code_in_the_image(wide, slots, bad):
    assert check.bad_slots(check.Image(pe_image(slots, wide))) == bad
