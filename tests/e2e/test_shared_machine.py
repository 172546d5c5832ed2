"""On a shared machine: folders of ours that others could change."""
import shutil

from conftest import manifest
from test_fault_matrix import DONE, check_outcome


def test_a_product_folder_open_to_others_is_moved_aside_and_made_anew(run, service, wine, workdir):
    # Left open by an earlier version under a shared temporary folder, with a
    # DLL planted for the installer (Wine maps "Everyone may write" to the
    # Unix mode, which is as much as it can show).
    workdir.mkdir(parents=True)
    (workdir / "version.dll").write_bytes(b"planted")
    wine.product_dir.chmod(0o777)
    service.set_manifest(manifest("1.1.1.3", force="1"))
    try:
        check_outcome(run(), wine, workdir, "completed", DONE)
        assert not (workdir / "version.dll").exists()
        aside = sorted(wine.temp_dir.glob("LumoraTV.old-*"))
        assert len(aside) == 1 and (aside[0] / "temp" / "version.dll").read_bytes() == b"planted"
        assert wine.product_dir.stat().st_mode & 0o022 == 0  # nobody else may write
    finally:
        for old in wine.temp_dir.glob("LumoraTV.old-*"):
            shutil.rmtree(old, ignore_errors=True)
