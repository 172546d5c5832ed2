#!/usr/bin/env python3
"""Prints the publisher's ECDSA P-256 public key, read from a PEM file
(SubjectPublicKeyInfo), as the 64 bytes X then Y in C initialiser form.
The build compiles them into the updater; anything that is not such a key
ends the build with a message saying why. Standard library only."""
import base64
import binascii
import sys

# SEQUENCE { SEQUENCE { id-ecPublicKey, prime256v1 }, BIT STRING { 04 X Y } }
SPKI_PREFIX = bytes.fromhex("3059301306072a8648ce3d020106082a8648ce3d030107034200")
P = 2**256 - 2**224 + 2**192 + 2**96 - 1
B = 0x5AC635D8AA3A93E7B3EBBD55769886BC651D06B0CC53B0F63BCE3C3E27D2604B


def read_key(path):
    try:
        text = open(path, "rb").read().decode("ascii")
    except (OSError, UnicodeDecodeError) as e:
        raise ValueError("cannot read it as a PEM text file (%s)" % e)
    begin, end = "-----BEGIN PUBLIC KEY-----", "-----END PUBLIC KEY-----"
    if begin not in text or end not in text:
        raise ValueError("no '%s' block (a private key or certificate is not accepted)" % begin)
    body = text.split(begin, 1)[1].split(end, 1)[0]
    try:
        der = base64.b64decode("".join(body.split()), validate=True)
    except binascii.Error:
        raise ValueError("the PEM block is not valid base64")
    if len(der) != len(SPKI_PREFIX) + 65 or not der.startswith(SPKI_PREFIX) or der[len(SPKI_PREFIX)] != 4:
        raise ValueError("not an uncompressed ECDSA P-256 (prime256v1) public key")
    xy = der[len(SPKI_PREFIX) + 1:]
    x, y = int.from_bytes(xy[:32], "big"), int.from_bytes(xy[32:], "big")
    if x >= P or y >= P or (y * y - (x * x * x - 3 * x + B)) % P:
        raise ValueError("the point is not on the P-256 curve")
    return xy


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: p256-public-key.py PUBLIC.pem")
    try:
        xy = read_key(sys.argv[1])
    except ValueError as e:
        sys.exit("%s: %s" % (sys.argv[1], e))
    print(",".join("0x%02x" % b for b in xy))


if __name__ == "__main__":
    main()
