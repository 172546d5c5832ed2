#!/usr/bin/env bash
# Builds everything on a machine set up by tools/setup-host.sh:
#   build/win      the Windows programs (the updater, demo installer,
#                  inspector, Windows tests), set up for the local service
#   build/native   the portable logic and its native tests
#   build/wine     the private Wine prefix
# Environment: LUMORA_SANITIZE=1 also builds build/sanitize (clang, ASan,
# UBSan, the fuzz targets); LUMORA_WERROR=1 makes warnings in product code
# errors (CI). LUMORA_BUILD=DIR builds into DIR instead of build/, and
# LUMORA_TARGET_ARCH=x86_64 (or i686) picks the Windows target; with
# LUMORA_WIN_ONLY=1 only DIR/win and DIR/wine are made, and DIR/native is
# the main build's (what the end-to-end tests of a second target need).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
b=${LUMORA_BUILD:-$root/build}
arch=$(tools/host-arch.sh)
command -v "$arch-w64-mingw32-g++-posix" >/dev/null || {
  echo "build: the MinGW toolchain is missing: run tools/setup-host.sh first" >&2; exit 1; }
tools/fetch-tinyxml.sh
jobs=$(nproc)
werror=OFF
[ "${LUMORA_WERROR:-0}" = 1 ] && werror=ON

# The demo and the tests talk to the update service on loopback; both hosts
# can be set from the environment.
: "${LUMORA_DEMO_PORT:=18473}"
: "${LUMORA_UPDATE_HOST:=127.0.0.1:$LUMORA_DEMO_PORT}"
: "${LUMORA_WEB_HOST:=127.0.0.1:18474}"
: "${LUMORA_WEB_SCHEME:=http}"
: "${LUMORA_UPDATE_SCHEME:=http}"
# tls/ and tls-signed/ hold updaters that ask https://localhost on this port
# (a certificate for the name, not the address, is what Wine verifies).
: "${LUMORA_TLS_PORT:=$((LUMORA_DEMO_PORT + 2))}"
# bin/ holds the updater with the publisher key given here (none by default:
# it acts on unsigned manifests); signed/ holds one that trusts only the two
# test-only keys under tests/keys, for the demo and the tests of signing;
# tls/ and tls-signed/ the same two asking for the manifest over https.
# Up to three keys, separated by ';'.
key=""
IFS=';' read -r -a keys <<<"${LUMORA_UPDATE_PUBLIC_KEY:-}"
for k in "${keys[@]}"; do
  [ -z "$k" ] || key="${key:+$key;}$(realpath "$k")"
done
cmake -S . -B "$b/win" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw.cmake" -DLUMORA_TARGET_ARCH="$arch" \
  -DLUMORA_UPDATE_HOST="$LUMORA_UPDATE_HOST" -DLUMORA_WEB_HOST="$LUMORA_WEB_HOST" \
  -DLUMORA_WEB_SCHEME="$LUMORA_WEB_SCHEME" -DLUMORA_UPDATE_SCHEME="$LUMORA_UPDATE_SCHEME" \
  -DLUMORA_UPDATE_PUBLIC_KEY="$key" -DLUMORA_SIGNED_TEST_EXE=ON -DLUMORA_TLS_TEST_HOST="localhost:$LUMORA_TLS_PORT" \
  -DLUMORA_WERROR=$werror >/dev/null
cmake --build "$b/win" -j "$jobs"
if [ "${LUMORA_WIN_ONLY:-0}" = 1 ]; then
  [ -e "$b/native" ] || ln -s "$root/build/native" "$b/native"
  LUMORA_BUILD="$b" LUMORA_ARCH="$arch" tools/wine-prefix.sh
  exit 0
fi

cmake -S . -B "$b/native" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=Debug -DLUMORA_WERROR=$werror >/dev/null
cmake --build "$b/native" -j "$jobs"
if [ "${LUMORA_SANITIZE:-0}" = 1 ]; then
  # clang with AddressSanitizer and UndefinedBehaviorSanitizer: the native
  # tests once more, and the libFuzzer targets.
  cmake -S . -B "$b/sanitize" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DLUMORA_SANITIZE=ON -DLUMORA_FUZZ=ON -DLUMORA_WERROR=$werror >/dev/null
  cmake --build "$b/sanitize" -j "$jobs"
fi

LUMORA_BUILD="$b" LUMORA_ARCH="$arch" tools/wine-prefix.sh
