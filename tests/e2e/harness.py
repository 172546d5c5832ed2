"""Runs the real updater under Wine on a virtual display and observes it
from outside: process exit, X windows, the inspector's view of the dialog,
files in the work folder."""
import contextlib
import json
import re
import os
import pwd
import shutil
import signal
import struct
import subprocess
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
BUILD = Path(os.environ.get("LUMORA_BUILD", ROOT / "build"))
BIN = BUILD / "win" / "bin"
EXE = BIN / "LumoraZUDeZazeda.exe"
# The same updater trusting only tests/keys/test-only-publisher-*.pem.
SIGNED_EXE = BUILD / "win" / "signed" / "LumoraZUDeZazeda.exe"
INSPECTOR = BIN / "inspector.exe"
DEMO_SETUP = BIN / "demo-setup.exe"
# Compiled into the test build (tools/build.sh takes the same variables).
UPDATE_PORT = int(os.environ.get("LUMORA_UPDATE_HOST", "").rpartition(":")[2]
                  or os.environ.get("LUMORA_DEMO_PORT", "18473"))
WEB_HOST = os.environ.get("LUMORA_WEB_HOST", "127.0.0.1:18474")
# The updater asking https://localhost:TLS_PORT, without and with the test key.
TLS_EXE = BUILD / "win" / "tls" / "LumoraZUDeZazeda.exe"
TLS_SIGNED_EXE = BUILD / "win" / "tls-signed" / "LumoraZUDeZazeda.exe"
TLS_PORT = int(os.environ.get("LUMORA_TLS_PORT") or int(os.environ.get("LUMORA_DEMO_PORT", "18473")) + 2)

INTERNET_SETTINGS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Connections"
# Flags of the Internet Options connection settings.
PROXY_DIRECT, PROXY_FIXED, PROXY_PAC, PROXY_AUTO_DETECT = 1, 2, 4, 8



def product_constants():
    """What the tests share with the product (control identifiers, layout,
    picture origins, colours), printed by a program built from its sources."""
    exe = BUILD / "native" / "tests" / "e2e" / "product_constants"
    if not exe.exists():
        raise RuntimeError(f"{exe} is missing: run tools/build.sh")
    return json.loads(subprocess.run([str(exe)], check=True, capture_output=True).stdout)


PRODUCT = product_constants()
STATE_CONTROLS = PRODUCT["ids"]
LAYOUT = PRODUCT["layout"]


def wine_environment():
    """The environment of tools/wine-env.sh, plus the locale for Wine."""
    out = subprocess.run(["bash", "-c", f"source '{ROOT}/tools/wine-env.sh' && env -0"],
                         check=True, capture_output=True).stdout
    env = dict(item.split("=", 1) for item in out.decode().split("\0") if "=" in item)
    env["LC_ALL"] = env["LUMORA_LC_ALL"]
    return env


# Locales that tools/wine-prefix.sh generates, and the ANSI code page Wine
# gives a program under each.
LOCALES = {"zh_CN.UTF-8": 936, "en_US.UTF-8": 1252, "zh_TW.UTF-8": 950}
# Wine 8 reads the display's DPI from here when a program starts (the
# LogPixels under Software\Wine\Fonts does not count).
DESKTOP = r"HKCU\Control Panel\Desktop"


class Display:
    """A private Xvfb server."""

    def __init__(self):
        self.proc = None
        self.name = None

    def start(self):
        for n in range(90, 190):
            if Path(f"/tmp/.X11-unix/X{n}").exists() or Path(f"/tmp/.X{n}-lock").exists():
                continue
            proc = subprocess.Popen(["Xvfb", f":{n}", "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            for _ in range(100):
                if Path(f"/tmp/.X11-unix/X{n}").exists():
                    self.proc, self.name = proc, f":{n}"
                    return self
                if proc.poll() is not None:
                    break
                time.sleep(0.05)
            proc.kill()
        raise RuntimeError("no free X display")

    def stop(self):
        if self.proc:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
            self.proc = None


class Wine:
    def __init__(self, display):
        self.env = wine_environment()
        self.env["DISPLAY"] = display
        self.browser_log = BUILD / "wine" / "browser.log"
        self.env["LUMORA_BROWSER_LOG"] = str(self.browser_log)
        self.loader = self.env["WINE"]
        self.server = self.env["WINESERVER"]
        self._temp = None

    def start_server(self):
        # A persistent server keeps process starts warm (about 30 ms).
        # (An already running server is fine.)
        subprocess.run([self.server, "-p"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def stop_server(self):
        subprocess.run([self.server, "-k"], env=self.env, capture_output=True)
        subprocess.run([self.server, "-w"], env=self.env, capture_output=True, timeout=30)

    def environment(self, locale=None):
        """The environment of a program run under that locale (the default:
        zh_CN, code page 936)."""
        return dict(self.env, LC_ALL=locale) if locale else self.env

    def popen(self, exe, args=(), stderr=subprocess.DEVNULL, locale=None):
        return subprocess.Popen([self.loader, str(exe), *map(str, args)], env=self.environment(locale),
                                stdout=subprocess.DEVNULL, stderr=stderr)

    def run(self, exe, args=(), timeout=60, locale=None):
        """Runs to completion; output goes through files, not pipes, since
        Wine's background processes inherit and keep pipes open."""
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            proc = subprocess.Popen([self.loader, str(exe), *map(str, args)], env=self.environment(locale),
                                    stdout=out, stderr=err)
            try:
                proc.wait(timeout)
            except subprocess.TimeoutExpired:
                proc.kill()
                raise
            out.seek(0)
            err.seek(0)
            return subprocess.CompletedProcess(proc.args, proc.returncode, out.read(), err.read())

    def set_internet_options(self, flags, proxy="", bypass="", pac=""):
        """The user's proxy settings, in the binary value that Internet
        Options writes and WinHTTP reads for the current user."""
        def text(t):
            return struct.pack("<I", len(t)) + t.encode()
        data = struct.pack("<III", 0x46, 1, flags) + text(proxy) + text(bypass) + text(pac) + b"\0" * 32
        r = self.run("reg", ["add", INTERNET_SETTINGS, "/v", "DefaultConnectionSettings", "/t", "REG_BINARY",
                             "/d", data.hex(), "/f"])
        assert r.returncode == 0, r.stderr

    @contextlib.contextmanager
    def display_dpi(self, dpi):
        """Programs started inside run at that display scale; the setting
        the prefix had comes back afterwards."""
        query = self.run("reg", ["query", DESKTOP, "/v", "LogPixels"]).stdout.decode("ascii", "replace")
        old = re.search(r"LogPixels\s+REG_DWORD\s+0x([0-9a-fA-F]+)", query)
        r = self.run("reg", ["add", DESKTOP, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f"])
        assert r.returncode == 0, r.stderr
        try:
            yield dpi
        finally:
            if old:
                self.run("reg", ["add", DESKTOP, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(int(old.group(1), 16)),
                                 "/f"])
            else:
                self.run("reg", ["delete", DESKTOP, "/v", "LogPixels", "/f"])

    def code_page(self, locale=None):
        """The ANSI code page of a program run under that locale."""
        return json.loads(self.run(INSPECTOR, locale=locale).stdout.decode("utf-8", "replace"))["acp"]

    def clear_internet_options(self):
        self.run("reg", ["delete", INTERNET_SETTINGS, "/v", "DefaultConnectionSettings", "/f"])

    def unix_path(self, win_path):
        out = self.run("winepath", ["-u", win_path]).stdout.decode().strip()
        return Path(out)

    def win_path(self, unix_path):
        return self.run("winepath", ["-w", str(unix_path)]).stdout.decode("utf-8", "replace").strip()

    @property
    def temp_dir(self):
        if self._temp is None:
            win = self.run("cmd", ["/c", "echo %TEMP%"]).stdout.decode().strip()
            self._temp = self.unix_path(win)
        return self._temp

    @property
    def product_dir(self):
        return self.temp_dir / "LumoraTV"

    @property
    def work_dir(self):
        return self.product_dir / "temp"

    def inspect(self):
        # A Wine start can rarely fail outright; one more try tells that
        # apart from a real problem.
        for attempt in range(3):
            out = self.run(INSPECTOR).stdout.decode("utf-8", "replace")
            try:
                return json.loads(out)["windows"]
            except ValueError:
                if attempt == 2:
                    raise
                time.sleep(0.1)

    def x_windows(self):
        """Ids of mapped X windows of the updater."""
        r = subprocess.run(["xdotool", "search", "--onlyvisible", "--class", "LumoraZUDeZazeda"],
                           env=self.env, capture_output=True)
        return r.stdout.decode().split()


class Updater:
    """One run of the updater (under another locale than zh_CN if given)."""

    def __init__(self, wine, args=(), exe=EXE, locale=None):
        self.wine = wine
        self.started = time.monotonic()
        # Wine reports crashes (and backtraces) on the program's stderr.
        self.stderr = tempfile.TemporaryFile()
        self.proc = wine.popen(exe, args, stderr=self.stderr, locale=locale)
        self.ever_mapped = False

    def stderr_text(self):
        self.stderr.seek(0)
        return self.stderr.read().decode("utf-8", "replace")

    def running(self):
        return self.proc.poll() is None

    def wait_exit(self, timeout, watch_mapping=False):
        """Exit code, or None if still running after timeout. With
        watch_mapping, records whether a window got mapped meanwhile."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.proc.poll() is not None:
                return self.proc.returncode
            if watch_mapping and self.wine.x_windows():
                self.ever_mapped = True
            time.sleep(0.02)
        return self.proc.poll()

    def window(self):
        wins = self.wine.inspect()
        return wins[0] if wins else None

    def wait_window(self, predicate=lambda w: w["visible"], timeout=15):
        deadline = time.monotonic() + timeout
        w = None
        while time.monotonic() < deadline:
            w = self.window()
            if w and predicate(w):
                return w
            if not self.running():
                raise AssertionError(f"updater exited with {self.proc.returncode} while waiting for its window")
            time.sleep(0.05)
        raise AssertionError(f"window condition not met; last seen: {w}")

    def kill(self):
        if self.running():
            self.proc.send_signal(signal.SIGKILL)
            self.proc.wait(10)


def xdo(wine, *args):
    subprocess.run(["xdotool", *map(str, args)], env=wine.env, check=True)


def click(wine, window, x, y):
    """A left click at a point of the window's client area."""
    xdo(wine, "mousemove", window["rect"][0] + x, window["rect"][1] + y, "click", 1)


def center(rect):
    """The middle of an [x, y, w, h] rectangle."""
    x, y, w, h = rect
    return x + w // 2, y + h // 2


def click_control(wine, window, name):
    click(wine, window, *center(control(window, name)["rect"]))


def wait_for(predicate, timeout, interval=0.05):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(interval)
    return bool(predicate())


def control(window, name):
    cid = STATE_CONTROLS[name]
    for c in window["children"]:
        if c["id"] == cid:
            return c
    return None


def visible_controls(window):
    ids = {v: k for k, v in STATE_CONTROLS.items()}
    return {ids[c["id"]] for c in window["children"] if c["visible"] and c["id"] in ids}


def reset_dir(path):
    if path.exists():
        for p in path.rglob("*"):
            try:
                p.chmod(0o755 if p.is_dir() else 0o644)
            except OSError:
                pass
        shutil.rmtree(path, ignore_errors=True)


# One line of update.log: time, process id, event, key=value pairs (a value
# bare, or quoted with backslash escapes).
LOG_LINE = re.compile(r'\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z \d+ [a-z-]+'
                      r'( [a-z_0-9]+=([!#-~]+|"([^"\\\x00-\x1f]|\\["\\nrt]|\\x[0-9A-F]{2}|\\u\{[0-9A-F]{4,6}\})*"))*')


def log_lines(wine):
    """update.log's lines, each checked against the grammar and for what it
    must never hold: the user's name, a query string."""
    path = wine.product_dir / "update.log"
    if not path.exists():
        return []
    lines = path.read_bytes().decode("utf-8").splitlines()
    user = pwd.getpwuid(os.getuid()).pw_name  # Wine names the user's folders so
    for line in lines:
        assert LOG_LINE.fullmatch(line), line
        assert user.lower() not in line.lower() and not re.search(r"\?[^ ]", line), line
    return lines


def logged(wine, event, **fields):
    """The first line of that event whose fields include these (values as
    written, quotes included); None when there is none."""
    want = [f"{k}={v}" for k, v in fields.items()]
    for line in log_lines(wine):
        parts = line.split(" ")
        if parts[2] == event and all(w in parts[3:] for w in want):
            return line
    return None
