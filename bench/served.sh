#!/usr/bin/env bash
# Which released stylesheets the engine server serves and shares: every
# shared rule set and every stylesheet of the shared configurations, each
# run twice on a server of the bench's own with the debug switch on. A
# stylesheet with a static construct or a document type would be handed
# back to the caller's own process ("handed the run back"); the compile
# step's time of the second call shows whether the compile was shared. Writes
# bench/results/<UTC stamp>-served.md and prints it.
#
# Usage: bash bench/served.sh [build-dir]   (default build)
# Needs the shared rule sets and configurations in ../shared.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build}
tool=$(cd "$build" && pwd)/xslvalidate
shared=$(cd "$root/../shared" && pwd)
work=$root/bench/work-served
rm -rf "$work" && mkdir -p "$work"
runtime=$work/runtime
mkdir -m 700 "$runtime"
cp "$shared/invoices/ubl/ubl-tc434-example1.xml" "$work/invoice.xml"
stamp=$(date -u +%Y-%m-%dT%H%M%SZ)
out=$root/bench/results/$stamp-served.md
env_=(env -i PATH=/usr/bin:/bin LANG=C.UTF-8 XDG_RUNTIME_DIR="$runtime" XSLVALIDATE_DEBUG=1)

{
  echo "# Released stylesheets through the engine server ($stamp)"
  echo
  echo "Each stylesheet run twice over ubl-tc434-example1.xml on one server."
  echo
  echo "| stylesheet | first call | second call |"
  echo "|---|---|---|"
  while IFS= read -r sheet; do
    row="| ${sheet#"$shared"/} |"
    for call in 1 2; do
      err=$( (cd "$work" && "${env_[@]}" "$tool" invoice.xml "$sheet" 2>&1 >/dev/null) || true)
      if grep -q 'handed the run back' <<<"$err"; then
        row+=" handed back |"
      elif grep -q 'run on the engine server' <<<"$err"; then
        row+=" served, compile step $(grep -o 'debug: compile [0-9]* ms' <<<"$err" | grep -o '[0-9]* ms') |"
      else
        row+=" in-process |"
      fi
    done
    echo "$row"
  done < <(find "$shared/rules" "$shared/configurations" -name '*.xsl' -o -name '*.xslt' | sort)
} >"$out"
for pidfile in "$runtime"/xslvalidate/*.pid; do
  [ -f "$pidfile" ] && kill "$(cat "$pidfile")" 2>/dev/null || true
done
rm -rf "$work"
cat "$out"
