#!/usr/bin/env bash
# Builds the release that a packager ships: the 32-bit executable for the real
# update and web hosts (the defaults in CMakeLists.txt) with the publisher's
# public key built in, stripped and zipped with skin/update/, and its symbols
# beside the zip. Reproducible: the same source gives the same bytes.
#
#   tools/release.sh --public-key FILE   the publisher's public key (PEM); up to three
#                                        times while moving to a new key
#   tools/release.sh --no-public-key     explicitly without a key: not for shipping
#   options: --build-dir DIR             default build/release
#            --update-host HOST[:PORT]   of the manifest endpoint; default in CMakeLists.txt
#            --update-scheme http|https  of the manifest endpoint; default https
#   signing (Authenticode, SHA-256; see tools/sign-release.sh):
#            --sign-pfx FILE             the code-signing key and certificate (PKCS#12), or a
#            --sign-pkcs11-module FILE --sign-key ID --sign-cert FILE   key on a token
#            --sign-pass-file FILE       the PFX password or the token PIN
#            --sign-ca FILE              roots the signature must verify against (PEM)
#            --timestamp-url URL         an RFC 3161 time-stamping service
#
# Results in DIR/dist: LumoraZUDeZazeda.zip and LumoraZUDeZazeda.exe.debug;
# the unsigned executable in stage/, the signed one in signed/. A signature
# that does not verify leaves no zip.
# Needs what tools/setup-host.sh installs. LUMORA_WERROR=1 makes warnings
# errors; LUMORA_RELEASE_ARCH=x86_64 builds the 64-bit executable instead.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
usage() { sed -n '7,18p' "$0" | sed 's/^# *//' >&2; exit 2; }

keys=() key="" without_key=0 dir="$root/build/release" scheme=https host="" sign=()
while [ $# -gt 0 ]; do
  case "$1" in
    --sign-pfx|--sign-pkcs11-module|--sign-key|--sign-cert|--sign-pass-file|--sign-ca|--timestamp-url)
      [ $# -ge 2 ] || usage; sign+=("$1" "$2"); shift 2 ;;
    --public-key) [ $# -ge 2 ] || usage; keys+=("$2"); shift 2 ;;
    --no-public-key) without_key=1; shift ;;
    --build-dir) [ $# -ge 2 ] || usage; dir=$2; shift 2 ;;
    --update-scheme) [ $# -ge 2 ] || usage; scheme=$2; shift 2 ;;
    --update-host) [ $# -ge 2 ] || usage; host=$2; shift 2 ;;
    *) usage ;;
  esac
done
if [ ${#keys[@]} -gt 3 ]; then
  echo "release: at most three public keys" >&2; exit 2
fi
for k in "${keys[@]}"; do
  [ -f "$k" ] || { echo "release: no key file $k" >&2; exit 2; }
  key="${key:+$key;}$(realpath "$k")"
done
if [ -z "$key" ] && [ $without_key = 0 ]; then
  echo "release: refusing to build a release without the publisher's public key;" >&2
  echo "         give --public-key FILE, or --no-public-key for a build not to ship" >&2
  exit 2
fi

# Wrong signing options fail now, not after the build.
[ ${#sign[@]} -eq 0 ] || "$root/tools/sign-release.sh" --check "${sign[@]}"

"$root/tools/fetch-tinyxml.sh"
# A clean build folder: nothing cached from an earlier configuration (a test
# host, another key) can reach the release.
rm -rf "$dir"
cmake -S "$root" -B "$dir" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw.cmake" \
  -DLUMORA_TARGET_ARCH="${LUMORA_RELEASE_ARCH:-i686}" \
  -DLUMORA_WERROR="$([ "${LUMORA_WERROR:-0}" = 1 ] && echo ON || echo OFF)" \
  -DLUMORA_PYTHON=/usr/bin/python3 -DLUMORA_UPDATE_SCHEME="$scheme" \
  ${key:+-DLUMORA_UPDATE_PUBLIC_KEY="$key"} ${host:+-DLUMORA_UPDATE_HOST="$host"} >/dev/null
cmake --build "$dir" -j "$(nproc)" --target dist >/dev/null

dist="$dir/dist"
# Signing comes after strip and debug link (the dist target), and the zip
# after signing: sign-release.sh replaces the unsigned zip.
[ ${#sign[@]} -eq 0 ] || "$root/tools/sign-release.sh" "${sign[@]}" "$dist"
show() { printf '%-34s %9d bytes  sha256 %s\n' "$1" "$(stat -c %s "$2")" "$(sha256sum "$2" | cut -d' ' -f1)"; }
show LumoraZUDeZazeda.zip "$dist/LumoraZUDeZazeda.zip"
show "LumoraZUDeZazeda.exe (unsigned)" "$dist/stage/LumoraZUDeZazeda.exe"
[ ${#sign[@]} -eq 0 ] || show "LumoraZUDeZazeda.exe (signed)" "$dist/signed/LumoraZUDeZazeda.exe"
show LumoraZUDeZazeda.exe.debug "$dist/LumoraZUDeZazeda.exe.debug"
sed -n 's/.*kManifestUrl\[\] = "\(.*\)";/manifest endpoint: \1/p' "$dir/app/LumoraZUDeZazeda-config.cpp"
# The version resource as support tools read it (Debian's python3-pefile).
/usr/bin/python3 - "$dist/stage/LumoraZUDeZazeda.exe" <<'PY' || true
import sys
import pefile
pe = pefile.PE(sys.argv[1])
f = pe.VS_FIXEDFILEINFO[0]
v = lambda ms, ls: f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"
print(f"version resource: file {v(f.FileVersionMS, f.FileVersionLS)}, product {v(f.ProductVersionMS, f.ProductVersionLS)}")
for info in pe.FileInfo[0]:
    for table in getattr(info, "StringTable", []):
        for key, value in table.entries.items():
            print(f"  {key.decode()}: {value.decode()}")
PY
[ -n "$key" ] || echo "release: built WITHOUT a publisher key: not for shipping" >&2
[ ${#sign[@]} -gt 0 ] || echo "release: the executable is NOT Authenticode-signed (--sign-pfx FILE signs it)" >&2
[ "$scheme" = https ] || echo "release: the manifest is fetched over $scheme, not https" >&2
