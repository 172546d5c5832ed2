"""The update window end to end: layout, the controls of each state, the
buttons, the web links, dragging and the keyboard, observed with the
inspector and driven with xdotool."""
import time

import pytest

from conftest import manifest
from harness import (EXE, LAYOUT, PRODUCT, SIGNED_EXE, WEB_HOST, center, click, click_control, control,
                     visible_controls, wait_for, xdo)

WS_POPUP, WS_CAPTION, WS_BORDER, WS_THICKFRAME = 0x80000000, 0x00C00000, 0x00800000, 0x00040000
WS_CLIPCHILDREN, WS_SYSMENU, DS_SETFONT = 0x02000000, 0x00080000, 0x40

CAPTIONS = {"ok": "确定", "cancel": "取消", "close": "关闭", "download_page": "点击下载", "feedback": "反馈"}


def new_version(run, service, url="{base}/files/setup.exe"):
    service.set_manifest(manifest("1.1.1.3", url=url))
    u = run()
    return u, u.wait_window(lambda w: "ok" in visible_controls(w))


def test_layout_style_and_captions(run, service):
    u, w = new_version(run, service)
    assert w["client"] == PRODUCT["client"]
    assert w["rect"][2:] == PRODUCT["client"]  # no border, no caption
    style = w["style"]
    assert style & WS_POPUP and style & WS_CLIPCHILDREN and style & WS_SYSMENU
    assert not style & (WS_CAPTION | WS_THICKFRAME)
    for name in CAPTIONS.keys() | {"status", "progress"}:
        assert control(w, name)["rect"] == LAYOUT[name], name
    for name, caption in CAPTIONS.items():
        assert control(w, name)["text"] == caption
    assert control(w, "progress")["class"].lower() == "msctls_progress32"
    assert control(w, "status")["class"].lower() == "static"


def test_failed_download_hides_the_bar_and_keeps_ok_and_cancel_hidden(run, service, wine):
    u, w = new_version(run, service, url="{base}/fault/reset=1000/files/setup.exe")
    click_control(wine, w, "ok")
    w = u.wait_window(lambda w: "feedback" in visible_controls(w), timeout=30)
    assert visible_controls(w) == {"download_page", "feedback", "close"}


def test_ok_in_no_update_closes(run, service, wine):
    u = run("-prompt")
    w = u.wait_window(lambda w: "ok" in visible_controls(w))
    click_control(wine, w, "ok")
    assert u.wait_exit(5) == 0


def test_cancel_closes_in_new_version(run, service, wine):
    u, w = new_version(run, service)
    click_control(wine, w, "cancel")
    assert u.wait_exit(5) == 0


@pytest.mark.parametrize("state", ["idle", "no_update", "new_version", "failed", "downloading"])
def test_close_button_closes_in_every_state(run, service, wine, workdir, state):
    args = ["-prompt"]
    if state == "idle":
        service.set_manifest("not xml")
    elif state == "new_version":
        service.set_manifest(manifest("1.1.1.3"))
    elif state == "failed":
        service.set_refresh_fault("status=500")
    elif state == "downloading":
        service.add_file("big.exe", b"\0" * (8 << 20))
        service.set_manifest(manifest("1.1.1.3", force="1", url="{base}/fault/throttle=100K/files/big.exe"))
    u = run(*args)
    w = u.wait_window()
    time.sleep(0.3)
    click_control(wine, w, "close")
    assert u.wait_exit(5) == 0


def test_escape_closes(run, service, wine):
    u, w = new_version(run, service)
    click(wine, w, 250, 60)  # an empty spot below the band: gives the window the keyboard
    xdo(wine, "key", "Escape")
    assert u.wait_exit(5) == 0


# The test build opens the pages over http; a build with the default scheme
# (the signed one) over https.
@pytest.mark.parametrize("link,path", [("feedback", "/member/index.php/Feel/feedback"),
                                       ("download_page", "/zhuanti/lumoratv/index.html")])
@pytest.mark.parametrize("exe,scheme", [(EXE, "http"), (SIGNED_EXE, "https")], ids=["http", "https"])
def test_web_links_open_the_page_and_close(run, service, wine, link, path, exe, scheme):
    service.set_refresh_fault("status=404")
    u = run("-prompt", exe=exe)
    w = u.wait_window(lambda w: link in visible_controls(w))
    click_control(wine, w, link)
    assert u.wait_exit(5) == 0
    assert wait_for(lambda: wine.browser_log.exists() and wine.browser_log.read_text().strip(), 10)
    assert wine.browser_log.read_text().split() == [f"{scheme}://{WEB_HOST}{path}"]


@pytest.mark.parametrize("row,moves", [(PRODUCT["caption_band"] - 1, True), (PRODUCT["caption_band"], False)])
def test_dragging_by_the_top_band(run, service, wine, row, moves):
    u, w = new_version(run, service)
    x0, y0 = w["rect"][:2]
    xdo(wine, "mousemove", x0 + 200, y0 + row)
    xdo(wine, "mousedown", 1)
    for step in range(1, 6):
        xdo(wine, "mousemove", x0 + 200 + 10 * step, y0 + row + 8 * step)
        time.sleep(0.05)
    xdo(wine, "mouseup", 1)
    time.sleep(0.3)
    x1, y1 = u.window()["rect"][:2]
    assert ((x1, y1) == (x0 + 50, y0 + 40)) if moves else ((x1, y1) == (x0, y0))


def test_ok_does_nothing_while_downloading(run, service, wine):
    service.add_file("big.exe", b"\0" * (4 << 20))
    u, w = new_version(run, service, url="{base}/fault/throttle=200K/files/big.exe")
    ok = center(control(w, "ok")["rect"])
    click(wine, w, *ok)
    u.wait_window(lambda w: "progress" in visible_controls(w))
    click(wine, w, *ok)  # hidden now: the click lands on the window itself
    time.sleep(0.5)
    assert u.running()
    assert "progress" in visible_controls(u.window())
