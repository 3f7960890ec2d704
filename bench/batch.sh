#!/usr/bin/env bash
# Measures one xslvalidate-verdict call over a folder of invoices against
# the same invoices checked one call each (xargs -P with the same
# parallelism), both through a warm engine server:
#   - the PEPPOL pair (EN 16931 UBL + PEPPOL UBL rule sets);
#   - the test scenario configuration (XML Schema step + two rule sets for
#     each invoice it matches).
# The invoices are the shared UBL invoices, copied `copies` times into
# subfolders. Times are medians of wall-clock rounds; invoices per second
# = invoices / median. Writes bench/results/<UTC stamp>-batch.md and
# prints it.
#
# Usage: bash bench/batch.sh [rounds [copies [jobs [build-dir]]]]
#   rounds     rounds of each case (default 5)
#   copies     copies of the UBL invoices (default 4)
#   jobs       parallelism of both ways (default 2)
#   build-dir  where the tool is built, in Release (default build)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
rounds=${1:-5}
copies=${2:-4}
jobs=${3:-2}
build=${4:-build}

cmake --build "$build" -j2 --target xslvalidate-verdict >/dev/null
verdict=$(cd "$build" && pwd)/xslvalidate-verdict
shared=$(cd "$root/../shared" && pwd)
rules=$shared/rules
work=$root/bench/work-batch
rm -rf "$work" && mkdir -p "$work"
runtime=$work/runtime
mkdir -m 700 "$runtime"
export XDG_RUNTIME_DIR=$runtime XSLVALIDATE_SERVER=on
stamp=$(date -u +%Y-%m-%dT%H%M%SZ)
mkdir -p "$root/bench/results"
result=$root/bench/results/$stamp-batch.md
scenarios=$root/src/verdict/testdata/scenarios/scenarios.xml

for copy in $(seq "$copies"); do
  mkdir -p "$work/inbox/$copy"
  cp "$shared"/invoices/ubl/* "$work/inbox/$copy/"
done
# The invoices, listed once: the one-call-per-invoice loops write reports
# beside them, which a later `find` would take for invoices.
find "$work/inbox" -type f | sort >"$work/invoices.txt"
count=$(wc -l <"$work/invoices.txt")

stop_servers() { bash "$root/tests/stop_servers.sh" "$runtime"; }
trap stop_servers EXIT

source "$root/bench/timing.sh"

pair=(--rules "$rules/EN16931-UBL-validation.xslt" --rules "$rules/PEPPOL-EN16931-UBL.xslt")
scenario=(--scenarios "$scenarios" --repository "$shared")
batch_pair() { "$verdict" --jobs "$jobs" "${pair[@]}" --report-dir "$work/out" "$work/inbox"; }
calls_pair() {
  xargs -P "$jobs" -I{} <"$work/invoices.txt" \
    "$verdict" --rules "$rules/EN16931-UBL-validation.xslt" \
    --rules "$rules/PEPPOL-EN16931-UBL.xslt" {}
}
batch_scenario() { "$verdict" --jobs "$jobs" "${scenario[@]}" --report-dir "$work/out" "$work/inbox"; }
calls_scenario() {
  xargs -P "$jobs" -I{} <"$work/invoices.txt" "$verdict" "${scenario[@]}" {}
}

# The server warm: its start and both rule sets' and the schemas'
# compilation are not what is measured.
batch_pair >/dev/null 2>&1 || true
batch_scenario >/dev/null 2>&1 || true
matched=$("$verdict" --json "${scenario[@]}" --report-dir "$work/out" "$work/inbox" 2>/dev/null |
  python3 -c 'import json,sys; print(sum(1 for l in sys.stdin if json.loads(l)["scenario"]))')

# The cases take turns in each round, so that load from elsewhere on a
# shared machine falls on all of them alike.
cases=(batch_pair calls_pair batch_scenario calls_scenario)
declare -A times_of median_of
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
for _ in $(seq "$rounds"); do
  for case in "${cases[@]}"; do times_of[$case]+=" $(seconds "$case")"; done
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)
for case in "${cases[@]}"; do
  # shellcheck disable=SC2086 # the times are words
  median_of[$case]=$(median ${times_of[$case]})
done
rate() { python3 -c "print('%.1f' % ($count / $1))"; }

{
  echo "# Batch call against one call per invoice ($stamp)"
  echo
  echo "$(nproc) cores, shared with other builds; $count UBL invoices ($copies copies of the shared ones),"
  echo "parallelism $jobs both ways, warm engine server, median of $rounds rounds (cases taking turns);"
  echo "load average before $load_before, after $load_after."
  echo
  echo "| Case | One call (s) | Invoices/s | One call per invoice, xargs -P $jobs (s) | Invoices/s |"
  echo "|---|---|---|---|---|"
  echo "| PEPPOL pair (EN 16931 UBL + PEPPOL UBL) | ${median_of[batch_pair]} | $(rate "${median_of[batch_pair]}") | ${median_of[calls_pair]} | $(rate "${median_of[calls_pair]}") |"
  echo "| Scenarios: schema + two rule sets ($matched of $count invoices matched) | ${median_of[batch_scenario]} | $(rate "${median_of[batch_scenario]}") | ${median_of[calls_scenario]} | $(rate "${median_of[calls_scenario]}") |"
  echo
  echo "Rounds (s):"
  echo
  for case in "${cases[@]}"; do echo "- $case:${times_of[$case]}"; done
} >"$result"
cat "$result"
