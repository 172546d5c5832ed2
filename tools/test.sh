#!/usr/bin/env bash
# Runs every test: native unit tests (plain and with AddressSanitizer and
# UndefinedBehaviorSanitizer), Windows tests under Wine, the update service's
# own tests, and the end-to-end tests of the real exe under Wine on Xvfb.
# Installs and builds whatever is missing first, with warnings in product
# code as errors, and builds both Windows architectures: the tests run the
# one this machine can execute; the shipped 32-bit release is built twice
# from two copies of the source and compared byte for byte.
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
if [ "$LUMORA_ARCH" != x86_64 ]; then
  step "x86_64 build of the product"
  LUMORA_RELEASE_ARCH=x86_64 tools/release.sh --no-public-key --build-dir build/release-x86_64 2>/dev/null || status=1
fi

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

step "Windows tests under Wine"
# A persistent server keeps each test program's Wine start warm.
"$WINESERVER" -k 2>/dev/null || true
tools/with-xvfb.sh bash -c '"$WINESERVER" -p; cd build/win && ctest --output-on-failure --timeout 300; rc=$?; "$WINESERVER" -k; exit $rc' || status=1

step "update service and tool tests"
/usr/bin/python3 -m pytest -q tests/service tests/tools || status=1

step "end-to-end tests"
"$WINESERVER" -k 2>/dev/null || true
/usr/bin/python3 -m pytest -q tests/e2e || status=1
"$WINESERVER" -k 2>/dev/null || true

echo
echo "(${SECONDS} s in all)"
[ $status -eq 0 ] && echo "all test layers passed" || echo "some test layer FAILED"
exit $status
