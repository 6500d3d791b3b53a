#!/usr/bin/env bash
# Stops the server fbserver_start.sh started under DIR, by its process id.
# Usage: fbserver_stop.sh DIR
set -uo pipefail
dir="$1"
[ -f "$dir/server.pid" ] || { rm -f "$dir/address"; exit 0; }
pid="$(cat "$dir/server.pid")"
if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null && grep -qa firebird "/proc/$pid/cmdline" 2>/dev/null; then
  kill "$pid"
  for _ in $(seq 1 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$pid" 2>/dev/null && kill -9 "$pid"
fi
rm -f "$dir/server.pid" "$dir/address"
exit 0
