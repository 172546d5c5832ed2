#!/usr/bin/env bash
# Builds the release twice, from two copies of the source in folders of
# different names, with another time zone, locale and umask, and compares
# the results byte for byte: anyone can then check that a shipped
# executable was built from this source. Both are signed with one
# code-signing certificate made for the run (tools/codesign_certs.py), so
# that the signed exe and zip are compared too; the unsigned exe is what
# anyone can rebuild.
# The copies hold what a clone would (tracked and new, not ignored files)
# plus the TinyXML source already fetched. The test-only key stands in for
# the publisher's.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/fetch-tinyxml.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/lumora-repro.XXXXXX")
trap 'rm -rf "$work"' EXIT
signer=$(/usr/bin/python3 "$root/tools/codesign_certs.py" "$work/codesign")
# The copies have no history to take the signing time from.
SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 1700000000)
export SOURCE_DATE_EPOCH

for copy in one second-copy; do
  if [ $copy = one ]; then env=(TZ=UTC LC_ALL=C) mask=022; else env=(TZ=Pacific/Chatham LC_ALL=C.UTF-8) mask=077; fi
  src="$work/$copy/src"
  echo "release build in $src (${env[*]}, umask $mask)"
  (umask $mask
   mkdir -p "$src/third_party"
   (cd "$root" && git ls-files -z --cached --others --exclude-standard |
      while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
      xargs -0 cp --parents -t "$src")
   cp -r "$root/third_party/tinyxml" "$src/third_party/"
   env "${env[@]}" "$src/tools/release.sh" --public-key "$src/tests/keys/test-only-publisher-public.pem" \
     --build-dir "$work/$copy/build" --sign-pfx "$signer/signer.pfx" --sign-pass-file "$signer/signer.pass" \
     --sign-ca "$signer/ca.pem")
done

status=0
for f in stage/LumoraZUDeZazeda.exe LumoraZUDeZazeda.exe.debug signed/LumoraZUDeZazeda.exe LumoraZUDeZazeda.zip; do
  if cmp -s "$work/one/build/dist/$f" "$work/second-copy/build/dist/$f"; then
    echo "identical: $f"
  else
    echo "DIFFERENT: $f"; status=1
  fi
done
exit $status
