"""update.log: where it is, its bound, and that an updater that cannot
write it works as before. What each outcome writes is asserted beside the
outcome (fault matrix, update check)."""
import hashlib
import subprocess

from conftest import manifest
from harness import DEMO_SETUP, log_lines, logged, wait_for

SETUP = DEMO_SETUP.read_bytes()
FORCED = manifest("1.1.1.3", force="1", extra=f"<size>{len(SETUP)}</size><sha256>"
                  + hashlib.sha256(SETUP).hexdigest() + "</sha256>")


def test_a_full_log_is_renamed_and_a_new_one_begun(run, service, wine, workdir):
    wine.product_dir.mkdir(parents=True, exist_ok=True)
    log = wine.product_dir / "update.log"
    # One short line below the bound: the first line of this run passes it.
    old = b"x" * (256 * 1024 - 20) + b"\n"
    log.write_bytes(old)
    (wine.product_dir / "update.log.1").write_bytes(b"the oldest\n")
    assert run().wait_exit(20) == 0
    assert (wine.product_dir / "update.log.1").read_bytes() == old
    lines = log_lines(wine)
    assert lines[0].split(" ")[2] == "start" and lines[-1].split(" ")[2] == "exit"
    assert log.stat().st_size < 4096


def test_an_unwritable_product_folder_changes_nothing_and_holds_no_log(run, service, wine, workdir):
    assert run().wait_exit(20) == 0  # makes the folders ours
    (wine.product_dir / "update.log").unlink()
    # Immutable: even root (as in CI) cannot create files in it.
    subprocess.run(["chattr", "+i", str(wine.product_dir)], check=True)
    try:
        service.set_manifest(FORCED)
        assert run().wait_exit(20) == 0
        assert (workdir / "setup.exe").read_bytes() == SETUP
        assert wait_for((workdir / "setup.exe.ran").exists, 5)
        assert not (wine.product_dir / "update.log").exists()
    finally:
        subprocess.run(["chattr", "-i", str(wine.product_dir)], check=True)


def test_a_successful_update_tells_every_step(run, service, wine, workdir):
    service.set_manifest(FORCED)
    assert run().wait_exit(20) == 0
    events = [line.split(" ")[2] for line in log_lines(wine)]
    assert events == ["start", "manifest", "trust", "decision", "show", "download", "attempt", "verify",
                      "verify", "launch", "exit"]
    assert logged(wine, "manifest", result="done", status="200", proxy="direct")
    assert logged(wine, "attempt", n="1", **{"from": "0"}, status="200", bytes=str(len(SETUP)), result="done")
    assert logged(wine, "verify", stage="download", size="ok", sha256="ok")
    # Started from where the verified handle is: the work folder's own name.
    assert logged(wine, "launch", file="%TEMP%\\LumoraTV\\temp\\setup.exe")
