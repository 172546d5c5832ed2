#!/usr/bin/python3
"""Resume benchmark, in two parts; it asserts nothing.

Within a run: a large installer on loopback whose connection the update
service resets after every 16 MiB, fetched by the updater under Wine
("-test_update URL": download, save, the fixed 1000 ms pause, hand-over,
exit), against a clean download of the same file by the same updater in the
same run. Prints the bytes the service sent over the size of the file, and
the time of the broken download, less the pauses between attempts
(measured at the service: from the reset to the next request), over the
clean one; the median and the best of the runs.

Across runs: the same installer named by a forced manifest with its size
and sha256, over a link of --rate-mib MiB/s (0: unthrottled). The first run is killed once
the partial file holds half of it, the second run completes it; a clean run
fetches it whole. Prints the bytes sent over both runs over the size, and
the second run's time (start to exit) over the clean run's.

Usage: bench/resume_bench.py [--size-mib 64] [--reset-mib 16] [--rate-mib 4]
[--runs 5] [--only within|across] (run tools/build.sh first)."""
import argparse
import hashlib
import statistics
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
sys.path.insert(0, str(ROOT / "tools"))

from benchenv import bench_environment  # noqa: E402
from harness import DEMO_SETUP, Updater, reset_dir, wait_for  # noqa: E402


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
    ap.add_argument("--rate-mib", type=float, default=4)
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--only", choices=["within", "across"])
    args = ap.parse_args()
    with bench_environment() as (wine, svc, _):
        name = f"setup{args.size_mib}.exe"
        demo = DEMO_SETUP.read_bytes()
        data = demo + b"\0" * ((args.size_mib << 20) - len(demo))
        svc.add_file(name, data)
        if args.only != "across":
            measure(wine, svc, args, name, data)
        if args.only != "within":
            measure_across_runs(wine, svc, args, name, data)


def timed_run(wine, args=(), kill_when=None):
    """Seconds from start to exit; with kill_when, the process is killed
    once it holds (and None is returned)."""
    t0 = time.monotonic()
    u = Updater(wine, args)
    if kill_when:
        if not wait_for(kill_when, 600, 0.01):
            raise RuntimeError("the download never got that far")
        u.kill()
        return None
    if u.wait_exit(600) != 0:
        raise RuntimeError(f"updater exited with {u.proc.returncode}")
    return time.monotonic() - t0


def measure_across_runs(wine, svc, args, name, data):
    url = f"{svc.base_url}/files/{name}"  # --rate-mib 0: as fast as loopback goes
    if args.rate_mib > 0:
        url = f"{svc.base_url}/fault/throttle={int(args.rate_mib * 1024)}K,tick_ms=5/files/{name}"
    svc.set_manifest(f"<update><version>1.1.1.3</version><url>{url}</url><force>1</force>"
                     f"<size>{len(data)}</size><sha256>{hashlib.sha256(data).hexdigest()}</sha256></update>")
    partial = wine.work_dir / "download.partial"
    rows = []
    for _ in range(args.runs):
        reset_dir(wine.product_dir)
        clean = timed_run(wine)
        reset_dir(wine.product_dir)
        svc.clear_requests()
        timed_run(wine, kill_when=lambda: partial.exists() and partial.stat().st_size >= len(data) // 2)
        second = timed_run(wine)
        if (wine.work_dir / name).read_bytes() != data:
            raise RuntimeError("the continued installer differs from the original")
        ranged = sum(1 for e in svc.request_log() if name in e["path"] and e["range"])
        rows.append((clean, second, svc.bytes_sent() / len(data), second / clean, ranged))
    med = [statistics.median(col) for col in list(zip(*rows))[:4]]
    best = min(rows, key=lambda r: r[3])
    print(f"installer: {args.size_mib} MiB at {args.rate_mib:g} MiB/s, first run killed at half, "
          f"{args.runs} runs ({rows[0][4]} ranged request)")
    print("                                        median     best")
    print(f"  clean run (start to exit)           {med[0]:7.2f} s  {best[0]:7.2f} s")
    print(f"  second run (start to exit)          {med[1]:7.2f} s  {best[1]:7.2f} s")
    print(f"  bytes sent over both / file size    {med[2]:7.4f}    {best[2]:7.4f}    (target <= 1.05)")
    print(f"  second run / clean run              {med[3]:7.2f}    {best[3]:7.2f}    (target <= 0.6)")


def measure(wine, svc, args, name, data):
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
