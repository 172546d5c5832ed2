"""tools/setup-host.sh against a package mirror in the middle of a sync:
stand-ins for apt-get, dpkg and dpkg-query come first on PATH, so the
machine's package sources and packages are never touched."""
import os
import subprocess
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
MIRROR_SYNC = ("E: Failed to fetch https://mirror.invalid/debian-security/dists/bookworm-security/"
               "main/binary-i386/Packages.xz  File has unexpected size (39296 != 39300). "
               "Mirror sync in progress? [IP: 192.0.2.1 443]")

STANDINS = {
    # update fails as a half-synced mirror makes it; install fails for the
    # packages named in $REFUSE; every call is logged.
    "apt-get": """#!/bin/sh
echo "apt-get $*" >> "$LOG"
case "$*" in
  *update*) echo "$MIRROR_SYNC" >&2; exit 100 ;;
esac
for p in $REFUSE; do
  case " $* " in *" $p "*) echo "E: Unable to correct problems, you have held broken packages." >&2; exit 100 ;; esac
done
exit 0
""",
    "dpkg-query": "#!/bin/sh\nexit 1\n",  # nothing installed yet
    "dpkg": "#!/bin/sh\n[ \"$1\" = --print-foreign-architectures ] && echo i386\nexit 0\n",
    "sudo": "#!/bin/sh\nexec \"$@\"\n",
    "sleep": "#!/bin/sh\nexit 0\n",
}


def run_setup(tmp_path, refuse=""):
    bin_dir = tmp_path / "bin"
    bin_dir.mkdir()
    for name, text in STANDINS.items():
        (bin_dir / name).write_text(text)
        (bin_dir / name).chmod(0o755)
    etc = tmp_path / "apt"
    (etc / "sources.list.d").mkdir(parents=True)
    (etc / "sources.list.d" / "debian.sources").write_text("Types: deb deb-src\nURIs: http://mirror.invalid\n")
    log = tmp_path / "calls.log"
    env = dict(os.environ, PATH=f"{bin_dir}:{os.environ['PATH']}", LOG=str(log), REFUSE=refuse,
               MIRROR_SYNC=MIRROR_SYNC, LUMORA_APT_ETC=str(etc), LUMORA_TARGET_ARCH="i686")
    r = subprocess.run(["bash", str(ROOT / "tools" / "setup-host.sh")], env=env, capture_output=True, text=True)
    return r, log.read_text().splitlines()


@pytest.mark.parametrize("refuse, ok, says", [
    ("", True, "apt-get update failed three times"),
    ("wine32:i386", True, "wine32:i386 cannot be installed from this mirror now; building and testing x86_64"),
    ("cmake", False, "apt-get update failed three times"),
])
def test_a_failing_index_stops_the_setup_only_when_packages_cannot_be_had(tmp_path, refuse, ok, says):
    r, calls = run_setup(tmp_path, refuse)
    assert [c for c in calls if "update" in c] == ["apt-get update -qq"] * 3
    assert any("install" in c and "cmake" in c for c in calls)
    assert (r.returncode == 0) == ok, r.stderr
    assert says in r.stderr
