#!/usr/bin/python3
"""CPU cost of the window while it downloads: the updater fetches an
installer throttled to 1 MiB/s for about 20 s (the 10 ms display timer
redraws the bar and the status line meanwhile). Prints the CPU time the
updater's process used in a 20 s window in the middle of the download as a
share of one core, the same for this prefix's Wine server and the X
server, which do the drawing work the updater asks for, and the rate the
updater actually took. Asserts nothing.
Usage: bench/cpu_bench.py [--seconds 20] [--exe PATH] (run tools/build.sh first)."""
import argparse
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
sys.path.insert(0, str(ROOT / "tools"))

from benchenv import bench_environment, cpu_seconds, wineservers  # noqa: E402
from harness import DEMO_SETUP, EXE, Updater, reset_dir, visible_controls  # noqa: E402

def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--seconds", type=float, default=20.0)
    ap.add_argument("--exe", type=Path, default=EXE, help="the updater to measure")
    args = ap.parse_args()
    with bench_environment() as (wine, svc, display):
        measure(wine, svc, display, args)


def window_cpu(wine, svc, display, args, shown):
    """Shares of one core (updater, Wine server + X server) and the MiB/s
    the service handed over, over args.seconds once shown(window) holds."""
    reset_dir(wine.product_dir)
    u = Updater(wine, [], exe=args.exe)
    try:
        u.wait_window(shown)
        time.sleep(2)
        servers = wineservers(wine.env["WINEPREFIX"]) + [display.proc.pid]
        before = cpu_seconds(u.proc.pid), sum(cpu_seconds(p) or 0 for p in servers)
        got0, t0 = svc.bytes_sent(), time.monotonic()
        time.sleep(args.seconds)
        if not u.running():
            raise RuntimeError("the updater ended before the measurement did")
        after = cpu_seconds(u.proc.pid), sum(cpu_seconds(p) or 0 for p in servers)
        got1, wall = svc.bytes_sent(), time.monotonic() - t0
        # What the service handed over is what the updater took: the socket
        # buffers hold far less than the seconds measured.
        return ((after[0] - before[0]) / wall * 100, (after[1] - before[1]) / wall * 100,
                (got1 - got0) / wall / (1 << 20))
    finally:
        u.kill()


def measure(wine, svc, display, args):
    size = int((args.seconds + 8) * (1 << 20))
    svc.add_file("slow.exe", DEMO_SETUP.read_bytes() + b"\0" * size)
    # The floor: the offer window, whose 10 ms timer runs with nothing to download.
    svc.set_manifest("<update><version>1.1.1.3</version><url>{base}/files/slow.exe</url><force>0</force></update>")
    idle = window_cpu(wine, svc, display, args, lambda w: w["visible"])
    svc.set_manifest("<update><version>1.1.1.3</version><url>{base}/fault/throttle=1M/files/slow.exe"
                     "</url><force>1</force></update>")
    busy = window_cpu(wine, svc, display, args, lambda w: "progress" in visible_controls(w))
    print(f"updater: {args.exe}, each window measured over {args.seconds:.0f} s")
    print(f"download throttled to 1 MiB/s: the updater took {busy[2]:.2f} MiB/s")
    print(f"P3 updater process CPU     {busy[0]:5.2f} % of one core (target <= 3 %)")
    print(f"   wineserver + Xvfb CPU   {busy[1]:5.2f} % of one core")
    print(f"offer window, nothing to download (the timers alone)")
    print(f"   updater process CPU     {idle[0]:5.2f} % of one core")
    print(f"   wineserver + Xvfb CPU   {idle[1]:5.2f} % of one core")


if __name__ == "__main__":
    main()
