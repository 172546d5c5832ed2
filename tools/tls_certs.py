"""Test-only certificates for the tests over TLS (Debian's python3-cryptography).

A CA of our own, made on first use in a folder of the build and never
committed, and server certificates made afresh on every call: a good one
for localhost (Wine verifies a DNS name, not an address) and one for each
certificate fault. Only the build's private Wine prefix trusts the CA
(tools/trust-test-ca.sh).

    tls_certs.py FOLDER    writes them and prints the CA's path
"""
import datetime
import sys
from pathlib import Path

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.x509.oid import NameOID

DAY = datetime.timedelta(days=1)
# Server certificates: the good one and each fault, as (name, DNS name,
# issuer: "ca", "other" (a CA nobody trusts) or "self", validity in days
# from today).
SERVERS = [
    ("good", "localhost", "ca", (-1, 30)),
    ("expired", "localhost", "ca", (-30, -1)),
    ("wrong-host", "wrong-host.invalid", "ca", (-1, 30)),
    ("unknown-ca", "localhost", "other", (-1, 30)),
    ("self-signed", "localhost", "self", (-1, 30)),
]


def _name(text):
    return x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, text)])


def _write_key(path, key):
    path.write_bytes(key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                                       serialization.NoEncryption()))


def _ca(subject, key, now):
    return (x509.CertificateBuilder().subject_name(_name(subject)).issuer_name(_name(subject))
            .public_key(key.public_key()).serial_number(x509.random_serial_number())
            .not_valid_before(now - DAY).not_valid_after(now + 3650 * DAY)
            .add_extension(x509.BasicConstraints(ca=True, path_length=0), critical=True)
            .add_extension(x509.KeyUsage(False, False, False, False, False, True, True, False, False), critical=True)
            .sign(key, hashes.SHA256()))


def _server(dns, issuer_cert, issuer_key, key, days, now):
    subject = _name(dns)
    issuer = issuer_cert.subject if issuer_cert is not None else subject
    return (x509.CertificateBuilder().subject_name(subject).issuer_name(issuer)
            .public_key(key.public_key()).serial_number(x509.random_serial_number())
            .not_valid_before(now + days[0] * DAY).not_valid_after(now + days[1] * DAY)
            .add_extension(x509.SubjectAlternativeName([x509.DNSName(dns)]), critical=False)
            .add_extension(x509.ExtendedKeyUsage([x509.oid.ExtendedKeyUsageOID.SERVER_AUTH]), critical=False)
            .sign(issuer_key, hashes.SHA256()))


def make(folder):
    """Writes ca.pem and ca.der (kept once made, so that the prefix's trust
    stays valid), and <name>.pem / <name>-key.pem for every server
    certificate. Returns the folder."""
    folder = Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    now = datetime.datetime.now(datetime.timezone.utc)
    ca_key_path = folder / "ca-key.pem"
    if (folder / "ca.der").exists() and ca_key_path.exists():
        ca_key = serialization.load_pem_private_key(ca_key_path.read_bytes(), password=None)
        ca = x509.load_der_x509_certificate((folder / "ca.der").read_bytes())
    else:
        ca_key = ec.generate_private_key(ec.SECP256R1())
        ca = _ca("Lumora test-only CA", ca_key, now)
        _write_key(ca_key_path, ca_key)
        (folder / "ca.pem").write_bytes(ca.public_bytes(serialization.Encoding.PEM))
        (folder / "ca.der").write_bytes(ca.public_bytes(serialization.Encoding.DER))
    other_key = ec.generate_private_key(ec.SECP256R1())
    other = _ca("Lumora untrusted CA", other_key, now)
    for name, dns, issuer, days in SERVERS:
        key = ec.generate_private_key(ec.SECP256R1())
        signer = {"ca": (ca, ca_key), "other": (other, other_key), "self": (None, key)}[issuer]
        cert = _server(dns, signer[0], signer[1], key, days, now)
        chain = cert.public_bytes(serialization.Encoding.PEM)
        if signer[0] is not None:
            chain += signer[0].public_bytes(serialization.Encoding.PEM)
        (folder / f"{name}.pem").write_bytes(chain)
        _write_key(folder / f"{name}-key.pem", key)
    return folder


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    print(make(sys.argv[1]) / "ca.der")
