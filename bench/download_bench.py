#!/usr/bin/python3
"""Download benchmark: one large installer from the local update service on
loopback, fetched in the same run by
  - the updater under Wine ("-test_update URL": download, save, the fixed
    1000 ms pause, hand-over, exit),
  - a minimal WinHTTP client built with the same toolchain, same Wine,
  - native curl,
and the peak resident memory of the updater's process for a small and a large
installer. Prints times, ratios and memory; it asserts nothing.

Usage: bench/download_bench.py [--size-mib 256] [--small-mib 16] [--runs 3]
(run tools/build.sh first)."""
import argparse
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
sys.path.insert(0, str(ROOT / "tools"))

from benchenv import bench_environment  # noqa: E402
from harness import BIN, DEMO_SETUP, Updater, reset_dir  # noqa: E402

HANDOVER_PAUSE_S = 1.0


def peak_rss_kib(pid):
    try:
        for line in Path(f"/proc/{pid}/status").read_text().splitlines():
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    except OSError:
        pass
    return None


def run_updater(wine, url):
    """Wall time from start to exit, and the last peak-RSS sample."""
    reset_dir(wine.product_dir)
    t0 = time.monotonic()
    u = Updater(wine, ["-test_update", url])
    peak = 0
    while u.proc.poll() is None:
        v = peak_rss_kib(u.proc.pid)
        if v:
            peak = max(peak, v)
        time.sleep(0.02)
    elapsed = time.monotonic() - t0
    if u.proc.returncode != 0:
        raise RuntimeError(f"updater exited with {u.proc.returncode}")
    return elapsed, peak


def run_reference(wine, url, out):
    t0 = time.monotonic()
    r = wine.run(BIN / "winhttp_ref.exe", [url, wine.win_path(out)], timeout=600)
    if r.returncode != 0:
        raise RuntimeError(f"reference client failed: {r.returncode}")
    return time.monotonic() - t0


def run_curl(url, out):
    t0 = time.monotonic()
    subprocess.run(["curl", "-s", "-o", str(out), url], check=True)
    return time.monotonic() - t0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--size-mib", type=int, default=256)
    ap.add_argument("--small-mib", type=int, default=16)
    ap.add_argument("--runs", type=int, default=3)
    args = ap.parse_args()

    with bench_environment() as (wine, svc, _):
        measure(wine, svc, args)


def measure(wine, svc, args):
    demo = DEMO_SETUP.read_bytes()
    # A real installer (it leaves a marker and exits) padded to size.
    for mib in {args.size_mib, args.small_mib}:
        svc.add_file(f"setup{mib}.exe", demo + b"\0" * ((mib << 20) - len(demo)))
    big = f"{svc.base_url}/files/setup{args.size_mib}.exe"
    small = f"{svc.base_url}/files/setup{args.small_mib}.exe"
    run_updater(wine, small)  # warm-up: Wine, page cache
    with tempfile.TemporaryDirectory(dir=wine.temp_dir) as tmp:
        out = Path(tmp) / "ref.bin"
        upd, ref, curl, peaks_big = [], [], [], []
        for _ in range(args.runs):
            t, peak = run_updater(wine, big)
            upd.append(t)
            peaks_big.append(peak)
            ref.append(run_reference(wine, big, out))
            curl.append(run_curl(big, out))
        peaks_small = [run_updater(wine, small)[1] for _ in range(args.runs)]
    u, r, c = (statistics.median(x) for x in (upd, ref, curl))
    u_net = u - HANDOVER_PAUSE_S
    ps, pb = max(peaks_small), max(peaks_big)
    print(f"installer: {args.size_mib} MiB over loopback, median of {args.runs} runs")
    print(f"  updater (start to exit)          {u:7.2f} s")
    print(f"  updater less the 1 s hand-over   {u_net:7.2f} s")
    print(f"  WinHTTP reference client         {r:7.2f} s")
    print(f"  native curl                      {c:7.2f} s")
    print(f"  ratio updater/reference          {u / r:7.2f}  (less the pause: {u_net / r:.2f}; target <= 1.10)")
    print(f"  ratio updater/curl               {u / c:7.2f}")
    print(f"  ratio reference/curl             {r / c:7.2f}")
    print("peak resident memory of the updater process (Wine included)")
    print(f"  {args.small_mib:4d} MiB installer   {ps / 1024:8.1f} MiB")
    print(f"  {args.size_mib:4d} MiB installer   {pb / 1024:8.1f} MiB")
    print(f"  growth                 {(pb - ps) / 1024:8.1f} MiB  (target < 8)")


if __name__ == "__main__":
    main()
