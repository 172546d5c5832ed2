"""The set-up of i386 emulation (tools/setup-i386-emulation.sh) with
stand-ins for apt-get, mount, qemu and the probe."""
import os
import shutil
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
