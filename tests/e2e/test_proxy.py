"""The user's proxy, as set in the prefix's Internet Options: both the
manifest and the installer go through it (or around it, for a host on the
bypass list), and a proxy that is down ends in the failure state in time."""
import time

import pytest

from conftest import manifest
from forward_proxy import ForwardProxy
from harness import PROXY_AUTO_DETECT, PROXY_DIRECT, PROXY_FIXED, PROXY_PAC, logged, visible_controls, wait_for
from update_service import free_port

FAILED = {"download_page", "feedback", "close"}


@pytest.fixture
def proxy(wine):
    with ForwardProxy() as p:
        yield p
    wine.clear_internet_options()


# name: flags, fixed proxy (True: the test proxy), bypass list, whether a PAC script names the proxy, through it
CASES = {
    "fixed proxy": (PROXY_DIRECT | PROXY_FIXED, True, "", False, True),
    "service host on the bypass list": (PROXY_DIRECT | PROXY_FIXED, True, "localhost;127.0.0.1", False, False),
    "PAC script": (PROXY_DIRECT | PROXY_PAC, False, "", True, True),
    # Nothing answers auto-detection here, so the fixed proxy is used.
    "auto-detection, else the fixed proxy": (PROXY_DIRECT | PROXY_FIXED | PROXY_AUTO_DETECT, True, "", False, True),
}


@pytest.mark.parametrize("name", CASES)
def test_update_follows_the_users_proxy(run, service, wine, workdir, proxy, name):
    flags, fixed, bypass, pac, through = CASES[name]
    address = "127.0.0.1:%d" % proxy.port
    service.add_file("proxy.pac", b'function FindProxyForURL(url, host) { return "PROXY %s"; }' % address.encode())
    wine.set_internet_options(flags, address if fixed else "", bypass, service.base_url + "/files/proxy.pac" if pac else "")
    service.set_manifest(manifest(force="1"))
    u = run()
    assert u.wait_exit(30) == 0
    assert wait_for((workdir / "setup.exe.ran").exists, 5)
    via = ["GET %s/Client/refresh" % service.base_url, "GET %s/files/setup.exe" % service.base_url]
    assert proxy.requests() == (via if through else [])
    assert [p for p in service.requests() if p != "/files/proxy.pac"] == ["/Client/refresh", "/files/setup.exe"]
    route = {"proxy": "pac", "via": address, "pac_host": "127.0.0.1:%d" % service.port} if pac else \
        {"proxy": "named", "via": address}
    assert logged(wine, "manifest", result="done", **route)


# The manifest through the dead proxy, or only the installer: its host
# (localhost) is not on the bypass list that lets the manifest go direct.
@pytest.mark.parametrize("which", ["manifest", "installer"])
def test_proxy_that_is_down_ends_in_the_failure_state(run, service, wine, workdir, proxy, which):
    wine.set_internet_options(PROXY_DIRECT | PROXY_FIXED, "127.0.0.1:%d" % free_port(),
                              "127.0.0.1" if which == "installer" else "")
    service.set_manifest(manifest(force="1", url="http://localhost:%d/files/setup.exe" % service.port))
    u = run("-prompt")
    t0 = time.monotonic()
    u.wait_window(lambda w: w["visible"] and visible_controls(w) == FAILED, timeout=20)
    # Four attempts and their pauses for the installer, one for the manifest.
    assert time.monotonic() - t0 < (8 if which == "installer" else 3)
    assert service.requests() == (["/Client/refresh"] if which == "installer" else [])
    assert not (workdir / "setup.exe.ran").exists()
