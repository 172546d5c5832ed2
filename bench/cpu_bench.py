#!/usr/bin/python3
"""CPU cost of the window while it downloads: the updater fetches an
installer throttled to 1 MiB/s for about 20 s (the 10 ms display timer
redraws the bar and the status line meanwhile). Prints the CPU time the
updater's process used in a 20 s window in the middle of the download as a
share of one core, and the same for the Wine server and the X server, which
do the drawing work the updater asks for. Asserts nothing.
Usage: bench/cpu_bench.py [--seconds 20] (run tools/build.sh first)."""
import argparse
import os
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
sys.path.insert(0, str(ROOT / "tools"))

from benchenv import bench_environment  # noqa: E402
from harness import DEMO_SETUP, Updater, reset_dir, visible_controls  # noqa: E402

TICK = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICK  # utime + stime


def pids_named(name):
    out = subprocess.run(["pgrep", "-f", name], capture_output=True, text=True).stdout.split()
    return [int(p) for p in out]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--seconds", type=float, default=20.0)
    args = ap.parse_args()
    with bench_environment() as (wine, svc, display):
        measure(wine, svc, display, args.seconds)


def measure(wine, svc, display, seconds):
    size = int((seconds + 8) * (1 << 20))
    svc.add_file("slow.exe", DEMO_SETUP.read_bytes() + b"\0" * size)
    svc.set_manifest("<update><version>1.1.1.3</version><url>{base}/fault/throttle=1M/files/slow.exe"
                     "</url><force>1</force></update>")
    reset_dir(wine.product_dir)
    u = Updater(wine, [])
    try:
        u.wait_window(lambda w: "progress" in visible_controls(w))
        time.sleep(2)
        servers = pids_named("wineserver") + [display.proc.pid]
        before = cpu_seconds(u.proc.pid), sum(cpu_seconds(p) for p in servers)
        t0 = time.monotonic()
        time.sleep(seconds)
        after = cpu_seconds(u.proc.pid), sum(cpu_seconds(p) for p in servers)
        wall = time.monotonic() - t0
        if not u.running():
            raise RuntimeError("the download ended before the measurement did")
        mine = (after[0] - before[0]) / wall * 100
        other = (after[1] - before[1]) / wall * 100
        print(f"download throttled to 1 MiB/s, measured over {wall:.1f} s")
        print(f"P3 updater process CPU     {mine:5.2f} % of one core (target <= 3 %)")
        print(f"   wineserver + Xvfb CPU   {other:5.2f} % of one core")
    finally:
        u.kill()


if __name__ == "__main__":
    main()
