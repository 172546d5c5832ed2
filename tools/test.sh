#!/usr/bin/env bash
# Runs every test: native unit tests (plain and with AddressSanitizer and
# UndefinedBehaviorSanitizer), Windows tests under Wine, the update service's
# own tests, and the end-to-end tests of the real exe under Wine on Xvfb.
# Installs and builds whatever is missing first, with warnings in product
# code as errors, and builds both Windows architectures. The Windows and
# end-to-end layers run the 32-bit exe that ships wherever 32-bit Wine runs
# (natively or emulated, see tools/setup-i386-emulation.sh), and then the
# x86_64 exe as well; where it cannot run, they run x86_64 alone. The
# shipped 32-bit release is built twice from two copies of the source and
# compared byte for byte.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
tools/setup-host.sh
export LUMORA_WERROR=1
LUMORA_SANITIZE=1 tools/build.sh
source tools/wine-env.sh

status=0
step() { echo; echo "==== $* (at ${SECONDS} s)"; }

step "release build (i686), twice, compared"
tools/repro-check.sh || status=1
# The second target, where the first is i686: its own build and Wine prefix.
x64=""
if [ "$LUMORA_ARCH" = i686 ]; then
  x64=$root/build/x86_64
  step "x86_64 build of the product and its tests"
  LUMORA_BUILD=$x64 LUMORA_TARGET_ARCH=x86_64 LUMORA_WIN_ONLY=1 tools/build.sh >/dev/null || status=1
else
  echo "test: 32-bit Wine cannot run here; the Windows and end-to-end layers run the x86_64 exe only" >&2
fi
# on <build root> <arch> <command...>: a command in that build's Wine setting.
on() { local b=$1 a=$2; shift 2; env LUMORA_BUILD="$b" LUMORA_ARCH="$a" bash -c 'source tools/wine-env.sh; "$@"' on "$@"; }
win_tests() {
  "$WINESERVER" -k 2>/dev/null || true
  tools/with-xvfb.sh bash -c '"$WINESERVER" -p; cd "$LUMORA_BUILD/win" && ctest --output-on-failure --timeout 300; rc=$?; "$WINESERVER" -k; exit $rc'
}
e2e_tests() {
  "$WINESERVER" -k 2>/dev/null || true
  /usr/bin/python3 -m pytest -q tests/e2e "$@"; local rc=$?
  "$WINESERVER" -k 2>/dev/null || true
  return $rc
}
export -f win_tests e2e_tests

step "native unit tests"
(cd build/native && ctest --output-on-failure) || status=1
step "native unit tests under ASan and UBSan"
(cd build/sanitize && ctest --output-on-failure) || status=1
step "fuzz targets, a short fixed run over the seed corpus"
for t in manifest version; do
  corpus=$(mktemp -d)
  build/sanitize/tests/fuzz/fuzz_$t -runs=20000 -max_len=4096 -seed=1 -artifact_prefix="$corpus/" \
    "$corpus" "tests/fuzz/corpus/$t" >"$corpus.log" 2>&1 || { tail -20 "$corpus.log"; status=1; }
  grep -h "^Done" "$corpus.log" | sed "s/^/fuzz_$t: /"
  rm -rf "$corpus" "$corpus.log"
done

# A persistent server keeps each test program's Wine start warm.
step "Windows tests under Wine ($LUMORA_ARCH)"
on "$root/build" "$LUMORA_ARCH" win_tests || status=1
if [ -n "$x64" ]; then
  step "Windows tests under Wine (x86_64)"
  on "$x64" x86_64 win_tests || status=1
fi

step "update service and tool tests"
/usr/bin/python3 -m pytest -q tests/service tests/tools || status=1

step "end-to-end tests ($LUMORA_ARCH)"
on "$root/build" "$LUMORA_ARCH" e2e_tests || status=1
if [ -n "$x64" ]; then
  step "end-to-end tests (x86_64)"
  on "$x64" x86_64 e2e_tests || status=1
fi

echo
echo "(${SECONDS} s in all)"
[ $status -eq 0 ] && echo "all test layers passed" || echo "some test layer FAILED"
exit $status
