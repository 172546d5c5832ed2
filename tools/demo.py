#!/usr/bin/python3
"""The main job: the updater with "-prompt" against the demo update service
under Wine. On $DISPLAY when set (the user drives the window); otherwise on
a private virtual display, where the script presses OK itself and saves
screenshots of the offer and of the download.

The demo runs the build that trusts only the test-only publisher key, and
the service offers a manifest signed with it, as a real publisher would."""
import os
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
sys.path.insert(0, str(ROOT / "tools"))

from harness import (BUILD, DEMO_SETUP, SIGNED_EXE, UPDATE_PORT, Display, Updater, Wine, click_control,  # noqa: E402
                     wait_for)
from update_service import UpdateService  # noqa: E402


def screenshot(wine, path):
    subprocess.run(["import", "-window", "root", str(path)], env=wine.env, check=True)
    print(f"screenshot: {path}")


def main():
    display = None
    if not os.environ.get("DISPLAY"):
        display = Display().start()
    wine = Wine(os.environ.get("DISPLAY") or display.name)
    wine.start_server()
    svc = UpdateService(port=UPDATE_PORT)
    svc.start()
    svc.add_file("demo-setup.exe", DEMO_SETUP.read_bytes())
    # Slowed down so that the progress can be watched.
    svc.serve_signed_manifest(ROOT / "tests" / "keys" / "test-only-publisher-private.pem", "1.1.1.3",
                              "demo-setup.exe", url=f"{svc.base_url}/fault/throttle=64K/files/demo-setup.exe")
    marker = wine.work_dir / "demo-setup.exe.ran"
    marker.unlink(missing_ok=True)
    print(f"update service on {svc.base_url}; starting the updater with -prompt")
    try:
        u = Updater(wine, ["-prompt"], exe=SIGNED_EXE)
        if display is None:
            rc = u.proc.wait()
        else:
            u.wait_window()
            time.sleep(0.5)
            screenshot(wine, BUILD / "demo-offer.png")
            click_control(wine, u.window(), "ok")
            time.sleep(1.0)
            screenshot(wine, BUILD / "demo-download.png")
            rc = u.wait_exit(60)
        ran = wait_for(marker.exists, 5)
        print(f"updater exit code {rc}; demo installer {'started' if ran else 'not started'}")
        return 0 if rc == 0 else 1
    finally:
        svc.stop()
        wine.stop_server()
        if display:
            display.stop()


if __name__ == "__main__":
    sys.exit(main())
