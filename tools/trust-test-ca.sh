#!/usr/bin/env bash
# Makes the test-only CA (tools/tls_certs.py, in build/tls) trusted by the
# build's private Wine prefix, and by nothing else: the certificate goes into
# the prefix's own Root store. Prints the folder of the test certificates.
#   trust-test-ca.sh [CERT_FOLDER]   default: <build>/tls
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine-env.sh"
folder=${1:-$LUMORA_BUILD/tls}
/usr/bin/python3 "$here/tls_certs.py" "$folder" >/dev/null
out=$("$WINE" "$LUMORA_BUILD/win/bin/trust-ca.exe" "$("$WINE" winepath -w "$folder/ca.der" 2>/dev/null)" 2>/dev/null | tr -d '\r')
[ "$out" = trusted ] || { echo "trust-test-ca: $out" >&2; exit 1; }
echo "$folder"
