#!/usr/bin/env bash
# Measures what choosing the scenario and the schema step add to the
# verdict, through the warm engine server: per UBL invoice of the shared
# set, the median wall time of `xslvalidate-verdict --scenarios` with the
# test configuration (load the configuration, choose, validate the schema,
# run the scenario's rule sets) and of `xslvalidate-verdict` with the same
# rule sets named by hand. Writes bench/results/<UTC stamp>-scenarios.md and
# prints it.
#
# Usage: bash bench/scenarios.sh [rounds [build-dir]]
#   rounds     timed runs per invoice and way, after a warming one (default 5)
#   build-dir  where xslvalidate-verdict is built (default build)
# Needs the shared invoices, schemas and rule sets in ../shared.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
rounds=${1:-5}
build=${2:-build}
verdict=$root/$build/xslvalidate-verdict
config=$root/src/verdict/testdata/scenarios/scenarios.xml
shared=$(cd "$root/../shared" && pwd)

work=$root/bench/work-scenarios
rm -rf "$work" && mkdir -p "$work/invoices"
runtime=$work/runtime
mkdir -m 700 "$runtime"
trap 'bash "$root/tests/stop_servers.sh" "$runtime"' EXIT
export XSLVALIDATE_SERVER=on XDG_RUNTIME_DIR=$runtime
stamp=$(date -u +%Y-%m-%dT%H%M%SZ)
mkdir -p "$root/bench/results"
result=$root/bench/results/$stamp-scenarios.md

for f in "$shared"/invoices/ubl/*; do
  grep -q "<Invoice\|<ubl:Invoice" "$f" && cp "$f" "$work/invoices/"
done

# Median of the wall times, in ms, of `rounds` runs of the command.
ms_of() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1 || true
  end=$(date +%s%N)
  echo $(( (end - start) / 1000 ))
}
median() { sort -n | awk '{a[NR]=$1} END {m=a[int((NR+1)/2)]; printf "%.1f", m/1000}'; }

{
  echo "# Scenario choice and schema step through the warm engine server ($stamp)"
  echo
  echo "Median wall time of one xslvalidate-verdict call over $rounds runs of each"
  echo "way, taking turns (after a warming one), $(nproc) cores, build \`$build\`."
  echo
  echo "| invoice | scenario | by hand (ms) | with scenarios (ms) | added (ms) |"
  echo "|---|---|---|---|---|"
} > "$result"

all_added=()
for invoice in "$work"/invoices/*; do
  json=$("$verdict" --json --scenarios "$config" --repository "$shared" "$invoice" 2>/dev/null || true)
  scenario=$(python3 -c 'import json,sys; print(json.loads(sys.argv[1])["scenario"])' "$json")
  mapfile -t rules < <(python3 -c 'import json,sys
for s in json.loads(sys.argv[1])["ruleSets"]: print(s["stylesheet"])' "$json")
  "$verdict" "$invoice" "${rules[@]}" >/dev/null 2>&1 || true
  # The two ways take turns, so that both see the same load.
  hands=() withs=()
  for _ in $(seq "$rounds"); do
    hands+=("$(ms_of "$verdict" "$invoice" "${rules[@]}")")
    withs+=("$(ms_of "$verdict" --scenarios "$config" --repository "$shared" "$invoice")")
  done
  hand=$(printf '%s\n' "${hands[@]}" | median)
  with=$(printf '%s\n' "${withs[@]}" | median)
  added=$(awk -v a="$with" -v b="$hand" 'BEGIN {printf "%.1f", a - b}')
  all_added+=("$added")
  echo "| $(basename "$invoice") | $scenario | $hand | $with | $added |" >> "$result"
done
rm -rf "$work/invoices"
{
  echo
  echo "Median over the invoices of the time added: $(printf '%s\n' "${all_added[@]}" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}') ms."
} >> "$result"
cat "$result"
