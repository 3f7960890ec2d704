#!/usr/bin/env bash
# Compares the warm call of two builds of the tool, one call of each in
# turn, so that both see the same load: each build has a server of its own
# (already warm), and each call validates examples/invoice.xml with
# bench/tiny.xslt. Prints the median, 10th and 90th percentile of the whole
# tool process's wall clock per build.
#
# Usage: bash bench/warm-alternate.sh <first tool> <second tool> [rounds]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
first=$1 second=$2 rounds=${3:-200}
work=$(mktemp -d /tmp/xslvalidate-alternate-XXXXXX)
mkdir -m 700 "$work/rt1" "$work/rt2"
cp "$root/examples/invoice.xml" "$work/"
stylesheet=$root/bench/tiny.xslt
stop() {
  for rt in "$work/rt1" "$work/rt2"; do bash "$root/tests/stop_servers.sh" "$rt"; done
  rm -rf "$work"
}
trap stop EXIT
export XSLVALIDATE_SERVER=on
cd "$work"
XDG_RUNTIME_DIR=$work/rt1 "$first" invoice.xml "$stylesheet" >/dev/null
XDG_RUNTIME_DIR=$work/rt2 "$second" invoice.xml "$stylesheet" >/dev/null
for ((i = 0; i < rounds; i++)); do
  for which in 1 2; do
    if [ "$which" = 1 ]; then tool=$first; else tool=$second; fi
    start=$(date +%s%N)
    XDG_RUNTIME_DIR=$work/rt$which "$tool" invoice.xml "$stylesheet" >/dev/null
    end=$(date +%s%N)
    echo "$which $(((end - start) / 1000))"
  done
done > times.txt
python3 - "$first" "$second" <<'P'
import statistics, sys
times = {'1': [], '2': []}
for line in open('times.txt'):
    which, micros = line.split()
    times[which].append(int(micros) / 1000)
for which, name in (('1', sys.argv[1]), ('2', sys.argv[2])):
    t = sorted(times[which])
    print(f"{name}: {len(t)} calls, median {statistics.median(t):.1f} ms, "
          f"p10 {t[len(t) // 10]:.1f} ms, p90 {t[len(t) * 9 // 10]:.1f} ms")
P
