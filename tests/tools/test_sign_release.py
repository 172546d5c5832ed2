"""tools/sign-release.sh with a code-signing CA and certificate made for the
run (tools/codesign_certs.py), from a PKCS#12 file and from a software
token: what it ships verifies, nothing is zipped when the signature cannot
be made or checked, and a byte changed after signing is refused by
osslsigncode and by WinVerifyTrust under Wine."""
import os
import shutil
import subprocess
import sys
import zipfile
from pathlib import Path

import pytest
from cryptography.hazmat.primitives import serialization
from cryptography.hazmat.primitives.serialization import pkcs12

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tools"))
import codesign_certs  # noqa: E402

SIGN = ROOT / "tools" / "sign-release.sh"
EXE = "LumoraZUDeZazeda.exe"
SOFTHSM = Path("/usr/lib/softhsm/libsofthsm2.so")
BUILD = Path(os.environ.get("LUMORA_BUILD", ROOT / "build"))
VERIFY_TRUST = BUILD / "win" / "bin" / "verify-trust.exe"


@pytest.fixture(scope="module")
def certs(tmp_path_factory):
    for tool in ("osslsigncode", "softhsm2-util", "i686-w64-mingw32-gcc"):
        if not shutil.which(tool):
            pytest.fail(f"{tool} is missing: run tools/setup-host.sh")
    return codesign_certs.make(tmp_path_factory.mktemp("codesign"))


@pytest.fixture(scope="module")
def token(certs, tmp_path_factory):
    """The same key and certificate on a SoftHSM token of the run's own."""
    folder = tmp_path_factory.mktemp("token")
    (folder / "tokens").mkdir()
    conf = folder / "softhsm2.conf"
    conf.write_text(f"directories.tokendir = {folder / 'tokens'}\nobjectstore.backend = file\n")
    key, cert, more = pkcs12.load_key_and_certificates(
        (certs / "signer.pfx").read_bytes(), (certs / "signer.pass").read_text().strip().encode())
    (folder / "key.pem").write_bytes(key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                                                       serialization.NoEncryption()))
    (folder / "chain.pem").write_bytes(b"".join(c.public_bytes(serialization.Encoding.PEM) for c in [cert, *more]))
    (folder / "pin").write_text("271828\n")
    for cmd in (["--init-token", "--free", "--label", "lumora-test", "--so-pin", "314159", "--pin", "271828"],
                ["--import", str(folder / "key.pem"), "--token", "lumora-test", "--label", "signer", "--id", "01",
                 "--pin", "271828"]):
        subprocess.run(["softhsm2-util", *cmd], check=True, capture_output=True, env=token_env(folder))
    return folder


def token_env(folder):
    return dict(os.environ, SOFTHSM2_CONF=str(folder / "softhsm2.conf"))


@pytest.fixture(scope="module")
def program(tmp_path_factory):
    """A small Windows program of our own to sign (no build needed)."""
    folder = tmp_path_factory.mktemp("program")
    (folder / "p.c").write_text("int main(void) { return 0; }\n")
    subprocess.run(["i686-w64-mingw32-gcc", "-O1", "-s", "-o", str(folder / EXE), str(folder / "p.c")], check=True)
    return folder / EXE


def signer(kind, certs, token):
    if kind == "pfx":
        return ["--sign-pfx", certs / "signer.pfx", "--sign-pass-file", certs / "signer.pass"]
    return ["--sign-pkcs11-module", SOFTHSM, "--sign-key", "pkcs11:token=lumora-test;object=signer",
            "--sign-cert", token / "chain.pem", "--sign-pass-file", token / "pin"]


def make_dist(folder, program):
    """DIST as the dist target leaves it, with an unsigned zip already there."""
    (folder / "stage" / "skin" / "update").mkdir(parents=True)
    shutil.copy(program, folder / "stage" / EXE)
    (folder / "stage" / "skin" / "update" / "close.png").write_bytes(b"\x89PNG stand-in")
    (folder / "LumoraZUDeZazeda.zip").write_bytes(b"unsigned")
    return folder


def sign(*args, env=None):
    return subprocess.run(["bash", str(SIGN), *map(str, args)], capture_output=True, text=True, timeout=120, env=env)


@pytest.mark.parametrize("kind", ["pfx", "token"])
def test_the_zip_holds_the_signed_exe_and_signing_again_gives_the_same_bytes(tmp_path, certs, token, program, kind):
    signed = []
    for n in (1, 2):
        dist = make_dist(tmp_path / str(n), program)
        r = sign(*signer(kind, certs, token), "--sign-ca", certs / "ca.pem", dist, env=token_env(token))
        assert r.returncode == 0, r.stderr
        assert "signed: SHA-256, by /CN=Lumora test-only publisher" in r.stdout
        with zipfile.ZipFile(dist / "LumoraZUDeZazeda.zip") as z:
            assert z.namelist() == [EXE, "skin/update/close.png"]
            assert z.read(EXE) == (dist / "signed" / EXE).read_bytes()
        assert (dist / "stage" / EXE).read_bytes() == program.read_bytes()
        assert sign("--verify", dist / "signed" / EXE, "--sign-ca", certs / "ca.pem").returncode == 0
        signed.append((dist / "signed" / EXE).read_bytes())
    assert signed[0] == signed[1] != program.read_bytes()


# What goes wrong: (name, options besides --sign-pfx given the run's CA
# folder and another one, what the script says).
FAILURES = [
    ("another CA", lambda ours, other: ["--sign-pass-file", ours / "signer.pass", "--sign-ca", other / "ca.pem"],
     "does not verify against"),
    ("wrong password", lambda ours, other: ["--sign-pass-file", other / "signer.pass", "--sign-ca", ours / "ca.pem"],
     "signing failed"),
    ("timestamp service refuses", lambda ours, other: ["--sign-pass-file", ours / "signer.pass", "--sign-ca",
                                                       ours / "ca.pem", "--timestamp-url", "http://127.0.0.1:9/"],
     "signing failed"),
]


@pytest.mark.parametrize("name, opts, says", FAILURES, ids=[f[0] for f in FAILURES])
def test_no_zip_is_left_when_the_signature_cannot_be_made_or_verified(tmp_path, certs, program, name, opts, says):
    dist = make_dist(tmp_path / "dist", program)
    r = sign("--sign-pfx", certs / "signer.pfx", *opts(certs, codesign_certs.make(tmp_path / "other")), dist)
    assert r.returncode != 0
    assert says in r.stderr and "no zip written" in r.stderr
    assert sorted(p.name for p in dist.iterdir()) == ["stage"]


def flip(data, offset):
    data = bytearray(data)
    data[offset] ^= 0xFF
    return bytes(data)


# The signed file as made and changed after signing: (name, change, trusted).
# Offset 1100 is in the first section; the RSA signature value ends the
# signature, at most 7 bytes of padding before the end of the file.
CHANGES = [
    ("as signed", lambda signed, unsigned: signed, True),
    ("unsigned", lambda signed, unsigned: unsigned, False),
    ("code byte", lambda signed, unsigned: flip(signed, 1100), False),
    ("signature byte", lambda signed, unsigned: flip(signed, len(signed) - 40), False),
]


@pytest.fixture(scope="module")
def signed_program(tmp_path_factory, certs, program):
    dist = make_dist(tmp_path_factory.mktemp("signed"), program)
    r = sign("--sign-pfx", certs / "signer.pfx", "--sign-pass-file", certs / "signer.pass",
             "--sign-ca", certs / "ca.pem", dist)
    assert r.returncode == 0, r.stderr
    return (dist / "signed" / EXE).read_bytes()


@pytest.fixture(scope="module")
def changed_files(tmp_path_factory, program, signed_program):
    folder = tmp_path_factory.mktemp("changed")
    files = {}
    for name, change, _ in CHANGES:
        files[name] = folder / f"{name.replace(' ', '-')}.exe"
        files[name].write_bytes(change(signed_program, program.read_bytes()))
    return files


@pytest.fixture(scope="module")
def winverifytrust(changed_files):
    """WinVerifyTrust's answer for each file, from one Wine start."""
    if not VERIFY_TRUST.exists():
        pytest.skip(f"{VERIFY_TRUST} is missing: run tools/build.sh")
    paths = ["Z:" + str(p).replace("/", "\\") for p in changed_files.values()]
    r = subprocess.run([str(ROOT / "tools" / "wine-run"), str(VERIFY_TRUST), *paths],
                       env=dict(os.environ, LUMORA_BUILD=str(BUILD)), capture_output=True, text=True, timeout=120)
    lines = r.stdout.split()
    assert len(lines) == 2 * len(paths), r.stdout + r.stderr
    return dict(zip(changed_files, lines[0::2]))


@pytest.mark.parametrize("name, trusted", [(c[0], c[2]) for c in CHANGES])
def test_osslsigncode_refuses_a_file_changed_after_signing(certs, changed_files, name, trusted):
    r = sign("--verify", changed_files[name], "--sign-ca", certs / "ca.pem")
    assert (r.returncode == 0) == trusted, r.stdout + r.stderr


@pytest.mark.parametrize("name, trusted", [(c[0], c[2]) for c in CHANGES])
def test_winverifytrust_under_wine_refuses_a_file_changed_after_signing(winverifytrust, name, trusted):
    # Wine's answer does not depend on the CA (the prefix does not trust
    # it): it checks the signature and the file's digest only.
    assert (winverifytrust[name] == "0x00000000") == trusted, winverifytrust
