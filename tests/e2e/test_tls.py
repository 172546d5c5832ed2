"""The updater over TLS: the build that asks https://localhost for its
manifest, against the update service speaking TLS with test-only
certificates that only the test prefix trusts. A certificate fault or a
failed handshake ends the transfer at once, with no second connection; a
stalled handshake is a stall like any other."""
import pytest

from conftest import manifest, signed_values, signing
from harness import TLS_EXE, TLS_PORT, TLS_SIGNED_EXE, wait_for
from test_fault_matrix import DONE, check_outcome, forced
from update_service import UpdateService

FETCHED = ["xml_new/version.xml"]


@pytest.fixture(scope="module")
def tls_session(certs):
    svc = UpdateService(port=TLS_PORT, tls=certs.context("good"))
    svc.start()
    yield svc
    svc.stop()


@pytest.fixture
def tls(tls_session, certs, service):
    """The TLS service at the host the TLS build asks, set up afresh."""
    tls_session.set_tls(certs.context("good"))
    tls_session.set_manifest(manifest("1.1.1.2"))
    tls_session.add_file("setup.exe", service._get_file("setup.exe"))
    tls_session.clear_requests()
    return tls_session


@pytest.fixture
def other(certs, tls):
    """A second TLS service, on a free port, for installers."""
    svc = UpdateService(tls=certs.context("good"))
    svc.start()
    svc.add_file("setup.exe", tls._get_file("setup.exe"))
    yield svc
    svc.stop()


# fault: the certificate served (tools/tls_certs.py)
FAULTS = {"expired": "expired", "wrong host": "wrong-host", "unknown CA": "unknown-ca", "self-signed": "self-signed",
          "TLS 1.1 only": "good"}
# (fault, where: the manifest's host or the installer's, -prompt, outcome)
FAULT_ROWS = [(f, where, True, "failed") for f in FAULTS for where in ("manifest", "installer")] + [
    ("expired", "manifest", False, "closed"),  # a failed check without -prompt: closes silently
]


@pytest.mark.parametrize("fault,where,prompt,outcome", FAULT_ROWS,
                         ids=["%s, %s%s" % (r[0], r[1], "" if r[2] else ", silent") for r in FAULT_ROWS])
def test_tls_fault_ends_at_once(run, tls, other, certs, wine, workdir, fault, where, prompt, outcome):
    faulty = tls if where == "manifest" else other
    tls.set_manifest(forced(other.base_url + "/files/setup.exe"))
    faulty.set_tls(certs.context(FAULTS[fault], tls11_only=fault == "TLS 1.1 only"))
    u = run(*(["-prompt"] if prompt else []), exe=TLS_EXE)
    check_outcome(u, wine, workdir, outcome, [] if where == "manifest" else FETCHED)
    assert faulty.connections() == 1  # never tried again
    assert faulty.requests() == []  # nothing crossed the failed channel


@pytest.mark.parametrize("exe", [TLS_EXE, TLS_SIGNED_EXE], ids=["unsigned", "signed"])
def test_update_over_https(run, tls, other, wine, workdir, exe):
    values = signed_values(other, force="1")
    tls.set_manifest(forced(values["url"]) if exe == TLS_EXE else signing.manifest_xml(values))
    check_outcome(run(exe=exe), wine, workdir, "completed", DONE)
    assert tls.requests() == ["/Client/refresh"] and other.requests() == ["/files/setup.exe"]


def test_redirect_from_https_to_http_is_refused(run, tls, other, service, wine, workdir):
    to_http = "redirect_to=http:||127.0.0.1:%d|files|setup.exe" % service.port
    tls.set_manifest(forced(f"{other.base_url}/fault/{to_http}/files/setup.exe"))
    check_outcome(run(exe=TLS_EXE), wine, workdir, "failed", FETCHED)
    assert service.requests() == []


def test_redirect_from_http_to_https_is_followed(run, tls, other, service, wine, workdir):
    to_https = "redirect_to=%s|files|setup.exe" % other.base_url.replace("/", "|")
    tls.set_manifest(forced(f"http://127.0.0.1:{service.port}/fault/{to_https}/files/setup.exe"))
    check_outcome(run(exe=TLS_EXE), wine, workdir, "completed", DONE)
    assert other.requests() == ["/files/setup.exe"]


def test_stalled_handshake_of_the_manifest_is_a_stall(run, tls, wine, workdir):
    tls.set_tls("stall")
    check_outcome(run("-prompt", exe=TLS_EXE), wine, workdir, "failed", [], slow=True)
    assert tls.connections() == 1


def test_stalled_handshake_of_the_installer_is_tried_again(run, tls, other, certs, wine, workdir):
    tls.set_manifest(forced(other.base_url + "/files/setup.exe"))
    other.set_tls("stall")
    u = run(exe=TLS_EXE)
    assert wait_for(lambda: other.connections() == 1, 20)
    other.set_tls(certs.context("good"))
    check_outcome(u, wine, workdir, "completed", DONE, slow=True)
    assert other.connections() == 2
