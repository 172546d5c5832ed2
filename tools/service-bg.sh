#!/usr/bin/env bash
# Starts or stops a background update service for test fixtures.
#   service-bg.sh start PORT PIDFILE [more update_service.py arguments]
#   service-bg.sh stop PIDFILE
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
case "${1:-}" in
start)
  port=$2 pidfile=$3; shift 3
  [ -f "$pidfile" ] && kill "$(cat "$pidfile")" 2>/dev/null || true
  portfile="$pidfile.port"; rm -f "$portfile"
  nohup /usr/bin/python3 "$here/update_service.py" --port "$port" --port-file "$portfile" "$@" \
    >/dev/null 2>"$pidfile.log" &
  echo $! >"$pidfile"
  for _ in $(seq 100); do [ -s "$portfile" ] && exit 0; sleep 0.05; done
  echo "service did not start: $(cat "$pidfile.log")" >&2; exit 1 ;;
stop)
  pidfile=$2
  [ -f "$pidfile" ] && kill "$(cat "$pidfile")" 2>/dev/null || true
  rm -f "$pidfile" "$pidfile.port"; exit 0 ;;
*) echo "usage: $0 start PORT PIDFILE [args] | stop PIDFILE" >&2; exit 2 ;;
esac
