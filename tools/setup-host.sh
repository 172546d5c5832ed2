#!/usr/bin/env bash
# Installs the Debian packages that building and testing need. Idempotent:
# a machine that already has everything pays only for the dpkg queries.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
arch=$("$here/host-arch.sh" --kernel)
# A kernel that refuses i386 programs can still run them through user-mode
# emulation; only where that cannot be had do the tests run x86_64.
if [ "$arch" = x86_64 ] && [ -z "${LUMORA_TARGET_ARCH:-}" ] && "$here/setup-i386-emulation.sh"; then
  arch=i686
fi
PKGS=(cmake make g++ googletest
      g++-mingw-w64-i686-posix mingw-w64-i686-dev
      g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
      wine wine64 xvfb xdotool x11-utils imagemagick
      fonts-wqy-zenhei fonts-wine python3-pytest python3-pil python3-cryptography python3-pefile
      dpkg-dev patch locales
      curl clang libclang-rt-14-dev
      nginx-light
      osslsigncode softhsm2 libengine-pkcs11-openssl)
# The 32-bit Wine loader is only useful where 32-bit code runs (natively or
# emulated); elsewhere it would even shadow the 64-bit loader behind /usr/bin/wine.
[ "$arch" = i686 ] && PKGS+=(wine32:i386)

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

need_update=0
if [ "$arch" = i686 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  need_update=1
fi
# TinyXML is built from Debian's source package, which needs a deb-src entry.
etc=${LUMORA_APT_ETC:-/etc/apt}  # the tests point it elsewhere
if ! grep -rqs '^Types:.*deb-src' "$etc/sources.list.d/" && \
   ! grep -qs '^deb-src' "$etc/sources.list"; then
  src=$etc/sources.list.d/debian.sources
  if [ -f "$src" ]; then
    sed 's/^Types: deb$/Types: deb-src/' "$src" | $SUDO tee "$etc/sources.list.d/debian-src.sources" >/dev/null
  else
    grep '^deb ' "$etc/sources.list" | sed 's/^deb /deb-src /' | $SUDO tee "$etc/sources.list.d/debian-src.list" >/dev/null
  fi
  need_update=1
fi

# A mirror in the middle of a sync makes one index fail ("File has unexpected
# size ... Mirror sync in progress?") and apt-get update exit non-zero. Try
# three times; then go on with the indexes that did arrive: the install
# below says whether the packages can still be had.
apt_update() {
  local try
  for try in 1 2 3; do
    $SUDO apt-get update -qq && return 0
    [ $try -lt 3 ] && sleep "${LUMORA_APT_RETRY_PAUSE:-10}"
  done
  echo "setup-host: apt-get update failed three times; going on with the package lists it did fetch" >&2
}
if [ ${#missing[@]} -gt 0 ] || [ $need_update -eq 1 ]; then
  apt_update
fi
# Where 32-bit programs cannot run, an installed 32-bit Wine loader is dead
# weight that also makes /usr/bin/wine pick it (and fail) for every program.
if [ "$arch" = x86_64 ] && dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
  echo "setup-host: removing wine32:i386 (this kernel runs 64-bit programs only)" >&2
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get remove -y -qq wine32:i386 >/dev/null
fi
apt_install() {
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}
wine32=()
for i in "${!missing[@]}"; do
  if [ "${missing[$i]}" = wine32:i386 ]; then wine32=(wine32:i386); unset 'missing[i]'; fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup-host: installing ${missing[*]}" >&2
  apt_install "${missing[@]}"
fi
# 32-bit Wine needs the i386 halves of multi-arch libraries at the very
# versions of the amd64 ones, which a half-synced mirror may not offer.
if [ ${#wine32[@]} -gt 0 ] && ! apt_install wine32:i386 2>/dev/null; then
  echo "setup-host: wine32:i386 cannot be installed from this mirror now; building and testing x86_64 instead" >&2
fi
