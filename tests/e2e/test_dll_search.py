"""A DLL planted beside the updater under a system DLL's name is not loaded.
Wine prefers its own built-in DLLs to one found beside a program; the test
asks it to prefer the found one, as Windows does for any DLL that is not a
KnownDLL."""
import shutil

from harness import BUILD, EXE
from test_fault_matrix import check_outcome

PLANTED = BUILD / "win" / "planted" / "msimg32.dll"


def test_dll_planted_beside_the_updater_is_not_loaded(run, service, wine, workdir, tmp_path):
    folder = tmp_path / "downloads"
    shutil.copytree(EXE.parent / "skin", folder / "skin")
    shutil.copy(EXE, folder)
    shutil.copy(PLANTED, folder)
    overrides = wine.env["WINEDLLOVERRIDES"]
    wine.env["WINEDLLOVERRIDES"] = overrides + ";msimg32=n,b"
    try:
        # The no-update screen is drawn with AlphaBlend from msimg32.dll.
        check_outcome(run("-prompt", exe=folder / EXE.name), wine, workdir, "no_update", ["xml_new/version.xml"])
    finally:
        wine.env["WINEDLLOVERRIDES"] = overrides
    # "<path>.ran", in the case the importer spelled the name.
    assert not [p.name for p in folder.iterdir() if p.name.lower().endswith(".ran")]
