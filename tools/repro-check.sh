#!/usr/bin/env bash
# Builds the release twice, from two copies of the source in folders of
# different names, and compares the results byte for byte: anyone can then
# check that a shipped executable was built from this source.
# The copies hold what a clone would (tracked and new, not ignored files)
# plus the TinyXML source already fetched. The test-only key stands in for
# the publisher's.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/fetch-tinyxml.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/lumora-repro.XXXXXX")
trap 'rm -rf "$work"' EXIT

for copy in one second-copy; do
  src="$work/$copy/src"
  mkdir -p "$src/third_party"
  (cd "$root" && git ls-files -z --cached --others --exclude-standard |
     while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
     xargs -0 cp --parents -t "$src")
  cp -r "$root/third_party/tinyxml" "$src/third_party/"
  echo "release build in $src"
  "$src/tools/release.sh" --public-key "$src/tests/keys/test-only-publisher-public.pem" \
    --build-dir "$work/$copy/build"
done

status=0
for f in LumoraZUDeZazeda.zip stage/LumoraZUDeZazeda.exe LumoraZUDeZazeda.exe.debug; do
  if cmp -s "$work/one/build/dist/$f" "$work/second-copy/build/dist/$f"; then
    echo "identical: $f"
  else
    echo "DIFFERENT: $f"; status=1
  fi
done
exit $status
