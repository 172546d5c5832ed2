"""Fault matrix: every fault of the network, the manifest, the disk and the
process ends in a defined state within its time-out, without a crash, with
no partial installer under its final name, and with the installer started
only where the update completed.

Each row: (name, setup, expected outcome, files expected in the work folder
afterwards). Outcomes: "closed" (silently, never mapped), "failed", "idle",
"no_update", "new_version", "completed" (installer saved, started, updater
exited)."""
import hashlib
import os
import time

import pytest

from conftest import manifest
from harness import DEMO_SETUP, LAYOUT, click_control, control, log_lines, logged, visible_controls, wait_for

CONTROLS = {
    "failed": {"download_page", "feedback", "close"},
    "idle": {"close"},
    "no_update": {"ok", "close"},
    "new_version": {"ok", "cancel", "close"},
}
STALL_S = 45  # the transfer gives up after 30 s without a byte
DEADLINE_S = 75  # a manifest fetch gives up after 60 s in all
SETUP = DEMO_SETUP.read_bytes()
OLDER = b"an older installer"
KEPT = ["setup.exe", "xml_new/version.xml"]  # the older installer, untouched
DONE = ["setup.exe", "setup.exe.ran", "xml_new/version.xml"]


def forced(url, extra=""):
    return manifest("1.1.1.3", url=url, force="1", extra=extra)


def deep(n):
    return "<a>" * n


# Manifest rows run with -prompt so that every outcome is visible, unless
# the row says otherwise.
MANIFEST_ROWS = [
    ("refused", {"stop_service": True}, "failed", []),
    ("status 404", {"refresh_fault": "status=404"}, "failed", []),
    ("status 404 without -prompt", {"refresh_fault": "status=404", "prompt": False}, "closed", []),
    ("reset without -prompt", {"refresh_fault": "reset=10", "prompt": False}, "closed", []),
    ("closed without answer", {"refresh_fault": "close"}, "failed", []),
    ("status 500", {"refresh_fault": "status=500"}, "failed", []),
    ("stall before headers", {"refresh_fault": "stall_headers", "slow": True}, "failed", []),
    ("stall mid-body", {"refresh_fault": "stall_body=20", "slow": True}, "failed", []),
    ("reset mid-body", {"refresh_fault": "reset=20"}, "failed", []),
    ("short body", {"refresh_fault": "short=20"}, "failed", []),
    ("redirect to a good manifest", {"refresh_fault": "redirect=3", "manifest": manifest("1.1.1.3")},
     "new_version", ["xml_new/version.xml"]),
    ("redirect loop", {"refresh_fault": "redirect_loop"}, "failed", []),
    ("empty body", {"manifest": ""}, "idle", ["xml_new/version.xml"]),
    ("not XML", {"manifest": "version=1.1.1.3"}, "idle", ["xml_new/version.xml"]),
    ("XML without the elements", {"manifest": "<update><v>9</v></update>"}, "no_update", ["xml_new/version.xml"]),
    ("60 KB of nesting", {"manifest": deep(20000)}, "idle", ["xml_new/version.xml"]),
    ("64 KiB and a byte", {"manifest": "<u>" + " " * (64 * 1024 - 6) + "</u>"}, "idle", []),
    ("50 MiB body", {"manifest": "<u>" + " " * (50 << 20) + "</u>"}, "idle", []),
    ("url longer than its buffer", {"manifest": manifest(url="http://h/" + "a" * 2000)}, "idle", ["xml_new/version.xml"]),
    ("version longer than its buffer", {"manifest": manifest("1." * 200)}, "idle", ["xml_new/version.xml"]),
    ("version with letters", {"manifest": manifest("1.1.1.a")}, "new_version", ["xml_new/version.xml"]),
    ("byte order mark", {"manifest": "\ufeff" + manifest("1.1.1.3")}, "new_version", ["xml_new/version.xml"]),
    ("GBK declared", {"manifest": ('<?xml version="1.0" encoding="GBK"?>'
                                   + manifest("1.1.1.3")).encode("gbk")}, "new_version", ["xml_new/version.xml"]),
    ("UTF-8 declared", {"manifest": '<?xml version="1.0" encoding="UTF-8"?>' + manifest("1.1.1.2")},
     "no_update", ["xml_new/version.xml"]),
    # 56 KB: a broken UTF-8 lead byte hides each end tag from a naive count.
    ("UTF-8 lead bytes hiding end tags", {"manifest": b'<?xml version="1.0" encoding="UTF-8"?>'
                                          + b"<a>\xF0</a>" * 7000}, "idle", ["xml_new/version.xml"]),
    ("trickling forever", {"refresh_fault": "trickle=1000", "slow": DEADLINE_S}, "failed", []),
]

# Download rows: a forced update, so the download starts at once, with an
# older installer of the same name already in the work folder. Broken
# transfers are tried four times, each resumed one getting 20000 bytes. A
# stall mid-body is test_download.py's resume after the idle time-out.
DOWNLOAD_ROWS = [
    ("reset mid-body", forced("{base}/fault/reset=20000/files/setup.exe"), "failed", KEPT),
    ("short body", forced("{base}/fault/short=20000/files/setup.exe"), "failed", KEPT),
    ("reset once", forced("{base}/fault/reset=20000,first=1/files/setup.exe"), "completed", DONE),
    ("stall before headers once", forced("{base}/fault/stall_headers,first=1/files/setup.exe"), "completed", DONE),
    ("status 503 with Retry-After once", forced("{base}/fault/status=503,retry_after=1,first=1/files/setup.exe"),
     "completed", DONE),
    ("status 404", forced("{base}/files/missing.exe"), "failed", KEPT),
    ("status 500", forced("{base}/fault/status=500/files/setup.exe"), "failed", KEPT),
    ("closed without answer", forced("{base}/fault/close/files/setup.exe"), "failed", KEPT),
    ("redirect loop", forced("{base}/fault/redirect_loop/files/setup.exe"), "failed", KEPT),
    ("redirect", forced("{base}/fault/redirect=2/files/setup.exe"), "completed", DONE),
    ("size one short", forced("{base}/files/setup.exe", f"<size>{len(SETUP) - 1}</size>"), "failed", KEPT),
    ("size one over", forced("{base}/files/setup.exe", f"<size>{len(SETUP) + 1}</size>"), "failed", KEPT),
    ("malformed size", forced("{base}/files/setup.exe", "<size>12x</size>"), "failed", KEPT),
    ("wrong sha256", forced("{base}/files/setup.exe", "<sha256>" + "ab" * 32 + "</sha256>"), "failed", KEPT),
    ("right size and sha256", forced("{base}/files/setup.exe", f"<size> {len(SETUP)} </size><sha256>"
                                     + hashlib.sha256(SETUP).hexdigest().upper() + "</sha256>"), "completed", DONE),
    ("query string in the URL", forced("{base}/files/setup.exe?v=2#x"), "completed", DONE),
    ("URL ending in /", forced("{base}/files/"), "failed", KEPT),
    # The shell would hand it to a script host.
    ("script named by the URL", forced("{base}/files/setup.js"), "failed", KEPT),
    ("unreachable host", forced("http://127.0.0.1:1/setup.exe"), "failed", KEPT),
    # The URL fits its 1024 bytes; the name is longer than any installer's.
    ("installer name too long", forced("{base}/files/" + "n" * 986 + ".exe"), "failed", KEPT),
]
# For some rows, the line of update.log that tells support what happened.
LOGGED = {
    "refused": ("manifest", {"result": "failed", "error_name": "ERROR_WINHTTP_CANNOT_CONNECT"}),
    "status 404": ("manifest", {"result": "status", "status": "404"}),
    "stall before headers": ("manifest", {"result": "failed", "status": "0"}),
    "trickling forever": ("manifest", {"result": "cancelled"}),
    "XML without the elements": ("decision", {"action": "no-update", "version": '""'}),
    "reset once": ("attempt", {"n": "1", "from": "0", "result": "retry"}),
    "status 503 with Retry-After once": ("attempt", {"n": "1", "status": "503", "result": "retry",
                                                     "pause_ms": "1000"}),
    "status 404 download": ("attempt", {"n": "1", "status": "404", "result": "final", "reason": "status"}),
    "wrong sha256": ("verify", {"stage": "download", "size": "unchecked", "sha256": "mismatch"}),
    "script named by the URL": ("download", {"result": "failed", "reason": "bad-file-name"}),
    "unreachable host": ("attempt", {"n": "4", "result": "final", "error_name": "ERROR_WINHTTP_CANNOT_CONNECT"}),
}


def check_logged(wine, key):
    if key in LOGGED:
        event, fields = LOGGED[key]
        assert logged(wine, event, **fields), "\n".join(log_lines(wine))


# Refused before any request.
NOT_FETCHED = {"malformed size", "URL ending in /", "script named by the URL", "installer name too long"}


def work_files(workdir):
    """Files (not folders) in the work folder, as relative paths."""
    if not workdir.exists():
        return []
    return sorted(p.relative_to(workdir).as_posix() for p in workdir.rglob("*") if p.is_file())


def check_outcome(u, wine, workdir, outcome, files, slow=False):
    """slow: a stall, which only an idle time-out (True) or the manifest
    deadline (its seconds) ends."""
    timeout = STALL_S if slow is True else (slow or 20)
    if outcome == "closed":
        assert u.wait_exit(timeout, watch_mapping=True) == 0
        assert not u.ever_mapped
    elif outcome == "completed":
        assert u.wait_exit(timeout) == 0
        assert wait_for((workdir / "setup.exe.ran").exists, 5)
        assert (workdir / "setup.exe").read_bytes() == SETUP
    else:
        want = CONTROLS[outcome]
        u.wait_window(lambda w: w["visible"] and visible_controls(w) == want, timeout=timeout)
        if slow:
            assert time.monotonic() - u.started > 25, "ended before the idle time-out"
        time.sleep(0.5)  # settled: nothing else happens
        w = u.window()
        assert visible_controls(w) == want
        if "ok" in want:
            assert control(w, "ok")["rect"] == LAYOUT["ok" if outcome == "new_version" else "ok_no_update"]
        assert not (workdir / "setup.exe.ran").exists()
        # Closing it ends the process normally.
        click_control(wine, w, "close")
        assert u.wait_exit(5) == 0
    assert u.stderr_text().find("Unhandled exception") < 0
    assert work_files(workdir) == sorted(files)


@pytest.mark.parametrize("name,setup,outcome,files", MANIFEST_ROWS, ids=[r[0] for r in MANIFEST_ROWS])
def test_manifest_fault(run, service, service_session, wine, workdir, name, setup, outcome, files):
    if "manifest" in setup:
        service.set_manifest(setup["manifest"])
    if "refresh_fault" in setup:
        service.set_refresh_fault(setup["refresh_fault"])
    if setup.get("stop_service"):
        service_session.stop()
    try:
        u = run("-prompt") if setup.get("prompt", True) else run()
        check_outcome(u, wine, workdir, outcome, files, slow=setup.get("slow", False))
        check_logged(wine, name)
        if outcome == "failed" and "redirect" not in setup.get("refresh_fault", "redirect"):
            assert service.requests().count("/Client/refresh") == 1  # never retried
    finally:
        if setup.get("stop_service"):
            service_session.start()


@pytest.mark.parametrize("name,text,outcome,files", DOWNLOAD_ROWS, ids=[r[0] for r in DOWNLOAD_ROWS])
def test_download_fault(run, service, wine, workdir, name, text, outcome, files):
    workdir.mkdir(parents=True)
    (workdir / "setup.exe").write_bytes(OLDER)
    service.set_manifest(text)
    check_outcome(run(), wine, workdir, outcome, files, slow=name.startswith("stall"))
    check_logged(wine, name + " download" if name == "status 404" else name)
    if outcome == "failed":
        assert (workdir / "setup.exe").read_bytes() == OLDER
    if name in NOT_FETCHED:
        assert not [r for r in service.requests() if r != "/Client/refresh"]


def test_work_folder_replaced_by_a_file(run, service, wine, workdir):
    workdir.parent.mkdir(parents=True)
    workdir.write_bytes(b"not a folder")
    service.set_manifest(manifest("1.1.1.3", force="1"))
    u = run("-prompt")
    # The manifest cannot be stored, so it is not trusted: nothing happens.
    u.wait_window(lambda w: w["visible"] and visible_controls(w) == {"close"})
    time.sleep(1)
    assert visible_controls(u.window()) == {"close"}
    assert workdir.read_bytes() == b"not a folder"
    assert "/files/setup.exe" not in service.requests()


@pytest.mark.parametrize("how", ["link", "someone else's"])
def test_work_folder_that_is_not_ours_is_refused(run, service, wine, workdir, tmp_path, how):
    elsewhere = tmp_path / "elsewhere"
    elsewhere.mkdir()
    workdir.parent.mkdir(parents=True)
    if how == "link":
        workdir.symlink_to(elsewhere)  # Wine shows it as a junction (a reparse point)
    else:
        if os.geteuid() != 0:
            pytest.skip("needs root to give the folder away")
        workdir.mkdir()
        os.chown(workdir, 65534, 65534)
    service.set_manifest(manifest("1.1.1.3", force="1"))
    u = run("-prompt")
    u.wait_window(lambda w: w["visible"] and visible_controls(w) == CONTROLS["failed"])
    assert list(elsewhere.iterdir()) == []
    assert how == "link" or list(workdir.iterdir()) == []
    assert service.requests() == []


def test_partial_download_left_behind_is_cleaned_up(run, service, wine, workdir):
    (workdir / "xml_new").mkdir(parents=True)
    (workdir / "~vantor-123-1.part").write_bytes(b"half an installer")
    (workdir / "xml_new" / "~vantor-123-2.part").write_bytes(b"half a manifest")
    service.set_manifest(manifest("1.1.1.3", force="1"))
    u = run()
    check_outcome(u, wine, workdir, "completed", ["setup.exe", "setup.exe.ran", "xml_new/version.xml"])


def test_second_copy_during_a_download(run, service, wine, workdir):
    service.add_file("big.exe", SETUP + b"\0" * (2 << 20))
    service.set_manifest(manifest("1.1.1.3", force="1", url="{base}/fault/throttle=1M/files/big.exe"))
    first = run()
    first.wait_window(lambda w: "progress" in visible_controls(w))
    second = run("-prompt")
    assert second.wait_exit(10) == 0
    assert first.wait_exit(30) == 0
    assert wait_for((workdir / "big.exe.ran").exists, 5)


def test_server_killed_during_a_download(run, service, service_session, wine, workdir):
    service.add_file("big.exe", SETUP + b"\0" * (8 << 20))
    service.set_manifest(manifest("1.1.1.3", force="1", url="{base}/fault/throttle=500K/files/big.exe"))
    u = run()
    u.wait_window(lambda w: "progress" in visible_controls(w))
    service_session.stop()
    try:
        check_outcome(u, wine, workdir, "failed", ["xml_new/version.xml"])
    finally:
        service_session.start()
