#!/usr/bin/env bash
# The main job: install and build what is missing, then run the updater with
# "-prompt" against the demo update service under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup-host.sh"
"$root/tools/build.sh"
exec /usr/bin/python3 "$root/tools/demo.py"
