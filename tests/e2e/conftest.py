import os
import subprocess
import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parent))
sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))

from harness import BUILD, DEMO_SETUP, EXE, TLS_EXE, UPDATE_PORT, Display, Updater, Wine, reset_dir  # noqa: E402
from update_service import UpdateService, signing_tool, tls_context  # noqa: E402

NO_UPDATE = "<update><version>1.1.1.2</version><url>{base}/files/setup.exe</url><force>0</force></update>"


ROOT = Path(__file__).resolve().parents[2]
TEST_KEY = ROOT / "tests" / "keys" / "test-only-publisher-private.pem"
# The signed build trusts this one too, as during a move to a new key.
NEXT_KEY = ROOT / "tests" / "keys" / "test-only-publisher-next-private.pem"


signing = signing_tool()


def signed_values(service, version="1.1.1.3", name="setup.exe", force="0", body=None, key=TEST_KEY, **kw):
    """Element texts of a manifest signed with the test key, for a file the
    service serves (its bytes: body, or the demo installer)."""
    body = DEMO_SETUP.read_bytes() if body is None else body
    return signing.manifest_values(signing.load_private_key(key), version, f"{service.base_url}/files/{name}",
                                   body, force, **kw)


def manifest(version="1.1.1.3", url="{base}/files/setup.exe", force="0", extra=""):
    return f"<update><version>{version}</version><url>{url}</url><force>{force}</force>{extra}</update>"


@pytest.fixture(scope="session")
def wine():
    if not EXE.exists():
        pytest.fail(f"{EXE} is missing: run tools/build.sh")
    display = Display().start()
    w = Wine(display.name)
    w.start_server()
    yield w
    w.stop_server()
    display.stop()


class Certificates:
    """The test certificates (tools/tls_certs.py) in one folder."""

    def __init__(self, folder):
        self.folder = Path(folder)

    def files(self, name):
        """(certificate chain, key) of one of tls_certs.SERVERS."""
        return self.folder / f"{name}.pem", self.folder / f"{name}-key.pem"

    def context(self, name, **kw):
        return tls_context(*self.files(name), **kw)


@pytest.fixture(scope="session")
def certs(wine):
    """Made afresh, their CA trusted by the test prefix."""
    if not TLS_EXE.exists():
        pytest.fail(f"{TLS_EXE} is missing: run tools/build.sh")
    out = subprocess.run([str(ROOT / "tools" / "trust-test-ca.sh")], env=dict(os.environ, LUMORA_BUILD=str(BUILD)),
                         check=True, capture_output=True, text=True).stdout
    return Certificates(out.strip())


@pytest.fixture(scope="session")
def service_session():
    svc = UpdateService(port=UPDATE_PORT)
    svc.start()
    yield svc
    svc.stop()


@pytest.fixture
def service(service_session):
    svc = service_session
    svc.set_manifest(NO_UPDATE)
    svc.set_refresh_fault(None)
    svc.clear_requests()
    svc.add_file("setup.exe", DEMO_SETUP.read_bytes())
    yield svc


@pytest.fixture
def workdir(wine):
    """The updater's work folder, emptied before and after each test."""
    reset_dir(wine.product_dir)
    if wine.browser_log.exists():
        wine.browser_log.unlink()
    yield wine.work_dir
    reset_dir(wine.product_dir)


@pytest.fixture
def run(wine, workdir):
    """Starts updaters; any still running at the end of the test is killed."""
    started = []

    def start(*args, exe=EXE, locale=None):
        u = Updater(wine, args, exe=exe, locale=locale)
        started.append(u)
        return u

    yield start
    for u in started:
        u.kill()
