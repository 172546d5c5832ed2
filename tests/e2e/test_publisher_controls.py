"""The publisher's controls end to end: mirrors that take over when url
fails, and staged rollouts by the prefix's own cohort, in signed manifests
of the second format."""
import hashlib
import re

import pytest

from conftest import TEST_KEY, manifest, signing
from harness import DEMO_SETUP, SIGNED_EXE, logged, wait_for
from test_download import big_installer, kept_record, status_percentages
from test_fault_matrix import check_outcome

SETUP = DEMO_SETUP.read_bytes()
TAMPERED = SETUP[:-1] + bytes([SETUP[-1] ^ 1])  # same size, other bytes
FETCHED_MANIFEST = ["xml_new/version.xml"]
COMPLETED = ["setup.exe", "setup.exe.ran", "xml_new/version.xml"]
REFUSED = "http://127.0.0.1:1/setup.exe"


def serve_signed(service, url, mirrors=(), rollout=None, version="1.1.1.3", force="1"):
    base = service.base_url
    values = signing.manifest_values(signing.load_private_key(TEST_KEY), version, url.format(base=base), SETUP,
                                     force, rollout=rollout, mirrors=[m.format(base=base) for m in mirrors])
    service.set_manifest(signing.manifest_xml(values))


# (name, url, mirrors, outcome). The service's setup.exe is not what the
# manifest signs; its mirror.exe is. The file keeps url's name.
MIRROR_ROWS = [
    ("url answers 404", "{base}/fault/status=404/files/setup.exe", ["{base}/files/mirror.exe"], "completed"),
    ("url serves other bytes", "{base}/files/setup.exe", ["{base}/files/mirror.exe"], "completed"),
    ("url refused", REFUSED, ["{base}/files/mirror.exe"], "completed"),
    ("first mirror fails too", "{base}/files/setup.exe", [REFUSED, "{base}/fault/status=403/files/mirror.exe",
                                                         "{base}/files/mirror.exe"], "completed"),
    ("every source fails", "{base}/fault/status=404/files/setup.exe", [REFUSED, "{base}/files/setup.exe"], "failed"),
]


@pytest.mark.parametrize("name,url,mirrors,outcome", MIRROR_ROWS, ids=[r[0] for r in MIRROR_ROWS])
def test_mirrors_take_over_in_order(run, service, wine, workdir, name, url, mirrors, outcome):
    service.add_file("setup.exe", TAMPERED)
    service.add_file("mirror.exe", SETUP)
    serve_signed(service, url, mirrors)
    check_outcome(run(exe=SIGNED_EXE), wine, workdir, outcome, COMPLETED if outcome == "completed" else FETCHED_MANIFEST)
    # Each source once (a 403, a 404 and other bytes are final for it), in
    # order, up to the one that delivered.
    asked = [s.format(base="") for s in [url] + mirrors if not s.startswith(REFUSED)]
    if outcome == "completed":
        asked = asked[:asked.index("/files/mirror.exe") + 1]
    assert service.requests() == ["/Client/refresh"] + asked
    assert logged(wine, "source", mirror="1")


def test_progress_holds_while_a_mirror_catches_up(run, service, workdir):
    data = SETUP + b"\0" * (3 << 20)
    service.add_file("big.exe", data[:-1] + b"\1")
    service.add_file("copy.exe", data)
    verified = f"<size>{len(data)}</size><sha256>{hashlib.sha256(data).hexdigest()}</sha256>"
    service.set_manifest(manifest(force="1", url="{base}/fault/throttle=2M/files/big.exe",
                                  extra=verified + "<mirror>{base}/fault/throttle=2M/files/copy.exe</mirror>"))
    u = run()
    seen = status_percentages(u)
    assert seen == sorted(seen) and seen[-1] == 100
    assert u.wait_exit(30) == 0
    assert (workdir / "big.exe").read_bytes() == data


def prefix_cohort(wine, version):
    """The cohort of the prefix's machine and user, as the publisher's tool
    computes it from the prefix's MachineGuid and the one user's SID."""
    def reg(key, *args):
        # A Wine start can rarely fail outright; one more try tells that apart.
        for _ in range(3):
            out = wine.run("reg", ["query", key, *args]).stdout.decode("utf-8", "replace")
            if out.strip():
                return out
        return out
    guid = re.search(r"MachineGuid\s+REG_SZ\s+(\S+)", reg(r"HKLM\Software\Microsoft\Cryptography", "/v", "MachineGuid"))
    sids = re.findall(r"\\ProfileList\\(S-1-5-21-[-0-9]+)", reg(r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\ProfileList"))
    assert guid and len(sids) == 1
    return signing.cohort(guid.group(1), sids[0], version)


# (name, rollout: a number or a function of the cohort, force, arguments, outcome)
ROLLOUT_ROWS = [
    ("everyone", lambda c: 100, "0", (), "new_version"),
    ("cohort just inside", lambda c: c + 1, "0", (), "new_version"),
    ("cohort just outside", lambda c: c, "0", ("-prompt",), "no_update"),
    ("outside and forced", lambda c: c, "1", (), "closed"),
    ("outside with -test_update", lambda c: c, "0", ("-test_update",), "new_version"),
]


@pytest.mark.parametrize("name,rollout,force,args,outcome", ROLLOUT_ROWS, ids=[r[0] for r in ROLLOUT_ROWS])
def test_rollout_offers_to_the_cohorts_below_it(run, service, wine, workdir, name, rollout, force, args, outcome):
    # A version whose cohort leaves room below it for a rollout of at least 1.
    version = next(v for v in ("1.1.1.3", "1.1.1.4", "1.1.1.5") if prefix_cohort(wine, v) > 0)
    service.add_file("setup.exe", SETUP)
    cohort = prefix_cohort(wine, version)
    serve_signed(service, "{base}/files/setup.exe", rollout=rollout(cohort), version=version, force=force)
    check_outcome(run(*args, exe=SIGNED_EXE), wine, workdir, outcome, FETCHED_MANIFEST)
    assert service.requests() == ["/Client/refresh"]
    if "-test_update" not in args:
        assert logged(wine, "decision", rollout=str(rollout(cohort)), cohort=str(cohort))


def test_a_download_kept_from_a_mirror_goes_on_from_that_mirror(run, service, wine, workdir):
    size = 8 << 20
    data = big_installer(size, 5)
    service.add_file("copy.exe", data)
    verified = f"<size>{size}</size><sha256>{hashlib.sha256(data).hexdigest()}</sha256>"
    mirror = "{base}/fault/throttle=2M/files/copy.exe"
    service.set_manifest(manifest(force="1", url="{base}/fault/status=404/files/big.exe",
                                  extra=verified + f"<mirror>{mirror}</mirror>"))
    partial = workdir / "download.partial"
    u = run()
    assert wait_for(lambda: (workdir / "download.record").exists() and partial.stat().st_size >= size // 2, 20)
    u.kill()
    held = int(kept_record(workdir)["held"])
    service.clear_requests()
    assert run().wait_exit(30) == 0
    # Straight to the mirror, for the rest only; url is not asked again.
    log = [(e["path"], e["range"], e["status"]) for e in service.request_log() if e["path"] != "/Client/refresh"]
    assert log == [(mirror.format(base=""), f"bytes={held}-", 206)]
    assert (workdir / "big.exe").read_bytes() == data
    assert logged(wine, "kept", result="resume", held=str(held))
    assert wait_for((workdir / "big.exe.ran").exists, 5)
