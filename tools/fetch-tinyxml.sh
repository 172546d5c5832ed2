#!/usr/bin/env bash
# Unpacks Debian's tinyxml source package (with Debian's security patches
# applied) into third_party/tinyxml and adds our own patch on top: a limit on
# element nesting, enforced by the parser itself (tools/tinyxml-depth-limit.patch).
# Never committed; fetched on demand.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dest="$root/third_party/tinyxml"
patchfile="$root/tools/tinyxml-depth-limit.patch"
stamp="$dest/.patched-$(sha256sum "$patchfile" | cut -c1-16)"
[ -f "$stamp" ] && exit 0
rm -rf "$dest"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
( cd "$tmp" && apt-get source -qq tinyxml >/dev/null 2>&1 ) || {
  echo "fetch-tinyxml: apt-get source tinyxml failed (is there a deb-src entry?)" >&2; exit 1; }
src=$(find "$tmp" -maxdepth 1 -type d -name 'tinyxml-*' | head -n 1)
[ -n "$src" ] && [ -f "$src/tinyxml.cpp" ] || { echo "fetch-tinyxml: unexpected layout" >&2; exit 1; }
grep -q CVE-2023-34194 "$src/debian/patches/series" || { echo "fetch-tinyxml: security patches missing" >&2; exit 1; }
mkdir -p "$dest"
cp "$src"/tinyxml.cpp "$src"/tinyxml.h "$src"/tinyxmlerror.cpp "$src"/tinyxmlparser.cpp \
   "$src"/tinystr.h "$src"/xmltest.cpp "$dest"/
cp "$src/debian/patches/series" "$dest/PATCHES"
patch -s -p1 -d "$dest" <"$patchfile"
touch "$stamp"
