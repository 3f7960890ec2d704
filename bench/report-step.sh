#!/usr/bin/env bash
# Measures what the configuration's validation report (report input, report
# stylesheet, acceptance) adds to a scenario call, through the warm engine
# server: per test invoice of the released PEPPOL BIS 3.0.9 configuration,
# the median wall time of `xslvalidate-verdict -s` with the configuration
# as released and with a copy of it without createReport and
# noScenarioReport, the two taking turns. Writes
# bench/results/<UTC stamp>-report-step.md and prints it.
#
# Usage: bash bench/report-step.sh [rounds [build-dir]]
#   rounds     timed runs per invoice and way, after a warming one (default 7)
#   build-dir  where xslvalidate-verdict is built (default build)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
rounds=${1:-7}
build=${2:-build}
verdict=$root/$build/xslvalidate-verdict
release=$(cd "$root/../shared/configurations/peppol-bis-3.0.9" && pwd)

work=$root/bench/work-report-step
rm -rf "$work" && mkdir -p "$work/out"
runtime=$work/runtime
mkdir -m 700 "$runtime"
trap 'bash "$root/tests/stop_servers.sh" "$runtime"' EXIT
export XSLVALIDATE_SERVER=on XDG_RUNTIME_DIR=$runtime
python3 - "$release/scenarios.xml" "$work/without-report.xml" <<'PY'
import re, sys
text = open(sys.argv[1], encoding="utf-8").read()
text = re.sub(r"<createReport>.*?</createReport>|<noScenarioReport>.*?</noScenarioReport>", "",
              text, flags=re.S)
open(sys.argv[2], "w", encoding="utf-8").write(text)
PY

# Milliseconds of one call.
timed() {
  local start end
  start=$(date +%s%N)
  "$verdict" "$@" > /dev/null 2>&1 || true
  end=$(date +%s%N)
  echo $(( (end - start) / 1000000 ))
}
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

stamp=$(date -u +%Y-%m-%dT%H%M%SZ)
result=$root/bench/results/$stamp-report-step.md
{
  echo "# The validation report's cost per invoice ($stamp)"
  echo
  echo "Warm engine server, $rounds runs a way, the two ways taking turns; load $(cut -d' ' -f1-3 /proc/loadavg)."
  echo
  echo "| invoice | with report (ms) | without (ms) | the report step (ms) |"
  echo "|---|---:|---:|---:|"
  for invoice in "$release"/test-files/good/*.xml; do
    with=() without=()
    timed -s "$release/scenarios.xml" -o "$work/out" "$invoice" > /dev/null
    timed -s "$work/without-report.xml" -r "$release" -o "$work/out" "$invoice" > /dev/null
    for _ in $(seq "$rounds"); do
      with+=("$(timed -s "$release/scenarios.xml" -o "$work/out" "$invoice")")
      without+=("$(timed -s "$work/without-report.xml" -r "$release" -o "$work/out" "$invoice")")
    done
    a=$(printf '%s\n' "${with[@]}" | median)
    b=$(printf '%s\n' "${without[@]}" | median)
    echo "| $(basename "$invoice") | $a | $b | $((a - b)) |"
  done
} | tee "$result"
