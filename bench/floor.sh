#!/usr/bin/env bash
# Measures the verdict against a floor: the same configuration's work done
# serially in one JVM (bench/floor/Floor.java: parse once, the schema step,
# then each rule set, compiled once, one thread; the configuration's report
# as a second figure), in the same run as one xslvalidate-verdict call over
# the same invoices with --jobs 1 and --jobs 2 through a warm engine
# server. Two sets:
#   - the shared UBL invoices with the test scenario configuration;
#   - PEPPOL BIS 3.0.9's own test files with its released configuration.
# Per invoice: the floor's figures are the sum of its per-invoice medians
# over `rounds` passes, ours the median wall time of the call over `rounds`
# calls divided by the number of invoices. Writes
# bench/results/<UTC stamp>-floor.md and prints it.
#
# Usage: bash bench/floor.sh [rounds [build-dir]]
#   rounds     timed passes of each way (default 5)
#   build-dir  where xslvalidate-verdict is built (default build)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
rounds=${1:-5}
build=${2:-build}

cmake --build "$build" -j2 --target xslvalidate-verdict >/dev/null
verdict=$(cd "$build" && pwd)/xslvalidate-verdict
shared=$(cd "$root/../shared" && pwd)
saxon=/usr/share/java/Saxon-HE.jar
work=$(mktemp -d /tmp/xslvalidate-floor.XXXXXX)
runtime=$work/runtime
mkdir -m 700 "$runtime"
export XDG_RUNTIME_DIR=$runtime XSLVALIDATE_SERVER=on
stop() { bash "$root/tests/stop_servers.sh" "$runtime"; rm -rf "$work"; }
trap stop EXIT
stamp=$(date -u +%Y-%m-%dT%H%M%SZ)
mkdir -p "$root/bench/results"
result=$root/bench/results/$stamp-floor.md

javac -cp "$saxon" -d "$work/classes" "$root/bench/floor/Floor.java"

source "$root/bench/timing.sh"

# One set: its name, its configuration, its repository, its invoice folder.
measure() {
  local name=$1 config=$2 repository=$3 folder=$4
  local list=$work/$name.txt
  # Only the invoices a scenario of the configuration handles.
  "$verdict" --json --scenarios "$config" --repository "$repository" \
    --report-dir "$work/warm" "$folder" 2>/dev/null |
    python3 -c 'import json,sys
for l in sys.stdin:
    d = json.loads(l)
    if d["scenario"]: print(d["document"])' | sort >"$list" || true
  local count
  count=$(wc -l <"$list")
  [ "$count" -gt 0 ] || { echo "no invoice of $name is handled" >&2; return 1; }
  mkdir -p "$work/$name-in"
  while IFS= read -r f; do ln -s "$f" "$work/$name-in/"; done <"$list"

  local floor
  floor=$(java -cp "$saxon:$work/classes" Floor "$config" "$repository" "$rounds" \
    "$work/$name-in"/* 2>/dev/null | awk -F'\t' '{c += $3; r += $4} END {printf "%.2f %.2f", c/NR, r/NR}')
  local floor_check=${floor% *} floor_report=${floor#* }

  one() {
    "$verdict" --jobs "$1" --scenarios "$config" --repository "$repository" \
      --report-dir "$work/out-$name" "$work/$name-in" >/dev/null 2>&1 || true
  }
  jobs1() { one 1; }
  jobs2() { one 2; }
  jobs1; jobs2  # warm
  local t1="" t2=""
  for _ in $(seq "$rounds"); do
    t1+=" $(seconds jobs1)"
    t2+=" $(seconds jobs2)"
  done
  local m1 m2
  m1=$(echo $t1 | tr ' ' '\n' | sort -n | awk -v n="$count" '{a[NR]=$1} END {printf "%.2f", a[int((NR+1)/2)]*1000/n}')
  m2=$(echo $t2 | tr ' ' '\n' | sort -n | awk -v n="$count" '{a[NR]=$1} END {printf "%.2f", a[int((NR+1)/2)]*1000/n}')
  echo "| $name | $count | $floor_check | $floor_report | $m1 | $m2 |" \
    "$(awk -v a="$m1" -v b="$floor_check" 'BEGIN {printf "%.2f", a/b}') |" \
    "$(awk -v a="$m2" -v b="$floor_check" 'BEGIN {printf "%.2f", a/b}') |"
}

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
rows=$(
  measure ubl-test-configuration "$root/src/verdict/testdata/scenarios/scenarios.xml" \
    "$shared" "$shared/invoices/ubl"
  measure peppol-3.0.9 "$shared/configurations/peppol-bis-3.0.9/scenarios.xml" \
    "$shared/configurations/peppol-bis-3.0.9" "$shared/configurations/peppol-bis-3.0.9/test-files/good"
)
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

{
  echo "# The verdict against a one-JVM serial floor ($stamp)"
  echo
  echo "$(nproc) cores, build \`$build\`, $rounds timed passes each after a warming one;"
  echo "load average $load_before before, $load_after after."
  echo "Milliseconds per invoice. Floor: schema step and rule sets over one parse"
  echo "(\"check\"), and the same plus the configuration's report (\"+report\")."
  echo "Ours: wall time of one xslvalidate-verdict call over the folder, divided by"
  echo "the invoices, report included. Ratios are ours over the floor's check."
  echo
  echo "| set | invoices | floor check | floor +report | --jobs 1 | --jobs 2 | jobs 1 / floor | jobs 2 / floor |"
  echo "|---|---|---|---|---|---|---|---|"
  echo "$rows"
} >"$result"
cat "$result"
