"""Signed manifests end to end: the updater built with the test key acts only
on a manifest signed with it, complete and unexpired; anything else is a
failed check, and nothing but the manifest is fetched."""
import base64
import tempfile
from pathlib import Path

import pytest

from conftest import NEXT_KEY, TEST_KEY, manifest, signed_values, signing
from harness import DEMO_SETUP, SIGNED_EXE, logged
from test_fault_matrix import check_outcome

SETUP = DEMO_SETUP.read_bytes()
FETCHED_MANIFEST = ["xml_new/version.xml"]
COMPLETED = ["setup.exe", "setup.exe.ran", "xml_new/version.xml"]


@pytest.fixture
def serve(service):
    """Serves a manifest from its element texts."""
    def serve(values):
        service.set_manifest(signing.manifest_xml(values))
    return serve


@pytest.mark.parametrize("force,outcome,files", [("1", "completed", COMPLETED),
                                                 ("0", "new_version", FETCHED_MANIFEST)])
def test_signed_manifest_updates_as_before(run, service, serve, wine, workdir, force, outcome, files):
    serve(signed_values(service, force=force))
    check_outcome(run(exe=SIGNED_EXE), wine, workdir, outcome, files)


def other_key():
    path = Path(tempfile.mkdtemp()) / "other.pem"
    signing.keygen(path, path.with_suffix(".pub"))
    return signing.load_private_key(path)


def without(values, name):
    return {k: x for k, x in values.items() if k != name}


def resign(values, key=TEST_KEY, **changes):
    """The values with changes, signed again over what is then there."""
    values = dict(without(values, "signature"), **changes)
    return dict(values, signature=signing.sign_values(signing.load_private_key(key), values))


# (name, how the signed values are spoiled) - each is served as it is.
UNTRUSTED = [
    ("version changed", lambda v: dict(v, version="1.1.1.4")),
    ("url changed", lambda v: dict(v, url=v["url"].replace("setup.exe", "other.exe"))),
    ("force changed", lambda v: dict(v, force="0")),
    ("size changed", lambda v: dict(v, size=str(int(v["size"]) + 1))),
    ("sha256 changed", lambda v: dict(v, sha256="00" * 32)),
    ("expires changed", lambda v: dict(v, expires="2099-01-01T00:00:00Z")),
    ("signature missing", lambda v: without(v, "signature")),
    ("signature empty", lambda v: dict(v, signature="")),
    ("signature not base64", lambda v: dict(v, signature="not base64!")),
    ("signature of 63 bytes", lambda v: dict(v, signature=base64.b64encode(base64.b64decode(v["signature"])[:63]).decode())),
    ("another key", lambda v: dict(v, signature=signing.sign_values(other_key(), without(v, "signature")))),
    ("expired", lambda v: resign(v, expires=signing.expiry(-1))),
    ("size missing though signed", lambda v: without(resign(v, size=""), "size")),
    ("sha256 missing though signed", lambda v: without(resign(v, sha256=""), "sha256")),
    # The second format: adding or removing a control breaks the signature,
    # and signed controls must still be well formed.
    ("rollout added", lambda v: dict(v, rollout="100")),
    ("mirror removed", lambda v: dict(resign(v, mirror=[v["url"], v["url"]]), mirror=[v["url"]])),
    ("five mirrors though signed", lambda v: resign(v, mirror=[v["url"]] * 5)),
    ("rollout 0 though signed", lambda v: resign(v, rollout="0")),
    # Signed as the url reads up to the NUL; the rest would go unseen.
    ("NUL in a signed value", lambda v: v),
]


# The rule update.log names, for some of them.
RULES = {"version changed": "bad-signature", "signature missing": "not-signed", "expired": "expired",
         "size missing though signed": "no-size-or-sha256", "NUL in a signed value": "nul-in-value"}


@pytest.mark.parametrize("name,spoil", UNTRUSTED, ids=[u[0] for u in UNTRUSTED])
def test_untrusted_manifest_is_a_failed_check(run, service, wine, workdir, name, spoil):
    text = signing.manifest_xml(spoil(signed_values(service, force="1")))
    if name.startswith("NUL"):
        text = text.replace("</url>", "&#0;.txt</url>")
    service.set_manifest(text)
    check_outcome(run("-prompt", exe=SIGNED_EXE), wine, workdir, "failed", FETCHED_MANIFEST)
    assert service.requests() == ["/Client/refresh"]
    if name in RULES:
        assert logged(wine, "trust", result="untrusted", rule=RULES[name])


@pytest.mark.parametrize("signed,args,outcome", [
    (False, (), "closed"),                          # silent: closes, as after any failed check
    (True, (), "closed"),                           # the same for one changed after signing
    (False, ("-prompt", "-test_update"), "failed"),  # the switch does not make a manifest trusted
])
def test_refused_manifest_outcomes(run, service, wine, workdir, signed, args, outcome):
    text = manifest("0.1", force="1")
    if signed:
        text = signing.manifest_xml(dict(signed_values(service, force="1"), version="1.1.1.4"))
    service.set_manifest(text)
    check_outcome(run(*args, exe=SIGNED_EXE), wine, workdir, outcome, FETCHED_MANIFEST)
    assert service.requests() == ["/Client/refresh"]


@pytest.mark.parametrize("version, outcome", [("0.1", "no_update"), ("1.1.1.2", "new_version")])
def test_test_update_offers_a_trusted_manifest_only_when_it_is_no_downgrade(run, service, serve, wine, workdir,
                                                                             version, outcome):
    # An old signed manifest replayed with the switch would install an older version.
    serve(signed_values(service, version=version))
    check_outcome(run("-prompt", "-test_update", exe=SIGNED_EXE), wine, workdir, outcome, FETCHED_MANIFEST)


def test_installer_that_differs_from_its_signed_digest_is_not_started(run, service, serve, wine, workdir):
    serve(signed_values(service, force="1", body=SETUP + b"tampered"))
    service.add_file("setup.exe", SETUP + b"tampere!")  # same size, other bytes
    check_outcome(run(exe=SIGNED_EXE), wine, workdir, "failed", FETCHED_MANIFEST)


@pytest.mark.parametrize("target", ["url", "local path"])
def test_signed_build_ignores_a_command_line_target(run, service, serve, wine, workdir, target):
    # It would otherwise fetch and start whatever a link or a script names.
    serve(signed_values(service, force="1"))
    local = wine.temp_dir / "local-setup.exe"
    marker = local.with_name("local-setup.exe.ran")
    marker.unlink(missing_ok=True)
    local.write_bytes(SETUP)
    service.add_file("other.exe", SETUP)
    try:
        arg = service.base_url + "/files/other.exe" if target == "url" else wine.win_path(local)
        check_outcome(run("-test_update", arg, exe=SIGNED_EXE), wine, workdir, "completed", COMPLETED)
        assert service.requests() == ["/Client/refresh", "/files/setup.exe"]
        assert not marker.exists()
    finally:
        local.unlink(missing_ok=True)
        marker.unlink(missing_ok=True)


def test_a_manifest_signed_with_the_second_trusted_key_is_acted_on(run, service, serve, wine, workdir):
    # A third, unknown key is the "another key" row above.
    serve(signed_values(service, force="1", key=NEXT_KEY))
    check_outcome(run(exe=SIGNED_EXE), wine, workdir, "completed", COMPLETED)
