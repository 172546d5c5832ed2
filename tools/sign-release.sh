#!/usr/bin/env bash
# Signs the release's executable with the publisher's Authenticode key
# (SHA-256), checks the signature it made, and only then zips the signed
# executable with skin/update/. tools/release.sh calls it when it is given a
# signing option; DIST is the folder its dist target made (stage/ holds the
# unsigned executable, which stays as it is: that is what reproduces).
#
#   sign-release.sh SIGNING-OPTIONS DIST   writes DIST/signed/ and DIST/LumoraZUDeZazeda.zip
#   sign-release.sh --check SIGNING-OPTIONS   only checks the options and files
#   sign-release.sh --verify EXE [--sign-ca FILE]   checks a signed executable
# signing options:
#   --sign-pfx FILE             the code-signing key and certificate chain (PKCS#12)
#   --sign-pkcs11-module FILE   or a key on a token: the token's PKCS#11 module,
#   --sign-key ID               the key (a pkcs11: URI, or its id)
#   --sign-cert FILE            and the certificate with its intermediates (PEM)
#   --sign-pass-file FILE       the PFX password or the token PIN (one line)
#   --sign-ca FILE              the roots the signature must verify against (PEM);
#                               default: the system's CA bundle
#   --timestamp-url URL         an RFC 3161 time-stamping service
#
# The signing time in the signature is SOURCE_DATE_EPOCH, or else the time
# of the last commit: the same executable signed again with the same key and
# no timestamp gives the same bytes. A timestamp is the service's answer
# and differs on every call.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
usage() { sed -n '8,19p' "$0" | sed 's/^# *//' >&2; exit 2; }
fail() { echo "sign-release: $*" >&2; exit 1; }
exe=LumoraZUDeZazeda.exe
# osslsigncode waits without end for a service that accepts and never answers.
limit=${LUMORA_SIGN_TIMEOUT:-120}

mode=sign pfx="" module="" key="" cert="" pass="" ca="" tsa="" target=""
while [ $# -gt 0 ]; do
  case "$1" in
    --check) mode=check; shift ;;
    --verify) [ $# -ge 2 ] || usage; mode=verify target=$2; shift 2 ;;
    --sign-pfx) [ $# -ge 2 ] || usage; pfx=$2; shift 2 ;;
    --sign-pkcs11-module) [ $# -ge 2 ] || usage; module=$2; shift 2 ;;
    --sign-key) [ $# -ge 2 ] || usage; key=$2; shift 2 ;;
    --sign-cert) [ $# -ge 2 ] || usage; cert=$2; shift 2 ;;
    --sign-pass-file) [ $# -ge 2 ] || usage; pass=$2; shift 2 ;;
    --sign-ca) [ $# -ge 2 ] || usage; ca=$2; shift 2 ;;
    --timestamp-url) [ $# -ge 2 ] || usage; tsa=$2; shift 2 ;;
    -*) usage ;;
    *) [ -z "$target" ] || usage; target=$1; shift ;;
  esac
done
command -v osslsigncode >/dev/null || fail "osslsigncode is missing: run tools/setup-host.sh"
for f in "$pfx" "$module" "$cert" "$pass" "$ca"; do
  [ -z "$f" ] || [ -r "$f" ] || fail "cannot read $f"
done

# verify EXE LOG: the signature, its digest of the file and its chain up to
# one of the roots; with a timestamp, the time-stamping service's chain too.
verify() {
  local args=(verify -in "$1")
  [ -z "$ca" ] || args+=(-CAfile "$ca" -TSA-CAfile "$ca")
  # Newer versions fetch the CRL of every certificate, and a release machine
  # may be offline: this checks what was just made; Windows checks
  # revocation when the file is run.
  if osslsigncode --help 2>&1 | grep -q -- -ignore-crl; then args+=(-ignore-crl); fi
  timeout "$limit" osslsigncode "${args[@]}" </dev/null >"$2" 2>&1
}
if [ $mode = verify ]; then
  log=$(mktemp); trap 'rm -f "$log"' EXIT
  if verify "$target" "$log"; then echo "sign-release: $target: signature verified"; exit 0; fi
  grep -iE 'mismatch|fail|error|unable|no signature|not ' "$log" | head -5 >&2 || true
  fail "$target: the signature does not verify"
fi

if [ -n "$pfx" ]; then
  [ -z "$module$key$cert" ] || fail "give either --sign-pfx or a token (--sign-pkcs11-module, --sign-key, --sign-cert), not both"
  signer=(-pkcs12 "$pfx")
elif [ -n "$module$key$cert" ]; then
  [ -n "$module" ] && [ -n "$key" ] && [ -n "$cert" ] ||
    fail "a token needs --sign-pkcs11-module, --sign-key and --sign-cert"
  signer=(-pkcs11module "$module" -key "$key" -certs "$cert")
else
  fail "no signing key: give --sign-pfx FILE, or a token"
fi
[ -z "$pass" ] || signer+=(-readpass "$pass")
case "$tsa" in ""|http://*|https://*) ;; *) fail "--timestamp-url must be an http or https URL" ;; esac
[ $mode = check ] && exit 0
roots=${ca:-"the system's CA bundle"}

[ -n "$target" ] || usage
dist=$target
[ -f "$dist/stage/$exe" ] && [ -d "$dist/stage/skin" ] || fail "$dist/stage holds no $exe and skin/"
# The unsigned zip of the dist target must not stay under the shipping name,
# and nothing of an earlier run either.
rm -rf "$dist/LumoraZUDeZazeda.zip" "$dist/signed"
work=$(mktemp -d "$dist/.signing.XXXXXX")
trap 'rm -rf "$work"' EXIT

when=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || true)}
[ -n "$when" ] || { when=$(date +%s); echo "sign-release: no commit and no SOURCE_DATE_EPOCH: signing time now, so another signing differs" >&2; }
args=(sign "${signer[@]}" -h sha256 -time "$when")
[ -z "$tsa" ] || args+=(-ts "$tsa")
rc=0
mkdir "$work/stage"
timeout "$limit" osslsigncode "${args[@]}" -in "$dist/stage/$exe" -out "$work/stage/$exe" </dev/null >"$work/sign.log" 2>&1 || rc=$?
if [ $rc = 124 ]; then
  fail "signing did not finish within $limit s${tsa:+ (does $tsa answer?)}; no zip written"
elif [ $rc != 0 ]; then
  grep -v '^$' "$work/sign.log" | tail -5 >&2
  fail "signing failed; no zip written"
fi
if ! verify "$work/stage/$exe" "$work/verify.log"; then
  grep -iE 'mismatch|fail|error|unable' "$work/verify.log" | head -5 >&2 || true
  fail "the signature made does not verify against $roots; no zip written"
fi
# osslsigncode calls a signature whose timestamp does not verify good
# anyway (checked at the current time): the timestamp would be worth nothing.
stamp="no timestamp"
if [ -n "$tsa" ]; then
  grep -q "Timestamp Server Signature verification: ok" "$work/verify.log" ||
    fail "the timestamp from $tsa does not verify against $roots (its root must be there too); no zip written"
  stamp="timestamp $(sed -n 's/^Signature verification time: *//p' "$work/verify.log" | head -1) from $tsa"
fi

cp -r "$dist/stage/skin" "$work/stage/skin"
/usr/bin/python3 "$root/tools/make-zip.py" "$work/LumoraZUDeZazeda.zip" "$work/stage"
mv "$work/stage" "$dist/signed"
mv "$work/LumoraZUDeZazeda.zip" "$dist/LumoraZUDeZazeda.zip"
subject=$(sed -n 's/^[[:space:]]*Subject: *//p' "$work/verify.log" | head -1)
echo "signed: SHA-256, by $subject, verified against $roots;" \
  "signing time $(date -u -d "@$when" +%Y-%m-%dT%H:%M:%SZ), $stamp"
