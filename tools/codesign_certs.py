"""Test-only code-signing certificates for the tests of the signed release
(Debian's python3-cryptography): a root CA of our own and a code-signing
certificate it issued, in a password-protected PKCS#12 file as a publisher
gets it from his CA. Made afresh on every call, into a folder of the run,
and never committed.

    codesign_certs.py FOLDER    writes them and prints the folder

FOLDER/ca.pem        the root, for osslsigncode verify -CAfile (and ca.der
                     for a Wine prefix's Root store)
FOLDER/signer.pfx    key, certificate and the CA, encrypted with the
FOLDER/signer.pass   password, one line
"""
import datetime
import secrets
import sys
from pathlib import Path

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import rsa
from cryptography.hazmat.primitives.serialization import pkcs12
from cryptography.x509.oid import ExtendedKeyUsageOID, NameOID

DAY = datetime.timedelta(days=1)


def _name(text):
    return x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, text),
                      x509.NameAttribute(NameOID.ORGANIZATION_NAME, "Lumora test-only")])


def _key():
    # RSA: what code-signing CAs issue, and what every Windows version verifies.
    return rsa.generate_private_key(public_exponent=65537, key_size=2048)


def make(folder):
    folder = Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    now = datetime.datetime.now(datetime.timezone.utc)
    ca_key, key = _key(), _key()
    ca = (x509.CertificateBuilder().subject_name(_name("Lumora test-only code-signing CA"))
          .issuer_name(_name("Lumora test-only code-signing CA"))
          .public_key(ca_key.public_key()).serial_number(x509.random_serial_number())
          .not_valid_before(now - DAY).not_valid_after(now + 30 * DAY)
          .add_extension(x509.BasicConstraints(ca=True, path_length=0), critical=True)
          .add_extension(x509.KeyUsage(False, False, False, False, False, True, True, False, False), critical=True)
          .add_extension(x509.SubjectKeyIdentifier.from_public_key(ca_key.public_key()), critical=False)
          .sign(ca_key, hashes.SHA256()))
    cert = (x509.CertificateBuilder().subject_name(_name("Lumora test-only publisher"))
            .issuer_name(ca.subject)
            .public_key(key.public_key()).serial_number(x509.random_serial_number())
            .not_valid_before(now - DAY).not_valid_after(now + 30 * DAY)
            .add_extension(x509.BasicConstraints(ca=False, path_length=None), critical=True)
            .add_extension(x509.KeyUsage(True, False, False, False, False, False, False, False, False), critical=True)
            .add_extension(x509.ExtendedKeyUsage([ExtendedKeyUsageOID.CODE_SIGNING]), critical=False)
            .add_extension(x509.AuthorityKeyIdentifier.from_issuer_public_key(ca_key.public_key()), critical=False)
            .sign(ca_key, hashes.SHA256()))
    password = secrets.token_hex(12)
    (folder / "ca.pem").write_bytes(ca.public_bytes(serialization.Encoding.PEM))
    (folder / "ca.der").write_bytes(ca.public_bytes(serialization.Encoding.DER))
    (folder / "signer.pass").write_text(password + "\n")
    (folder / "signer.pfx").write_bytes(pkcs12.serialize_key_and_certificates(
        b"Lumora test-only publisher", key, cert, [ca],
        serialization.BestAvailableEncryption(password.encode())))
    return folder


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    print(make(sys.argv[1]))
