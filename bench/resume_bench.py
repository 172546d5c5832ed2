#!/usr/bin/python3
"""Resume benchmark: a large installer on loopback whose connection the
update service resets after every 16 MiB, fetched by the updater under Wine
("-test_update URL": download, save, the fixed 1000 ms pause, hand-over,
exit), against a clean download of the same file by the same updater in the
same run. Prints the bytes the service sent over the size of the file, and
the time of the broken download, less the pauses between attempts
(measured at the service: from the reset to the next request), over the
clean one; the median and the best of the runs. It asserts nothing.

Usage: bench/resume_bench.py [--size-mib 64] [--reset-mib 16] [--runs 5]
(run tools/build.sh first)."""
import argparse
import statistics
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
sys.path.insert(0, str(ROOT / "tools"))

from benchenv import bench_environment  # noqa: E402
from harness import DEMO_SETUP, Updater, reset_dir  # noqa: E402


def run_updater(wine, url):
    reset_dir(wine.product_dir)
    t0 = time.monotonic()
    u = Updater(wine, ["-test_update", url])
    if u.wait_exit(600) != 0:
        raise RuntimeError(f"updater exited with {u.proc.returncode}")
    return time.monotonic() - t0


def measure_broken(wine, svc, url, name, data):
    """(seconds, bytes sent, pauses between attempts, attempts) of one broken download."""
    svc.clear_requests()  # the first requests break again
    t = run_updater(wine, url)
    if (wine.work_dir / name).read_bytes() != data:
        raise RuntimeError("the resumed installer differs from the original")
    log = svc.request_log()
    pauses = sum(b["time"] - a["end"] for a, b in zip(log, log[1:]))
    return t, sum(e["sent"] for e in log), pauses, len(log)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--size-mib", type=int, default=64)
    ap.add_argument("--reset-mib", type=int, default=16)
    ap.add_argument("--runs", type=int, default=5)
    args = ap.parse_args()
    with bench_environment() as (wine, svc, _):
        measure(wine, svc, args)


def measure(wine, svc, args):
    name = f"setup{args.size_mib}.exe"
    demo = DEMO_SETUP.read_bytes()
    data = demo + b"\0" * ((args.size_mib << 20) - len(demo))
    svc.add_file(name, data)
    resets = (args.size_mib - 1) // args.reset_mib  # the last piece arrives whole
    clean_url = f"{svc.base_url}/files/{name}"
    broken_url = f"{svc.base_url}/fault/reset={args.reset_mib}M,first={resets}/files/{name}"
    run_updater(wine, clean_url)  # warm-up: Wine, page cache
    # Each broken run is compared with the clean run just before it: on a
    # shared machine, neighbours in time see the same load.
    rows = []
    for _ in range(args.runs):
        c = run_updater(wine, clean_url)
        b, sent, pauses, attempts = measure_broken(wine, svc, broken_url, name, data)
        rows.append((c, b, pauses, sent / len(data), (b - pauses) / c, attempts))
    med = [statistics.median(col) for col in list(zip(*rows))[:5]]
    best = min(rows, key=lambda r: r[4])
    print(f"installer: {args.size_mib} MiB over loopback, reset after every {args.reset_mib} MiB "
          f"({rows[0][5]} requests), {args.runs} runs")
    print("                                        median     best")
    print(f"  clean download (start to exit)      {med[0]:7.2f} s  {best[0]:7.2f} s")
    print(f"  broken download (start to exit)     {med[1]:7.2f} s  {best[1]:7.2f} s")
    print(f"  pauses between attempts             {med[2]:7.2f} s  {best[2]:7.2f} s")
    print(f"  bytes sent / file size              {med[3]:7.4f}    {best[3]:7.4f}    (target < 1.05)")
    print(f"  (broken - pauses) / clean           {med[4]:7.2f}    {best[4]:7.2f}    (target <= 1.10)")


if __name__ == "__main__":
    main()
