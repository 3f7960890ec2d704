#!/usr/bin/env bash
# Stops the engine servers of a runtime directory (by the process ids they
# wrote beside their sockets) and waits until they are gone.
# Usage: stop_servers.sh <runtime dir>
set -euo pipefail
dir="${1:?usage: stop_servers.sh <runtime dir>}/xslvalidate"
for pid_file in "$dir"/*.pid; do
  [ -f "$pid_file" ] || continue
  pid=$(cat "$pid_file" 2>/dev/null) || continue  # gone with its server
  kill -TERM "$pid" 2>/dev/null || continue
  for _ in $(seq 100); do
    grep -qv "^[0-9]* ([^)]*) Z" "/proc/$pid/stat" 2>/dev/null || break
    sleep 0.1
  done
done
