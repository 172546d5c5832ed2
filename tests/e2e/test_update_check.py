"""The update check end to end: the real exe under Wine against the local
update service, observed from outside. Failed and unreadable fetches are
rows of the fault matrix."""
import time

from conftest import manifest
from harness import DEMO_SETUP, LAYOUT, control, logged, visible_controls, wait_for


def test_no_update_without_prompt_closes_without_ever_mapping_a_window(run, service, workdir):
    u = run()
    assert u.wait_exit(20, watch_mapping=True) == 0
    assert not u.ever_mapped
    assert service.requests() == ["/Client/refresh"]
    # The fetched manifest is kept in the manifest folder.
    assert (workdir / "xml_new" / "version.xml").read_bytes().startswith(b"<update><version>1.1.1.2<")


def test_no_update_with_prompt_shows_the_window(run, service, workdir):
    u = run("-prompt")
    # The window shows before its buttons do: wait for the state, not the window.
    w = u.wait_window(lambda w: "ok" in visible_controls(w))
    assert visible_controls(w) == {"ok", "close"}
    assert control(w, "ok")["rect"] == LAYOUT["ok_no_update"]
    assert u.running()


def test_newer_version_asks(run, service, wine, workdir):
    service.set_manifest(manifest("1.1.1.10"))
    u = run()
    w = u.wait_window(lambda w: "cancel" in visible_controls(w))
    assert visible_controls(w) == {"ok", "cancel", "close"}
    assert logged(wine, "decision", action="offer", version="1.1.1.10", force="0")
    assert logged(wine, "show", state="STATE_NEW_VERSION")


def test_stale_manifest_is_not_read_when_the_new_one_cannot_be_saved(run, service, workdir):
    # An old manifest offering a forced download sits where the new one
    # should go, but the manifest file's place is taken by a folder.
    service.set_manifest(manifest("9.9.9.9", force="1"))
    (workdir / "xml_new" / "version.xml").mkdir(parents=True)
    u = run("-prompt")
    time.sleep(2)
    w = u.wait_window(lambda w: True)
    assert not w["visible"] or visible_controls(w) == {"close"}  # idle: unchanged
    assert "/files/setup.exe" not in service.requests()


def test_second_copy_ends_at_once(run, service, wine, workdir):
    first = run("-prompt")
    first.wait_window()
    t0 = time.monotonic()
    second = run("-prompt")
    assert second.wait_exit(10) == 0
    assert time.monotonic() - t0 < 5
    assert first.running()
    assert len(first.wine.inspect()) == 1
    assert logged(wine, "exit", reason="already-running")


def test_test_update_with_local_installer_starts_it(run, service, wine, workdir):
    installer = wine.temp_dir / "local-setup.exe"
    marker = installer.with_name("local-setup.exe.ran")
    marker.unlink(missing_ok=True)
    installer.write_bytes(DEMO_SETUP.read_bytes())
    try:
        u = run("-test_update", wine.win_path(installer))
        assert u.wait_exit(20, watch_mapping=True) == 0
        assert not u.ever_mapped
        assert wait_for(marker.exists, 5)
        assert service.requests() == []  # no manifest fetched
    finally:
        installer.unlink(missing_ok=True)
        marker.unlink(missing_ok=True)


def test_test_update_counts_any_manifest_as_newer(run, service, workdir):
    # A target that is neither a URL nor an existing path is ignored, so the
    # manifest is fetched; the switch makes even an older version "newer".
    service.set_manifest(manifest("0.1"))
    u = run("-test_update", "C:\\no\\such\\setup.exe")
    # The window shows before its buttons do: wait for the state, not the window.
    w = u.wait_window(lambda w: "cancel" in visible_controls(w))
    assert visible_controls(w) == {"ok", "cancel", "close"}


def test_target_without_test_switch_is_replaced_by_the_manifest_url(run, service, workdir):
    service.set_manifest(manifest("1.1.1.3"))
    u = run("http://127.0.0.1:1/other.exe")
    u.wait_window()
    assert service.requests() == ["/Client/refresh"]
