#!/usr/bin/env bash
# Installs the Debian packages that building and testing need. Idempotent:
# a machine that already has everything pays only for the dpkg queries.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
arch=$("$here/host-arch.sh")
PKGS=(cmake make g++ googletest
      g++-mingw-w64-i686-posix mingw-w64-i686-dev
      g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
      wine wine64 xvfb xdotool x11-utils imagemagick
      fonts-wqy-zenhei fonts-wine python3-pytest python3-pil python3-cryptography python3-pefile
      dpkg-dev patch locales
      curl clang libclang-rt-14-dev
      nginx-light)
# The 32-bit Wine loader is only useful where the kernel runs 32-bit code;
# elsewhere it would even shadow the 64-bit loader behind /usr/bin/wine.
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
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && \
   ! grep -qs '^deb-src' /etc/apt/sources.list; then
  src=/etc/apt/sources.list.d/debian.sources
  if [ -f "$src" ]; then
    sed 's/^Types: deb$/Types: deb-src/' "$src" | $SUDO tee /etc/apt/sources.list.d/debian-src.sources >/dev/null
  else
    grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' | $SUDO tee /etc/apt/sources.list.d/debian-src.list >/dev/null
  fi
  need_update=1
fi

if [ ${#missing[@]} -gt 0 ] || [ $need_update -eq 1 ]; then
  $SUDO apt-get update -qq
fi
# Where 32-bit programs cannot run, an installed 32-bit Wine loader is dead
# weight that also makes /usr/bin/wine pick it (and fail) for every program.
if [ "$arch" = x86_64 ] && dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
  echo "setup-host: removing wine32:i386 (this kernel runs 64-bit programs only)" >&2
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get remove -y -qq wine32:i386 >/dev/null
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup-host: installing ${missing[*]}" >&2
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
