#!/usr/bin/env bash
# Runs a command with DISPLAY set to a private Xvfb server on a free display
# number; the server is stopped afterwards.
set -uo pipefail
for n in $(seq 90 189); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xpid=$!
  for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; kill -0 $xpid 2>/dev/null || break; sleep 0.05; done
  if [ -e "/tmp/.X11-unix/X$n" ]; then
    DISPLAY=":$n" "$@"
    rc=$?
    kill $xpid 2>/dev/null; wait $xpid 2>/dev/null
    exit $rc
  fi
  kill $xpid 2>/dev/null
done
echo "with-xvfb: no free display" >&2
exit 1
