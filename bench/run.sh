#!/usr/bin/env bash
# Measures xslvalidate against its peers in one run: the engine's own
# command line started once per stylesheet with default JVM options (what
# users do without the tool), and xsltproc as the floor that a native
# XSLT 1.0 processor reaches. Timing is hyperfine's (median, minimum and
# maximum of several rounds, one warm-up round first); peak resident memory
# is GNU time's. Tool and peer rounds alternate in small blocks (see
# compare). Prints the ratios (tool time / peer time) and writes them
# with the figures to bench/results/<UTC stamp>.md; the targets line of the
# previous result is printed beside the new one for comparison.
#
# Usage: bash bench/run.sh [rounds [build-dir]]
#   rounds     rounds of each case (default 10; the growth series uses
#              half as many, at least 3)
#   build-dir  where the tool is built, in Release (default build-bench)
# Needs the shared invoices and rule sets in ../shared.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
rounds=${1:-10}
build=${2:-build-bench}
# Every call in its own JVM: this benchmark measures a call's whole cost.
# The engine server's warm case is bench/warm.sh's.
export XSLVALIDATE_SERVER=off
growth_rounds=$(( rounds / 2 > 3 ? rounds / 2 : 3 ))

scripts/install-deps.sh bench
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DXSLVALIDATE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null

tool=$(cd "$build" && pwd)/xslvalidate
java=(java -cp /usr/share/java/Saxon-HE.jar net.sf.saxon.Transform)
shared=$(cd "$root/../shared" && pwd)
rules=$shared/rules
work=$root/bench/work
rm -rf "$work" && mkdir -p "$work"
stamp=$(date -u +%Y-%m-%dT%H%M%SZ)
mkdir -p "$root/bench/results"
previous=$(ls "$root"/bench/results/*.md 2>/dev/null | tail -1 || true)
result=$root/bench/results/$stamp.md

# Inputs are copied into the work folder: the tool writes its reports
# beside the document.
ubl=$work/ubl-tc434-example1.xml
cp "$shared/invoices/ubl/ubl-tc434-example1.xml" "$ubl"
cii=$work/xrechnung-01.01a-INVOICE_uncefact.xml
cp "$shared/invoices/cii/xrechnung-01.01a-INVOICE_uncefact.xml" "$cii"
example=$work/invoice.xml
cp examples/invoice.xml "$example"
en_ubl=$rules/EN16931-UBL-validation.xslt
peppol=$rules/PEPPOL-EN16931-UBL.xslt
xr_ubl=$rules/XRechnung-UBL-validation.xslt
en_cii=$rules/EN16931-CII-validation.xslt
xr_cii=$rules/XRechnung-CII-validation.xslt
tiny=$root/bench/tiny.xslt
ubl_rules=("$en_ubl" "$peppol" "$xr_ubl")

# The first N UBL rule sets, cycling through the three.
first_rules() {
  local i
  for ((i = 0; i < $1; i++)); do printf '%s\n' "${ubl_rules[i % 3]}"; done
}

# Shell text of the tool on a document and stylesheets.
tool_cmd() {
  local cmd="'$tool'" f
  for f in "$@"; do cmd+=" '$f'"; done
  echo "$cmd"
}

# Shell text of the engine's command line run once per stylesheet.
peer_cmd() {
  local doc=$1 cmd="" sep="" xsl
  shift
  for xsl in "$@"; do
    cmd+="$sep${java[*]} -s:'$doc' -xsl:'$xsl' -o:'$work/peer-out.xml'"
    sep=" && "
  done
  echo "$cmd"
}

# Peak resident memory in MB of a shell command: the largest process it ran
# (for a chain of runs, the largest single run).
peak_mb() {
  /usr/bin/time -f '%M' -o "$work/time.txt" bash -c "$1" >/dev/null 2>&1
  awk '{ printf "%.0f", $1 / 1024 }' "$work/time.txt"
}

{
  echo "# Benchmark $stamp"
  echo
  echo "Machine: $(nproc) cores, $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo);" \
       "$(uname -sr); $(java -version 2>&1 | head -1); hyperfine $(hyperfine --version | cut -d' ' -f2)."
  echo "Commit: $(git rev-parse --short HEAD 2>/dev/null || echo unknown)$(git diff --quiet HEAD 2>/dev/null || echo ' with local changes')." \
       "Rounds: $rounds (growth series: $growth_rounds), after one warm-up round;" \
       "tool and peer alternate in blocks of two rounds."
  echo "Load average before the run: $(cut -d' ' -f1-3 /proc/loadavg)."
  echo
  echo "Times in seconds; ratio = tool median / peer median. Peak memory in MB, one run each;"
  echo "for a chain of command-line runs, the largest single run."
  echo
  echo "| case | peer | tool median (min..max) | peer median (min..max) | ratio | tool peak MB | peer peak MB |"
  echo "|---|---|---|---|---|---|---|"
} >"$result"

# compare CASE ROUNDS PEER-NAME TOOL-COMMAND PEER-COMMAND
# The rounds run in blocks of two per command, each block a hyperfine run,
# and the blocks alternate which command goes first (tool then peer, peer
# then tool, ...): a shared machine's speed drifts by tens of percent
# within a minute, and side by side blocks let the drift weigh on both
# commands alike instead of on whichever ran in the slower half. Median,
# minimum and maximum are over the rounds of all blocks.
compare() {
  local name=$1 runs=$2 peer=$3 toolcmd=$4 peercmd=$5 tool_mb peer_mb
  local block=0 done=0 size warmup=(--warmup 1)
  local order
  echo "== $name: tool vs $peer" >&2
  rm -f "$work"/block-*.json
  while (( done < runs )); do
    size=$(( runs - done < 2 ? runs - done : 2 ))
    if (( block % 2 == 0 )); then
      order=(-n tool "$toolcmd" -n "$peer" "$peercmd")
    else
      order=(-n "$peer" "$peercmd" -n tool "$toolcmd")
    fi
    hyperfine --style basic "${warmup[@]}" --runs "$size" \
      --export-json "$work/block-$(printf %03d "$block").json" "${order[@]}" >&2
    warmup=()
    done=$(( done + size ))
    block=$(( block + 1 ))
  done
  tool_mb=$(peak_mb "$toolcmd")
  peer_mb=$(peak_mb "$peercmd")
  python3 - "$name" "$peer" "$tool_mb" "$peer_mb" "$work"/block-*.json <<'PY' | tee -a "$result"
import json, statistics, sys
name, peer, tool_mb, peer_mb, *blocks = sys.argv[1:]
times = {"tool": [], peer: []}
for block in blocks:
    for result in json.load(open(block))["results"]:
        times[result["command"]].extend(result["times"])
def figures(t):
    return statistics.median(t), min(t), max(t)
tm, tmin, tmax = figures(times["tool"])
pm, pmin, pmax = figures(times[peer])
print(f"| {name} | {peer} | {tm:.3f} ({tmin:.3f}..{tmax:.3f}) | {pm:.3f} ({pmin:.3f}..{pmax:.3f}) "
      f"| **{tm / pm:.2f}** | {tool_mb} | {peer_mb} |")
PY
}

compare "PEPPOL pair (EN16931-UBL, PEPPOL-UBL)" "$rounds" "command line per stylesheet" \
  "$(tool_cmd "$ubl" "$en_ubl" "$peppol")" "$(peer_cmd "$ubl" "$en_ubl" "$peppol")"
compare "XRechnung CII pair (EN16931-CII, XRechnung-CII)" "$rounds" "command line per stylesheet" \
  "$(tool_cmd "$cii" "$en_cii" "$xr_cii")" "$(peer_cmd "$cii" "$en_cii" "$xr_cii")"
compare "tiny stylesheet, example invoice" "$rounds" "command line (one run)" \
  "$(tool_cmd "$example" "$tiny")" "$(peer_cmd "$example" "$tiny")"
compare "tiny stylesheet, example invoice" "$rounds" "xsltproc" \
  "$(tool_cmd "$example" "$tiny")" "xsltproc -o '$work/peer-out.xml' '$tiny' '$example'"

for n in 1 2 4 8; do
  mapfile -t sheets < <(first_rules "$n")
  compare "$n UBL rule sets, example1 invoice" "$growth_rounds" "command line per stylesheet" \
    "$(tool_cmd "$ubl" "${sheets[@]}")" "$(peer_cmd "$ubl" "${sheets[@]}")"
done
for lines in 1 100 1000 10000; do
  doc=$work/generated-$lines.xml
  bench/make-invoice.sh "$lines" >"$doc"
  compare "invoice of $lines lines ($(( $(stat -c %s "$doc") / 1024 )) KiB), EN16931-UBL" \
    "$growth_rounds" "command line" "$(tool_cmd "$doc" "$en_ubl")" "$(peer_cmd "$doc" "$en_ubl")"
done

# The targets: the project's own budget for a call in a JVM of its own,
# checked against the figures above. doc/performance.md ("Budget") says
# where each one comes from:
#   PEPPOL pair at most 0.30 of the command line: the everyday job must
#     cost the user at most a third of what the engine's command line does;
#   tiny stylesheet at most 0.35: start-up alone, paid by every call;
#   PEPPOL pair peak at most 160 MB: below the command line's own peak.
awk -F'|' '
  /PEPPOL pair/ { split($6, r, "*"); peppol = r[3] + 0; peppol_mb = $7 + 0 }
  /tiny stylesheet/ && index($0, "command line (one run)") { split($6, r, "*"); tiny = r[3] + 0 }
  END {
    print ""
    printf "Targets: PEPPOL pair ratio %.2f (at most 0.30: %s); tiny ratio %.2f (at most 0.35: %s); " \
           "PEPPOL pair peak %d MB (at most 160: %s).\n",
           peppol, peppol <= 0.30 ? "met" : "missed", tiny, tiny <= 0.35 ? "met" : "missed",
           peppol_mb, peppol_mb <= 160 ? "met" : "missed"
  }' "$result" | tee -a "$result"

echo
echo "Written: $result"
if [ -n "$previous" ]; then
  echo "Previous: $previous"
  grep '^Targets:' "$previous" || true
fi
