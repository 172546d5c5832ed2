"""The skinned window on screen: a copy of the exe next to a test skin made
of solid colours, screenshots of the virtual display, pixels compared with
where each picture must be."""
import io
import re
import shutil
import subprocess
import time

import pytest
from PIL import Image, ImageChops

from conftest import manifest
from harness import BUILD, EXE, INSPECTOR, LAYOUT, PRODUCT, ROOT, center, click_control, control, visible_controls

BG = (10, 20, 30)
COLOURS = {
    "升级背景.png": ((500, 200), BG),
    "分割线.png": ((458, 2), (255, 0, 255)),
    "进度背景.png": ((400, 10), (60, 60, 60)),
    "当前进度.png": ((400, 10), (0, 255, 0)),
    "关闭_hover.png": ((24, 21), (128, 0, 255)),
    "确定.png": ((76, 31), (0, 255, 255)),
    "取消.png": ((76, 31), (255, 128, 0)),
    "在线问题反馈.png": ((79, 12), (100, 100, 200)),
    "点击下载.png": ((54, 22), (250, 250, 250)),
    "无需更新.png": ((120, 30), (200, 0, 0)),
    "发现新版本.png": ((120, 30), (0, 200, 0)),
    "升级失败.png": ((120, 30), (0, 0, 200)),
    "建议.png": ((100, 20), (200, 200, 0)),
}


STATE, ADVICE, DIVIDER = (PRODUCT["pictures"][k] for k in ("state", "advice", "divider"))


def at(origin, dx=0, dy=0):
    return origin[0] + dx, origin[1] + dy


def box(rect):
    x, y, w, h = rect
    return x, y, x + w, y + h


def make_skin(folder, leave_out=(), half_transparent=()):
    skin = folder / "skin" / "update"
    shutil.rmtree(skin, ignore_errors=True)
    skin.mkdir(parents=True)
    for name, (size, colour) in COLOURS.items():
        if name in leave_out:
            continue
        alpha = 128 if name in half_transparent else 255
        Image.new("RGBA", size, colour + (alpha,)).save(skin / name)


@pytest.fixture
def skinned(tmp_path, run):
    """Starts a copy of the exe that sits beside a test skin."""
    def start(*args, leave_out=(), half_transparent=(), skin=True):
        shutil.copy(EXE, tmp_path / EXE.name)
        if skin:
            make_skin(tmp_path, leave_out, half_transparent)
        return run(*args, exe=tmp_path / EXE.name)
    return start


def grab(wine, w):
    x, y, cw, ch = w["rect"]
    png = subprocess.run(["import", "-window", "root", "-crop", f"{cw}x{ch}+{x}+{y}", "png:-"],
                         env=wine.env, capture_output=True, check=True).stdout
    return Image.open(io.BytesIO(png)).convert("RGB")


def settled(u, wine, want):
    w = u.wait_window(lambda w: w["visible"] and visible_controls(w) == want)
    time.sleep(0.6)  # let the erase and the button paints finish
    return w, grab(wine, w)


def colour(name):
    return COLOURS[name][1]


def test_new_version_pictures_are_in_place(skinned, service, wine):
    service.set_manifest(manifest("1.1.1.3"))
    u = skinned()
    w, img = settled(u, wine, {"ok", "cancel", "close"})
    (pw, ph), (dw, dh) = COLOURS["发现新版本.png"][0], COLOURS["分割线.png"][0]
    assert img.getpixel((250, 60)) == BG
    assert img.getpixel(at(STATE)) == colour("发现新版本.png")
    assert img.getpixel(at(STATE, pw - 1, ph - 1)) == colour("发现新版本.png")
    assert img.getpixel(at(STATE, pw, ph)) == BG  # just outside the picture
    assert img.getpixel(at(DIVIDER)) == colour("分割线.png")
    assert img.getpixel(at(DIVIDER, dw - 1, dh - 1)) == colour("分割线.png")
    assert img.getpixel(at(DIVIDER, 0, dh)) == BG
    assert img.getpixel(center(LAYOUT["ok"])) == colour("确定.png")
    assert img.getpixel(center(LAYOUT["cancel"])) == colour("取消.png")
    assert img.getpixel(center(LAYOUT["close"])) == colour("关闭_hover.png")


def test_no_update_and_failed_pictures(skinned, service, wine):
    u = skinned("-prompt")
    w, img = settled(u, wine, {"ok", "close"})
    assert img.getpixel(at(STATE, 10, 10)) == colour("无需更新.png")
    assert img.getpixel(center(LAYOUT["ok_no_update"])) == colour("确定.png")
    assert img.getpixel(center(LAYOUT["ok"])) == BG  # OK moved away from there
    u.kill()
    service.set_refresh_fault("status=500")
    u = skinned("-prompt")
    w, img = settled(u, wine, {"download_page", "feedback", "close"})
    assert img.getpixel(at(STATE, 10, 10)) == colour("升级失败.png")
    assert img.getpixel(at(ADVICE, 10, 5)) == colour("建议.png")
    assert img.getpixel(center(LAYOUT["download_page"])) == colour("点击下载.png")
    assert img.getpixel(center(LAYOUT["feedback"])) == colour("在线问题反馈.png")
    assert img.getpixel(at(DIVIDER)) == BG  # no divider in the failure state


def test_bar_and_status_line_follow_the_percentage(skinned, service, wine):
    service.add_file("slow.exe", b"\0" * (1 << 20))
    service.set_manifest(manifest("1.1.1.3", force="1", url="{base}/fault/throttle=40K/files/slow.exe"))
    u = skinned()
    bx, by, bw, bh = LAYOUT["progress"]
    lines = []  # (percent range, the status line's pixels)
    for _ in range(8):
        w = u.wait_window(lambda w: control(w, "status")["visible"] and "%" in control(w, "status")["text"])
        before = int(re.search(r"\((\d+)%\)", control(w, "status")["text"]).group(1))
        img = grab(wine, w)
        after = int(re.search(r"\((\d+)%\)", control(u.window(), "status")["text"]).group(1))
        # The 10-pixel images sit centred in the bar.
        row = [img.getpixel((x, by + bh // 2)) for x in range(bx, bx + bw)]
        filled = sum(1 for p in row if p == colour("当前进度.png"))
        assert all(p == colour("进度背景.png") for p in row[filled:])
        assert 4 * before <= filled <= 4 * after, (before, filled, after)
        # The bar's dark fill around the images.
        assert list(img.getpixel((bx + bw // 2, by + 2))) == PRODUCT["colours"]["dark"]
        lines.append(((before, after), img.crop(box(LAYOUT["status"]))))
        time.sleep(1)
    # "(N%)" stays on screen: pixels right of the status text change with
    # the percentage, the text's own do not.
    ((_, first_percent), first), ((last_percent, _), last) = lines[0], lines[-1]
    assert first_percent < last_percent
    changed = ImageChops.difference(first, last).getbbox()
    assert changed, "the percentage is not on screen"
    text = tuple(PRODUCT["colours"]["status_text"])
    assert text in first.crop((0, 0, changed[0], first.height)).getdata(), "no status text left of the change"
    assert text in last.crop(changed).getdata()


def test_half_transparent_state_picture_blends_over_the_background(skinned, service, wine):
    service.set_manifest(manifest("1.1.1.3"))
    u = skinned(half_transparent=("发现新版本.png",))
    w, img = settled(u, wine, {"ok", "cancel", "close"})
    once = (10 * 127 // 255, 200 * 128 // 255 + 20 * 127 // 255, 30 * 127 // 255)
    twice = tuple(c * 127 // 255 + (100 if i == 1 else 0) for i, c in enumerate(once))
    # Showing the state draws the picture at once, over the erase that moving
    # the buttons already caused: blended twice, until the next repaint.
    assert all(abs(a - b) <= 3 for a, b in zip(img.getpixel(at(STATE, 10, 10)), twice)), img.getpixel(at(STATE, 10, 10))
    wine.run(INSPECTOR, ["--repaint"])
    time.sleep(0.5)
    # A repaint erases with the opaque background first: blended once.
    assert all(abs(a - b) <= 3 for a, b in zip(grab(wine, w).getpixel(at(STATE, 10, 10)), once))


def test_missing_file_leaves_everything_else_unchanged(skinned, service, wine):
    service.set_manifest(manifest("1.1.1.3"))
    u = skinned(leave_out=("取消.png",))
    w, img = settled(u, wine, {"ok", "cancel", "close"})
    assert img.getpixel(at(STATE)) == colour("发现新版本.png")
    assert img.getpixel(center(LAYOUT["ok"])) == colour("确定.png")
    assert img.getpixel(center(LAYOUT["close"])) == colour("关闭_hover.png")
    # Cancel falls back to a standard push button with its caption.
    cx, cy, cw, ch = LAYOUT["cancel"]
    cancel = [img.getpixel((x, cy + 4)) for x in range(cx + 4, cx + cw - 4)]
    assert colour("取消.png") not in cancel
    assert control(w, "cancel")["text"] == "取消"


def test_without_any_skin_buttons_show_their_captions(skinned, service, wine):
    service.set_manifest(manifest("1.1.1.3"))
    u = skinned(skin=False)
    w, img = settled(u, wine, {"ok", "cancel", "close"})
    ok = img.crop(box(LAYOUT["ok"]))
    # A standard button: a light face with dark caption pixels on it.
    pixels = list(ok.getdata())
    light = sum(1 for p in pixels if min(p) > 180)
    dark = sum(1 for p in pixels if max(p) < 100)
    assert light > len(pixels) // 2 and dark > 10, (light, dark)


def test_moved_to_a_monitor_of_150_percent_the_window_follows(run, service, wine):
    """As Windows tells a window that has moved to a 150 % monitor (Wine has
    one scale for all): it takes the proposed rectangle, lays itself out for
    that scale and redraws from the 150 % pictures."""
    service.set_manifest(manifest("1.1.1.3"))
    u = run()
    w, _ = settled(u, wine, {"ok", "cancel", "close"})
    x, y = w["rect"][:2]
    wine.run(INSPECTOR, ["--dpi", "144"])
    w = u.window()
    assert w["rect"][:2] == [x, y]
    img = assert_new_version_at_scale(wine, w, PRODUCT["by_dpi"]["144"], SHIPPED / "150")
    save_screen(img, "dpi-96-moved-to-144.png")


def test_a_skin_of_100_percent_pictures_only_is_drawn_larger_at_150_percent(skinned, service, wine):
    """A publisher's own skin without the larger sets: at 150 % every picture
    is at its place and of its size at that scale, edge to edge."""
    scale = PRODUCT["by_dpi"]["144"]
    service.set_manifest(manifest("1.1.1.3"))
    with wine.display_dpi(144):
        u = skinned()
        w, img = settled(u, wine, {"ok", "cancel", "close"})
    save_screen(img, "dpi-144-100-percent-skin.png")
    state, divider = scale["pictures"]["state"], scale["pictures"]["divider"]
    (pw, ph), (dw, dh) = ((x * 3 // 2, y * 3 // 2) for x, y in (COLOURS["发现新版本.png"][0], COLOURS["分割线.png"][0]))
    assert img.getpixel((w["client"][0] - 1, w["client"][1] - 1)) == BG  # the background covers the window
    assert img.getpixel(at(state)) == colour("发现新版本.png")
    assert img.getpixel(at(state, pw - 1, ph - 1)) == colour("发现新版本.png")
    assert img.getpixel(at(state, pw, ph)) == BG
    assert img.getpixel(at(divider, dw - 1, dh - 1)) == colour("分割线.png")
    for name, picture in [("ok", "确定.png"), ("cancel", "取消.png"), ("close", "关闭_hover.png")]:
        x, y, cw, ch = scale["layout"][name]
        assert img.getpixel((x, y)) == img.getpixel((x + cw - 1, y + ch - 1)) == colour(picture), name


def test_real_skin_is_shipped_beside_the_exe():
    for name in COLOURS:
        assert (ROOT / "skin" / "update" / name).is_file(), name
        assert (EXE.parent / "skin" / "update" / name).is_file(), name


SHIPPED = ROOT / "skin" / "update"
# Screenshots the tests leave for people to look at.
SCREENS = BUILD / "screens"


def drawn_over_background(name, origin, size=None, art_set=SHIPPED):
    """The shipped picture as the window must show it: alpha-blended at
    origin over the shipped background (at size when it is stretched)."""
    bg = Image.open(art_set / "升级背景.png").convert("RGBA")
    art = Image.open(art_set / name).convert("RGBA")
    if size:
        art = art.resize(size)
    x, y = origin
    under = bg.crop((x, y, x + art.width, y + art.height))
    return Image.alpha_composite(under, art).convert("RGB")


def worst_difference(img, name, origin, left=0, art_set=SHIPPED, size=None):
    """The largest channel difference between the screenshot and the
    picture drawn over the background at origin (from column left on, at
    most size pixels of it)."""
    want = drawn_over_background(name, origin, art_set=art_set)
    width, height = size or want.size
    want = want.crop((left, 0, min(width, want.width), min(height, want.height)))
    x, y = origin[0] + left, origin[1]
    got = img.crop((x, y, x + want.width, y + want.height))
    return max(max(abs(a - b) for a, b in zip(p, q)) for p, q in zip(got.getdata(), want.getdata()))


# (arguments, refresh fault, manifest, the controls shown, the pictures: name and origin)
SHIPPED_STATES = {
    "new-version": ((), None, manifest("1.1.1.3"), {"ok", "cancel", "close"},
                    [("发现新版本.png", STATE), ("确定.png", LAYOUT["ok"][:2]), ("取消.png", LAYOUT["cancel"][:2])]),
    "no-update": (("-prompt",), None, None, {"ok", "close"},
                  [("无需更新.png", STATE), ("确定.png", LAYOUT["ok_no_update"][:2])]),
    "failed": (("-prompt",), "status=500", None, {"download_page", "feedback", "close"},
               [("升级失败.png", STATE), ("建议.png", ADVICE), ("点击下载.png", LAYOUT["download_page"][:2]),
                ("在线问题反馈.png", LAYOUT["feedback"][:2])]),
    # The bar's track, right of what has arrived: opaque, copied as it is.
    "downloading": ((), None, manifest("1.1.1.3", force="1", url="{base}/fault/throttle=20K/files/slow.exe"),
                    {"progress", "status", "close"},
                    [("进度背景.png", (LAYOUT["progress"][0], LAYOUT["progress"][1] + (LAYOUT["progress"][3] - 12) // 2),
                      300)]),
}


@pytest.mark.parametrize("state", SHIPPED_STATES)
def test_each_state_with_the_shipped_skin(run, service, wine, state):
    """The skin that ships: every picture alpha-blended over the background
    (the draw that once crashed the 32-bit exe), pixel for pixel."""
    args, fault, text, shown, pictures = SHIPPED_STATES[state]
    service.add_file("slow.exe", b"\0" * (1 << 20))
    if text:
        service.set_manifest(text)
    service.set_refresh_fault(fault)
    u = run(*args)
    w, _ = settled(u, wine, shown)
    wine.run(INSPECTOR, ["--repaint"])  # one blend over a fresh erase
    time.sleep(0.5)
    img = grab(wine, w)
    assert u.running()
    for name, origin, *left in pictures:
        worst = worst_difference(img, name, origin, *left)
        assert worst <= 3, (name, worst)


def save_screen(img, name):
    SCREENS.mkdir(parents=True, exist_ok=True)
    img.save(SCREENS / name)


def assert_new_version_at_scale(wine, w, scale, art):
    """The new-version window laid out for the scale, and each picture pixel
    for pixel the art drawn for it (a stretched smaller picture would not
    match); returns the screenshot."""
    layout = scale["layout"]
    assert w["rect"][2:] == scale["client"] and w["client"] == scale["client"]
    for name in layout.keys() - {"ok_no_update"}:
        assert control(w, name)["rect"] == layout[name], name
    assert visible_controls(w) == {"ok", "cancel", "close"}
    wine.run(INSPECTOR, ["--repaint"])  # one blend over a fresh erase
    time.sleep(0.5)
    img = grab(wine, w)
    for name, origin in [("发现新版本.png", scale["pictures"]["state"]), ("分割线.png", scale["pictures"]["divider"]),
                         ("确定.png", layout["ok"][:2]), ("取消.png", layout["cancel"][:2]),
                         ("关闭_hover.png", layout["close"][:2])]:
        assert worst_difference(img, name, origin, art_set=art) <= 3, name
    # The title band left of the close button: the product name's glyphs.
    band = (layout["close"][0], scale["caption_band"])
    assert worst_difference(img, "升级背景.png", (0, 0), art_set=art, size=band) <= 3
    return img


@pytest.mark.parametrize("dpi", [96, 144, 192])
def test_the_shipped_skin_at_each_display_scale(run, service, wine, dpi):
    """At 100, 150 and 200 %: the window, every control and the drag band's
    pictures at that scale, each picture pixel for pixel the art drawn for
    it (a stretched smaller picture would not match), the bar's track and a
    status font of that scale while downloading."""
    scale = PRODUCT["by_dpi"][str(dpi)]
    art = SHIPPED if scale["skin_set"] == 100 else SHIPPED / str(scale["skin_set"])
    layout = scale["layout"]
    service.add_file("slow.exe", b"\0" * (1 << 20))
    service.set_manifest(manifest("1.1.1.3", url="{base}/fault/throttle=20K/files/slow.exe"))
    with wine.display_dpi(dpi):
        u = run()
        w, _ = settled(u, wine, {"ok", "cancel", "close"})
        img = assert_new_version_at_scale(wine, w, scale, art)
        save_screen(img, f"dpi-{dpi}-new-version.png")

        click_control(wine, w, "ok")
        w = u.wait_window(lambda w: control(w, "status")["visible"] and "%" in control(w, "status")["text"])
        time.sleep(0.3)
        img = grab(wine, w)
        save_screen(img, f"dpi-{dpi}-downloading.png")
        bx, by, bw, bh = layout["progress"]
        track = Image.open(art / "进度背景.png")
        right = bw * 3 // 4  # beyond what has arrived
        assert worst_difference(img, "进度背景.png", (bx, by + (bh - track.height) // 2), right, art_set=art) <= 3
        sx, sy, sw, sh = layout["status"]
        text = tuple(PRODUCT["colours"]["status_text"])
        line = img.crop((sx, sy, sx + sw, sy + sh))
        rows = [y for y in range(sh) if any(line.getpixel((x, y)) == text for x in range(sw))]
        assert rows and 0.7 * scale["status_font"] <= rows[-1] - rows[0] + 1 <= scale["status_font"], rows
