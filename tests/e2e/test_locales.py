"""The same window on systems of other code pages (English, Traditional
Chinese) as on the Simplified Chinese one, and from a folder whose name the
system's code page cannot hold."""
import re
import shutil

import pytest

from conftest import manifest
from harness import EXE, LOCALES, control
from test_skin_screens import STATE, at, colour, grab, make_skin, save_screen, settled


@pytest.mark.parametrize("locale", LOCALES)
def test_status_line_reads_the_same_under_every_code_page(run, service, wine, locale):
    assert wine.code_page(locale) == LOCALES[locale]
    service.add_file("slow.exe", b"\0" * (1 << 20))
    service.set_manifest(manifest("1.1.1.3", force="1", url="{base}/fault/throttle=20K/files/slow.exe"))
    u = run(locale=locale)
    w = u.wait_window(lambda w: control(w, "status")["visible"] and "%" in control(w, "status")["text"])
    text = control(w, "status")["text"]
    assert re.fullmatch(r"正在下载1\.1\.1\.3版本，请稍后\.\.\.\.\(\d+%\) +", text), text
    save_screen(grab(wine, w), f"locale-{locale.split('.')[0]}.png")


def test_a_folder_outside_the_code_page_finds_its_skin(tmp_path, run, service, wine):
    folder = tmp_path / "更新程序"  # no such characters in code page 1252
    folder.mkdir()
    shutil.copy(EXE, folder / EXE.name)
    make_skin(folder)
    u = run("-prompt", exe=folder / EXE.name, locale="en_US.UTF-8")
    w, img = settled(u, wine, {"ok", "close"})
    save_screen(img, "locale-en_US-chinese-folder.png")
    assert img.getpixel(at(STATE, 10, 10)) == colour("无需更新.png")
