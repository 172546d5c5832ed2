#!/usr/bin/python3
"""Start-up benchmark under one warm Wine (persistent wineserver):
  silent  a silent "no update" run of the updater, process start to exit,
          against the floor program (bench/silent_floor.cpp: a hidden
          dialog, one WinHTTP GET of the manifest, TinyXML, exit), both on
          loopback and with 150 ms of added latency before the service
          reads each request and again before it answers (a distant server);
  window  process start to the window mapped in the new-version state,
          against a bare Win32 dialog program; also the same exe copied
          without its skin folder, which splits the skin's share from the rest.
Prints medians and ratios; asserts nothing.
Usage: bench/startup_bench.py [--runs 15] [--latency-ms 150] [--exe PATH]
(run tools/build.sh first; --exe measures another build of the updater, with
its skin folder beside it, against the same peers)."""
import argparse
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
sys.path.insert(0, str(ROOT / "tools"))

from benchenv import bench_environment  # noqa: E402
from harness import BIN, EXE, reset_dir  # noqa: E402

NO_UPDATE = "<update><version>1.1.1.2</version><url>{base}/files/setup.exe</url><force>0</force></update>"
NEW_VERSION = "<update><version>1.1.1.3</version><url>{base}/files/setup.exe</url><force>0</force></update>"


def time_to_exit(wine, exe, args=()):
    t0 = time.monotonic()
    proc = wine.popen(exe, args)
    # A blocking wait: with a time-out, Popen.wait polls every 50 ms, and
    # every run would land on a 50 ms step.
    watchdog = threading.Timer(60, proc.kill)
    watchdog.start()
    proc.wait()
    watchdog.cancel()
    return time.monotonic() - t0


def mapped(wine, name):
    r = subprocess.run(["xdotool", "search", "--onlyvisible", "--class", name], env=wine.env,
                       capture_output=True)
    return bool(r.stdout.strip())


def time_to_map(wine, exe, name, args=()):
    t0 = time.monotonic()
    proc = wine.popen(exe, args)
    try:
        while not mapped(wine, name):
            if time.monotonic() - t0 > 30:
                raise RuntimeError(f"{exe.name} never mapped a window")
            time.sleep(0.002)
        return time.monotonic() - t0
    finally:
        proc.kill()
        proc.wait()


def silent_runs(wine, exe, runs):
    floor, silent = [], []
    for _ in range(runs):
        floor.append(time_to_exit(wine, BIN / "silent_floor.exe"))
        silent.append(time_to_exit(wine, exe))
    return statistics.median(floor) * 1000, statistics.median(silent) * 1000


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--runs", type=int, default=15)
    ap.add_argument("--latency-ms", type=int, default=150)
    ap.add_argument("--exe", type=Path, default=EXE)
    args = ap.parse_args()
    exe = args.exe.resolve()
    with bench_environment() as (wine, svc, _):
        svc.set_manifest(NO_UPDATE)
        for _ in range(3):  # warm Wine and the page cache
            time_to_exit(wine, BIN / "silent_floor.exe")
            time_to_exit(wine, exe)
        f0, s0 = silent_runs(wine, exe, args.runs)
        svc.latency = args.latency_ms / 1000.0
        f1, s1 = silent_runs(wine, exe, args.runs)
        svc.latency = 0
        svc.set_manifest(NEW_VERSION)
        bare, window, prompted, unskinned = [], [], [], []
        with tempfile.TemporaryDirectory() as tmp:
            plain = Path(tmp) / exe.name
            shutil.copy(exe, plain)
            for _ in range(args.runs):
                bare.append(time_to_map(wine, BIN / "bare_dialog.exe", "bare_dialog"))
                reset_dir(wine.product_dir)
                window.append(time_to_map(wine, exe, "LumoraZUDeZazeda"))
                reset_dir(wine.product_dir)
                prompted.append(time_to_map(wine, exe, "LumoraZUDeZazeda", ["-prompt"]))
                reset_dir(wine.product_dir)
                unskinned.append(time_to_map(wine, plain, "LumoraZUDeZazeda"))
        b, w, p, n = (statistics.median(x) * 1000 for x in (bare, window, prompted, unskinned))
        print(f"median of {args.runs} runs under a warm Wine")
        print(f"silent no-update run, start to exit        loopback  {args.latency_ms} ms latency")
        print(f"   updater                                 {s0:7.1f} ms  {s1:7.1f} ms")
        print(f"   floor program                           {f0:7.1f} ms  {f1:7.1f} ms")
        print(f"   ratio (target <= 1.15)                  {s0 / f0:7.2f}     {s1 / f1:7.2f}")
        print(f"new-version window, start to mapped        {w:7.1f} ms")
        print(f"   the same with -prompt                   {p:7.1f} ms  (ratio {p / b:.2f})")
        print(f"   the same without a skin folder          {n:7.1f} ms")
        print(f"   bare dialog, start to mapped            {b:7.1f} ms")
        print(f"   ratio (target <= 1.4)                   {w / b:7.2f}")


if __name__ == "__main__":
    main()
