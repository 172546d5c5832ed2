#!/usr/bin/python3
r"""The publisher's tool for signed update manifests.

  sign-manifest.py keygen --private PRIV.pem --public PUB.pem
  sign-manifest.py sign --key PRIV.pem --version V --url U --installer FILE
                        [--force N] [--valid-days D] [--rollout PERCENT]
                        [--mirror URL ...] [--out MANIFEST.xml]
  sign-manifest.py cohort --machine-guid G --sid S --version V

The updater built with PUB.pem (CMake: LUMORA_UPDATE_PUBLIC_KEY) acts only on
manifests whose signature verifies: ECDSA P-256 over SHA-256 of the signed
text below, written as standard base64 of r then s (32 bytes each).

    lumora-update-manifest/1
    version=<version>
    url=<url>
    force=<force>
    size=<size>
    sha256=<sha256>
    expires=<expires>

With a rollout or a mirror the first line reads lumora-update-manifest/2,
and after expires follow "rollout=<rollout>" (empty when not given) and one
"mirror=<url>" line for each mirror, in order.

Each line ends in one LF; each value is the element's text exactly as the
updater reads it. Needs Debian's python3-cryptography.

A machine is in a rollout of N percent when its cohort (the "cohort"
command: from the MachineGuid under HKLM\SOFTWARE\Microsoft\Cryptography,
the user's SID and the offered version) is below N.
"""
import argparse
import base64
import datetime
import hashlib
import os
import re
import sys
from xml.sax.saxutils import escape

from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.hazmat.primitives.asymmetric.utils import decode_dss_signature

HEADER = "lumora-update-manifest/1"
HEADER_2 = "lumora-update-manifest/2"
SIGNED = ("version", "url", "force", "size", "sha256", "expires")
MAX_MIRRORS = 4
# The XML reader drops blanks at either end of a text and folds inner runs
# into one space, so a value must already be in that form to be signed as
# read. Control characters have no place in any value.
_UNCHANGED_BY_READER = re.compile(r"[^\s\x00-\x1f\x7f\ufeff\ufffe\uffff](?:[^\s\x00-\x1f\x7f]| (?! ))*\Z|\Z")


def signed_text(values):
    """The bytes that are signed, for a dict of element texts ("mirror": a
    list of them)."""
    mirrors = values.get("mirror", [])
    format2 = "rollout" in values or bool(mirrors)
    lines = [HEADER_2 if format2 else HEADER] + ["%s=%s" % (name, values.get(name, "")) for name in SIGNED]
    if format2:
        lines += ["rollout=%s" % values.get("rollout", "")] + ["mirror=%s" % m for m in mirrors]
    return ("\n".join(lines) + "\n").encode("utf-8")


def cohort(machine_guid, sid, version):
    """0 to 99: the machine is in a rollout of N percent when this is below N."""
    digest = hashlib.sha256(("lumora-rollout\n%s\n%s\n%s" % (machine_guid, sid, version)).encode("utf-8")).digest()
    return int.from_bytes(digest[:4], "big") % 100


def load_private_key(path):
    with open(path, "rb") as f:
        key = serialization.load_pem_private_key(f.read(), password=None)
    if not isinstance(key, ec.EllipticCurvePrivateKey) or key.curve.name != "secp256r1":
        raise ValueError("%s is not an ECDSA P-256 private key" % path)
    return key


def sign_values(key, values):
    """Base64 of r||s over the signed text of values."""
    r, s = decode_dss_signature(key.sign(signed_text(values), ec.ECDSA(hashes.SHA256())))
    return base64.b64encode(r.to_bytes(32, "big") + s.to_bytes(32, "big")).decode("ascii")


def expiry(valid_days, now=None):
    now = now or datetime.datetime.now(datetime.timezone.utc)
    return (now + datetime.timedelta(days=valid_days)).strftime("%Y-%m-%dT%H:%M:%SZ")


def manifest_values(key, version, url, installer, force="0", valid_days=14.0, rollout=None, mirrors=()):
    """The element texts of a signed manifest for an installer's bytes."""
    values = {"version": str(version), "url": str(url), "force": str(force), "size": str(len(installer)),
              "sha256": hashlib.sha256(installer).hexdigest(), "expires": expiry(valid_days)}
    if rollout is not None:
        values["rollout"] = str(rollout)
    if mirrors:
        values["mirror"] = [str(m) for m in mirrors]
    for name, value in values.items():
        for text in value if isinstance(value, list) else [value]:
            if not _UNCHANGED_BY_READER.match(text):
                raise ValueError("%s %r: no blanks at the ends, no runs of blanks, no control characters"
                                 % (name, text))
    values["signature"] = sign_values(key, values)
    return values


# A signed manifest can be served again by anyone who kept a copy, so it must
# not outlive the next release by much: a careless --valid-days would let an
# old, vulnerable version pass as new for years.
MAX_VALID_DAYS = 90


def valid_days(text):
    days = float(text)
    if not 0 < days <= MAX_VALID_DAYS:  # also refuses nan
        raise argparse.ArgumentTypeError("must be more than 0 and at most %d days" % MAX_VALID_DAYS)
    return days


def rollout_percent(text):
    if not re.fullmatch(r"[1-9][0-9]{0,2}", text) or int(text) > 100:
        raise argparse.ArgumentTypeError("must be a whole number from 1 to 100")
    return int(text)


def mirror_url(text):
    if not re.match(r"https?://[^/]", text):
        raise argparse.ArgumentTypeError("must be an http or https URL")
    return text


def manifest_xml(values):
    """The manifest document; elements in the dict's order, a list as one
    element per item."""
    body = "".join("  <%s>%s</%s>\n" % (name, escape(text), name) for name, value in values.items()
                   for text in (value if isinstance(value, list) else [value]))
    return '<?xml version="1.0" encoding="UTF-8"?>\n<update>\n%s</update>\n' % body


def keygen(private_path, public_path):
    key = ec.generate_private_key(ec.SECP256R1())
    private = key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                                serialization.NoEncryption())
    public = key.public_key().public_bytes(serialization.Encoding.PEM,
                                           serialization.PublicFormat.SubjectPublicKeyInfo)
    fd = os.open(private_path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
    with os.fdopen(fd, "wb") as f:
        f.write(private)
    with open(public_path, "wb") as f:
        f.write(public)


def main(argv=None):
    ap = argparse.ArgumentParser(description="Keys and signed manifests for the updater.")
    sub = ap.add_subparsers(dest="command", required=True)
    kg = sub.add_parser("keygen", help="write a new key pair (the private file must not exist yet)")
    kg.add_argument("--private", required=True)
    kg.add_argument("--public", required=True)
    sg = sub.add_parser("sign", help="write a signed manifest for an installer")
    sg.add_argument("--key", required=True, help="private key PEM")
    sg.add_argument("--version", required=True)
    sg.add_argument("--url", required=True)
    sg.add_argument("--installer", required=True, help="the installer file the url serves")
    sg.add_argument("--force", default="0", help="1: download without asking (default 0)")
    sg.add_argument("--valid-days", type=valid_days, default=14.0,
                    help="until the manifest expires (default 14, at most %d)" % MAX_VALID_DAYS)
    sg.add_argument("--rollout", type=rollout_percent,
                    help="offer it to this percentage of machines only (1 to 100)")
    sg.add_argument("--mirror", type=mirror_url, action="append", default=[],
                    help="a download URL tried when url fails (repeatable, at most %d, tried in order)"
                    % MAX_MIRRORS)
    sg.add_argument("--out", help="manifest file (default: standard output)")
    co = sub.add_parser("cohort", help="print a machine's cohort for a version (0 to 99)")
    co.add_argument("--machine-guid", required=True, help="MachineGuid (empty when the machine has none)")
    co.add_argument("--sid", required=True, help="the user's SID, S-1-5-...")
    co.add_argument("--version", required=True)
    args = ap.parse_args(argv)
    if args.command == "cohort":
        print(cohort(args.machine_guid, args.sid, args.version))
        return 0
    if args.command == "sign" and len(args.mirror) > MAX_MIRRORS:
        ap.error("at most %d mirrors" % MAX_MIRRORS)
    try:
        if args.command == "keygen":
            keygen(args.private, args.public)
            return 0
        with open(args.installer, "rb") as f:
            installer = f.read()
        xml = manifest_xml(manifest_values(load_private_key(args.key), args.version, args.url, installer,
                                           args.force, args.valid_days, args.rollout, args.mirror))
    except (OSError, ValueError) as e:
        ap.exit(1, "sign-manifest: %s\n" % e)
    if args.out:
        with open(args.out, "w", encoding="utf-8") as f:
            f.write(xml)
    else:
        sys.stdout.write(xml)
    return 0


if __name__ == "__main__":
    sys.exit(main())
