"""What every benchmark here needs: a private display, the project's Wine
with a warm server, and the local update service on the port compiled into
the test build; all torn down again, with the work folder emptied. Also
the CPU time a process has used, and which Wine server is this prefix's."""
import contextlib
import os
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
sys.path.insert(0, str(ROOT / "tools"))

from harness import UPDATE_PORT, Display, Wine, reset_dir  # noqa: E402
from update_service import UpdateService  # noqa: E402

TICK = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    """utime + stime of a live process; None once it is gone."""
    try:
        fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    except (OSError, IndexError):
        return None
    return (int(fields[11]) + int(fields[12])) / TICK


def wineservers(prefix):
    """This prefix's Wine server only: other prefixes may be busy meanwhile."""
    pids = []
    for p in subprocess.run(["pgrep", "wineserver"], capture_output=True, text=True).stdout.split():
        try:
            env = Path(f"/proc/{p}/environ").read_bytes().split(b"\0")
        except OSError:
            continue
        if ("WINEPREFIX=" + prefix).encode() in env:
            pids.append(int(p))
    return pids


@contextlib.contextmanager
def bench_environment():
    """Yields (wine, service, display)."""
    display = Display().start()
    wine = Wine(display.name)
    wine.start_server()
    svc = UpdateService(port=UPDATE_PORT)
    svc.start()
    try:
        yield wine, svc, display
    finally:
        svc.stop()
        reset_dir(wine.product_dir)
        wine.stop_server()
        display.stop()
