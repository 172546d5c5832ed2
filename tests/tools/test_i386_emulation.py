"""The set-up of i386 emulation (tools/setup-i386-emulation.sh) with
stand-ins for apt-get, mount, qemu and the probe, and the build's check of
delay-load import slots (tools/check-delay-imports.py) on small PE images."""
import importlib.util
import os
import shutil
import struct
import subprocess
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]

STANDINS = {
    "apt-get": '#!/bin/sh\necho "apt-get $*" >> "$LOG"\ncase "$*" in *install*) [ -z "$REFUSE" ] || exit 100 ;; esac\n'
               'case "$*" in *install*) printf "#!/bin/sh\\necho \'qemu-i386 version 10.0.2\'\\n" > "$QEMU" ;; esac\n',
    "mount": '#!/bin/sh\necho "mount $*" >> "$LOG"\n[ -z "$NO_MOUNT" ] && touch "$BFM/register"\n',
    "sudo": '#!/bin/sh\nexec "$@"\n',
}


def run_setup(tmp_path, qemu_version="7.2.19", no_mount="", refuse="", mounted=True):
    tools = tmp_path / "tools"
    tools.mkdir()
    shutil.copy(ROOT / "tools" / "setup-i386-emulation.sh", tools)
    # The probe runs once the handler file exists, as the kernel would.
    (tools / "host-arch.sh").write_text('#!/bin/sh\n[ -e "$BFM/qemu-i386" ] && echo i686 || echo x86_64\n')
    bin_dir = tmp_path / "bin"
    bin_dir.mkdir()
    for name, text in STANDINS.items():
        (bin_dir / name).write_text(text)
    qemu = bin_dir / "qemu-i386-static"
    qemu.write_text(f"#!/bin/sh\necho 'qemu-i386 version {qemu_version} (Debian)'\n")
    for f in [*bin_dir.iterdir(), tools / "host-arch.sh"]:
        f.chmod(0o755)
    bfm = tmp_path / "binfmt"
    bfm.mkdir()
    if mounted:
        (bfm / "register").touch()
    etc = tmp_path / "apt"
    (etc / "sources.list.d").mkdir(parents=True)
    (etc / "sources.list.d" / "debian.sources").write_text(
        "Types: deb\nURIs: http://mirror.invalid/debian\nSuites: bookworm bookworm-updates\nComponents: main\n")
    log = tmp_path / "calls.log"
    log.touch()
    env = dict(os.environ, PATH=f"{bin_dir}:{os.environ['PATH']}", LOG=str(log), BFM=str(bfm), QEMU=str(qemu),
               NO_MOUNT=no_mount, REFUSE=refuse, LUMORA_APT_ETC=str(etc), LUMORA_BINFMT_DIR=str(bfm),
               LUMORA_QEMU=str(qemu))
    r = subprocess.run(["bash", str(tools / "setup-i386-emulation.sh")], env=env, capture_output=True, text=True)
    return r, log.read_text(), bfm, etc


@pytest.mark.parametrize("case, ok, says", [
    (dict(), True, "run through qemu-i386 version 10.0.2"),
    (dict(qemu_version="10.0.2"), True, "run through qemu-i386 version 10.0.2"),
    (dict(mounted=False), True, "run through"),
    (dict(mounted=False, no_mount="1"), False, "binfmt_misc cannot be mounted"),
    (dict(refuse="1"), False, "qemu-user-static from bookworm-backports cannot be installed"),
])
def test_emulation_set_up_or_one_line_why_not(tmp_path, case, ok, says):
    r, calls, bfm, etc = run_setup(tmp_path, **case)
    assert (r.returncode == 0) == ok, r.stderr
    assert says in r.stderr
    if ok:
        assert (bfm / "register").read_text() == (
            r":qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00"
            r":\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff"
            f":{tmp_path}/bin/qemu-i386-static:F")
    else:
        assert "building and testing x86_64 instead" in r.stderr
    # The old emulator is replaced from backports of the mirror apt uses.
    if "qemu_version" not in case and not case.get("no_mount"):
        assert "install" in calls and "-t bookworm-backports qemu-user-static" in calls
        assert "URIs: http://mirror.invalid/debian\nSuites: bookworm-backports\n" in \
            (etc / "sources.list.d" / "lumora-backports.sources").read_text()
    if case.get("qemu_version") == "10.0.2":
        assert "apt-get" not in calls


spec = importlib.util.spec_from_file_location("check_delay_imports", ROOT / "tools" / "check-delay-imports.py")
check = importlib.util.module_from_spec(spec)
spec.loader.exec_module(check)


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
