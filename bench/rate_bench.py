#!/usr/bin/python3
"""Download rate on links of fixed speed: the update service sends the
installer at 0.25, 1, 4 and 16 MiB/s (its throttle) and unthrottled, and in
the same run, at each rate,
  - the updater under Wine ("-test_update URL", its window showing),
  - the WinHTTP reference client (1 MiB blocking reads, no window)
fetch it. For each: the received rate (bytes / time from the request's
arrival at the service to the last byte on disk) as a share of the server's
rate, and the CPU time per MiB received of the process and of the Wine
server, taken over the same interval. Prints a table; asserts nothing.

Usage: bench/rate_bench.py [--seconds 6] [--rates 0.25,1,4,16,0] [--tick-ms 2] [--exe PATH]
(run tools/build.sh first; rate 0 means unthrottled)."""
import argparse
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
sys.path.insert(0, str(ROOT / "tools"))

from benchenv import bench_environment, cpu_seconds, wineservers  # noqa: E402
from harness import BIN, DEMO_SETUP, EXE, reset_dir  # noqa: E402

MIB = 1 << 20
UNTHROTTLED_MIB = 64


def wineserver_cpu(prefix):
    return sum(cpu_seconds(p) or 0 for p in wineservers(prefix))


def fetch(wine, svc, proc, path, done):
    """Watches one download: from the request's arrival to done() returning
    true. Returns (seconds, process CPU s, wineserver CPU s)."""
    arrived = start = None
    prefix = wine.env["WINEPREFIX"]
    last = None
    deadline = time.monotonic() + 600
    while time.monotonic() < deadline:
        if arrived is None:
            hits = [e for e in svc.request_log() if e["path"].endswith(path)]
            if hits:
                arrived = hits[0]["time"]
                start = (cpu_seconds(proc.pid), wineserver_cpu(prefix))
        cpu = cpu_seconds(proc.pid)
        if cpu is not None:
            last = (cpu, wineserver_cpu(prefix))
        if arrived is not None and done():
            end = time.monotonic()
            last = (cpu_seconds(proc.pid) or last[0], wineserver_cpu(prefix))
            return end - arrived, last[0] - (start[0] or 0), last[1] - start[1]
        if proc.poll() is not None and not done():
            raise RuntimeError(f"{path}: exited with {proc.returncode} before the download ended")
        time.sleep(0.002)
    raise RuntimeError(f"{path}: no end in sight")


def run_updater(wine, svc, exe, url, name, size):
    reset_dir(wine.product_dir)
    svc.clear_requests()
    final = wine.work_dir / name
    proc = wine.popen(exe, ["-test_update", url])
    try:
        return fetch(wine, svc, proc, name, lambda: final.exists())
    finally:
        proc.wait(60)


def run_reference(wine, svc, url, name, size, out):
    out.unlink(missing_ok=True)
    svc.clear_requests()
    proc = wine.popen(BIN / "winhttp_ref.exe", [url, wine.win_path(out)])
    try:
        return fetch(wine, svc, proc, name, lambda: out.exists() and out.stat().st_size >= size)
    finally:
        proc.wait(60)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--seconds", type=float, default=6.0, help="length of each throttled download")
    ap.add_argument("--rates", default="0.25,1,4,16,0", help="MiB/s, 0 = unthrottled")
    ap.add_argument("--tick-ms", type=int, default=2,
                    help="the server sends every so many ms (2: smoothly, as a link does; 25: bursts)")
    ap.add_argument("--exe", type=Path, action="append",
                    help="an updater to measure (repeatable: several builds in the same run)")
    args = ap.parse_args()
    args.exe = args.exe or [EXE]
    with bench_environment() as (wine, svc, _):
        measure(wine, svc, args)


def measure(wine, svc, args):
    demo = DEMO_SETUP.read_bytes()
    rows = []
    with tempfile.TemporaryDirectory(dir=wine.temp_dir) as tmp:
        out = Path(tmp) / "ref.bin"
        for serial, rate in enumerate(float(r) for r in args.rates.split(",")):
            size = UNTHROTTLED_MIB * MIB if rate == 0 else max(MIB, int(rate * MIB * args.seconds))
            name = f"rate{serial}.exe"
            svc.add_file(name, demo + b"\0" * (size - len(demo)))
            fault = f"/fault/throttle={int(rate * MIB)},tick_ms={args.tick_ms}" if rate else ""
            url = f"{svc.base_url}{fault}/files/{name}"
            upd = [run_updater(wine, svc, exe, url, name, size) for exe in args.exe]
            ref = run_reference(wine, svc, url, name, size, out)
            rows.append((rate, size, upd, ref))
    print("received rate (MiB/s), its share of the server's rate, CPU per MiB received in ms "
          "(process + wineserver)")
    header = "".join(f" | updater {i + 1}                  " for i in range(len(args.exe)))
    print(f"server      size {header} | reference")
    for rate, size, upd, ref in rows:
        mib = size / MIB
        cells = []
        for t, cpu, srv in upd + [ref]:
            got = mib / t
            share = f"{got / rate:4.2f}" if rate else "  - "
            cells.append(f"{got:6.2f} {share} {(cpu + srv) * 1000 / mib:6.1f} ({cpu * 1000 / mib:5.1f}+{srv * 1000 / mib:5.1f})")
        label = f"{rate:5.2f} MiB/s" if rate else "unthrottled"
        print(f"{label:11s} {mib:4.0f}M | " + " | ".join(cells))
    for i, exe in enumerate(args.exe):
        print(f"updater {i + 1}: {exe}")
    print("share = received rate / server rate (targets: updater >= 0.95 at every rate, "
          "its CPU per MiB <= the reference's)")


if __name__ == "__main__":
    main()
