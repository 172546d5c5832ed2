"""Download and hand-over end to end: the installer is fetched, verified,
renamed into place and started; faults end in the failure state with
nothing half-written left behind and nothing started. Network and integrity
faults of a single download are rows of the fault matrix."""
import hashlib
import re
import subprocess
import time

import pytest

from conftest import manifest
from harness import BIN, DEMO_SETUP, click_control, control, visible_controls, wait_for

FAILED = {"download_page", "feedback", "close"}


def installer_files(workdir):
    """Everything in the work folder but the manifest folder."""
    return sorted(p.name for p in workdir.iterdir() if p.name != "xml_new") if workdir.exists() else []


def assert_failed_and_nothing_written(u, workdir, expected_files=()):
    w = u.wait_window(lambda w: visible_controls(w) == FAILED, timeout=45)
    assert u.running()
    assert control(w, "progress")["visible"] is False
    assert installer_files(workdir) == sorted(expected_files)


def test_forced_update_downloads_starts_the_installer_and_exits(run, service, workdir):
    service.set_manifest(manifest(force="1"))
    u = run()
    assert u.wait_exit(30) == 0
    assert (workdir / "setup.exe").read_bytes() == DEMO_SETUP.read_bytes()
    assert wait_for((workdir / "setup.exe.ran").exists, 5)
    assert installer_files(workdir) == ["setup.exe", "setup.exe.ran"]


def test_ok_in_new_version_state_downloads(run, service, wine, workdir):
    service.set_manifest(manifest(url="{base}/fault/throttle=400K/files/setup.exe"))
    u = run()
    w = u.wait_window(lambda w: "ok" in visible_controls(w))
    click_control(wine, w, "ok")
    w = u.wait_window(lambda w: {"progress", "status"} <= visible_controls(w))
    assert not {"ok", "cancel"} & visible_controls(w)
    assert u.wait_exit(30) == 0
    assert wait_for((workdir / "setup.exe.ran").exists, 5)


def test_url_target_with_test_switch_downloads(run, service, workdir):
    u = run("-test_update", service.base_url + "/files/setup.exe")
    assert u.wait_exit(30) == 0
    assert wait_for((workdir / "setup.exe.ran").exists, 5)
    assert service.requests() == ["/files/setup.exe"]


def status_percentages(u, timeout=20):
    """The percentages the status line shows, sampled until the updater exits."""
    seen = []
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline and u.running():
        w = u.window()
        # A window being torn down may already have lost its children.
        status = control(w, "status") if w else None
        if status and status["visible"]:
            text = status["text"]
            m = re.fullmatch(r"正在下载1\.1\.1\.3版本，请稍后\.\.\.\.\((\d+)%\)( *)", text)
            assert m, text
            assert len(m.group(0)) - len("正在下载1.1.1.3版本，请稍后....") == 100
            seen.append(int(m.group(1)))
        time.sleep(0.3)
    return seen


def test_progress_advances_in_the_status_line(run, service, workdir):
    service.add_file("big.exe", DEMO_SETUP.read_bytes() + b"\0" * (3 << 20))
    service.set_manifest(manifest(version="1.1.1.3", force="1", url="{base}/fault/throttle=1M/files/big.exe"))
    u = run()
    seen = status_percentages(u)
    assert seen == sorted(seen)
    assert len(set(seen)) >= 3, seen
    assert u.wait_exit(30) == 0
    assert wait_for((workdir / "big.exe.ran").exists, 5)


# Resumed where it broke off, or, from a server that ignores ranges, started
# over: then the shown percentage holds until the new transfer passes it.
@pytest.mark.parametrize("faults,statuses", [("", [200, 206, 206]), (",norange", [200, 200, 200])])
def test_download_broken_twice_completes_and_progress_never_goes_back(run, service, workdir, faults, statuses):
    data = DEMO_SETUP.read_bytes() + bytes(range(256)) * (2 << 12)
    service.add_file("big.exe", data)
    verified = f"<size>{len(data)}</size><sha256>{hashlib.sha256(data).hexdigest()}</sha256>"
    service.set_manifest(manifest(version="1.1.1.3", force="1", extra=verified,
                                  url="{base}/fault/throttle=1M,reset=700K,first=2" + faults + "/files/big.exe"))
    u = run()
    seen = status_percentages(u)
    assert seen == sorted(seen)
    assert u.wait_exit(30) == 0
    assert [e["status"] for e in service.request_log() if "big.exe" in e["path"]] == statuses
    assert (workdir / "big.exe").read_bytes() == data
    assert wait_for((workdir / "big.exe.ran").exists, 5)
    assert installer_files(workdir) == ["big.exe", "big.exe.ran"]  # no partial file left


def test_stalled_download_resumes_after_the_idle_time_out(run, service, workdir):
    service.set_manifest(manifest(force="1", url="{base}/fault/stall_body=20000,first=1/files/setup.exe"))
    u = run()
    t0 = time.monotonic()
    assert u.wait_exit(50) == 0
    assert 30 < time.monotonic() - t0 < 45
    assert (workdir / "setup.exe").read_bytes() == DEMO_SETUP.read_bytes()
    # Resumed from what the last whole read brought: a read that times out
    # hands over nothing of what it had taken.
    ranges = [e["range"] for e in service.request_log()][1:]
    assert ranges[0] is None and len(ranges) == 2
    assert ranges[1].startswith("bytes=") and 0 < int(ranges[1][6:-1]) <= 20000
    # The installer runs on after the updater; let it finish before the next test's folder exists.
    assert wait_for((workdir / "setup.exe.ran").exists, 5)


def test_read_only_work_folder_fails_and_starts_nothing(run, service, workdir):
    workdir.mkdir(parents=True)
    (workdir / "xml_new").mkdir()
    # Immutable: even root (as in CI) cannot create files in it.
    subprocess.run(["chattr", "+i", str(workdir)], check=True)
    try:
        service.set_manifest(manifest(force="1"))
        u = run()
        assert_failed_and_nothing_written(u, workdir)
    finally:
        subprocess.run(["chattr", "-i", str(workdir)], check=True)


def test_locked_target_file_fails_and_starts_nothing(run, service, wine, workdir):
    workdir.mkdir(parents=True)
    target = workdir / "setup.exe"
    target.write_bytes(b"in use")
    locker = wine.popen(BIN / "locker.exe", [wine.win_path(target)])
    try:
        time.sleep(1.0)
        service.set_manifest(manifest(force="1"))
        u = run()
        assert_failed_and_nothing_written(u, workdir, ["setup.exe"])
        assert target.read_bytes() == b"in use"
        assert not (workdir / "setup.exe.ran").exists()
    finally:
        locker.kill()
        locker.wait()


def test_closing_during_download_exits_at_once_and_keeps_the_partial_download(run, service, wine, workdir):
    service.add_file("big.exe", b"\1" * (4 << 20))
    service.set_manifest(manifest(force="1", url="{base}/fault/throttle=200K/files/big.exe"))
    u = run()
    w = u.wait_window(lambda w: control(w, "status")["visible"] and "%" in control(w, "status")["text"])
    time.sleep(0.5)
    t0 = time.monotonic()
    click_control(wine, w, "close")
    assert u.wait_exit(5) == 0
    assert time.monotonic() - t0 < 1.5  # includes the click's own start-up
    assert installer_files(workdir) == ["download.partial", "download.record"]


def big_installer(size, step):
    """The demo installer padded to size with a pattern that step varies."""
    pad = bytes((i * step) & 0xFF for i in range(256))
    return (DEMO_SETUP.read_bytes() + pad * (size // 256))[:size]


def kept_record(workdir):
    """The record beside the partial file, as a dict of its lines."""
    lines = (workdir / "download.record").read_text().splitlines()[1:]
    return dict(line.split(" ", 1) for line in lines)


# A download stopped at about half (the process killed, or the window
# closed) continues in the next run with one request for the rest; a
# partial file longer than its record is cut to the count first. A file
# changed on the server (a new ETag) is fetched whole again.
@pytest.mark.parametrize("stop,between", [("kill", None), ("close", None), ("kill", "longer"), ("kill", "changed")])
def test_download_stopped_at_half_continues_in_the_next_run(run, service, wine, workdir, stop, between):
    size = 8 << 20
    data = big_installer(size, 1)
    service.add_file("big.exe", data)
    # The changed file can only be fetched where the manifest names no digest.
    verified = "" if between == "changed" else f"<size>{size}</size><sha256>{hashlib.sha256(data).hexdigest()}</sha256>"
    service.set_manifest(manifest(force="1", extra=verified, url="{base}/fault/throttle=2M/files/big.exe"))
    partial = workdir / "download.partial"
    u = run()
    w = u.wait_window(lambda w: "progress" in visible_controls(w))
    assert wait_for(lambda: (workdir / "download.record").exists() and partial.stat().st_size >= size // 2, 20)
    if stop == "kill":
        u.kill()
    else:
        click_control(wine, w, "close")
        assert u.wait_exit(5) == 0
    held = int(kept_record(workdir)["held"])
    assert 0 < held <= partial.stat().st_size < size
    if stop == "close":
        assert held == partial.stat().st_size  # everything on the disk is counted
    if between == "longer":
        with partial.open("ab") as f:
            f.write(b"\xff" * 1000)
    if between == "changed":
        data = big_installer(size, 3)
        service.add_file("big.exe", data)
    service.clear_requests()

    u = run()
    seen = status_percentages(u)
    assert u.wait_exit(30) == 0
    log = [e for e in service.request_log() if "big.exe" in e["path"]]
    assert [(e["range"], e["status"]) for e in log] == [(f"bytes={held}-", 200 if between == "changed" else 206)]
    assert log[0]["sent"] == (size if between == "changed" else size - held)
    if between != "changed":
        assert seen and seen[0] >= held * 100 // size  # progress starts at the held fraction
    assert (workdir / "big.exe").read_bytes() == data
    assert wait_for((workdir / "big.exe.ran").exists, 5)
    assert installer_files(workdir) == ["big.exe", "big.exe.ran"]
