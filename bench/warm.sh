#!/usr/bin/env bash
# Measures the engine server (the warm case) side by side with the engine's
# own command line and the tool in-process, in one run:
#   - the PEPPOL pair (EN 16931 UBL + PEPPOL UBL over ubl-tc434-example1):
#     command line (two JVMs, as users run it), the tool in-process
#     (XSLVALIDATE_SERVER=off), the first call of a fresh server (its
#     start included), and calls on a warm server;
#   - a stream of calls over the shared UBL invoices, each with the EN 16931,
#     PEPPOL and XRechnung UBL rule sets, one call at a time and two at once,
#     as invoices per second;
#   - the server's resident memory after the streams.
# Times are medians of wall-clock rounds. Writes bench/results/<UTC
# stamp>-warm.md and prints it.
#
# Usage: bash bench/warm.sh [rounds [stream calls [build-dir]]]
#   rounds        rounds of the single-call cases (default 5)
#   stream calls  calls in each stream (default 500)
#   build-dir     where the tool is built, in Release (default build-bench)
# Needs the shared invoices and rule sets in ../shared.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
rounds=${1:-5}
calls=${2:-500}
build=${3:-build-bench}

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DXSLVALIDATE_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" -j2 >/dev/null

tool=$(cd "$build" && pwd)/xslvalidate
shared=$(cd "$root/../shared" && pwd)
rules=$shared/rules
work=$root/bench/work-warm
rm -rf "$work" && mkdir -p "$work/invoices"
runtime=$work/runtime
mkdir -m 700 "$runtime"
stamp=$(date -u +%Y-%m-%dT%H%M%SZ)
mkdir -p "$root/bench/results"
result=$root/bench/results/$stamp-warm.md

export XDG_RUNTIME_DIR=$runtime
export XSLVALIDATE_SERVER=on
en=$rules/EN16931-UBL-validation.xslt
peppol=$rules/PEPPOL-EN16931-UBL.xslt
xr=$rules/XRechnung-UBL-validation.xslt
ubl=$work/ubl-tc434-example1.xml
cp "$shared/invoices/ubl/ubl-tc434-example1.xml" "$ubl"
cp "$shared"/invoices/ubl/* "$work/invoices/"
mapfile -t invoices < <(ls "$work"/invoices/*)

source "$root/bench/timing.sh"
stop_servers() { bash "$root/tests/stop_servers.sh" "$runtime"; }
trap stop_servers EXIT

command_line() {
  java -cp /usr/share/java/Saxon-HE.jar net.sf.saxon.Transform -s:"$ubl" -xsl:"$en" -o:"$work/cl-en.xml"
  java -cp /usr/share/java/Saxon-HE.jar net.sf.saxon.Transform -s:"$ubl" -xsl:"$peppol" -o:"$work/cl-peppol.xml"
}
pair() { "$tool" "$ubl" "$en" "$peppol"; }
in_process() { XSLVALIDATE_SERVER=off pair; }

cl=(); inproc=(); fresh=(); warm=()
for ((i = 0; i < rounds; i++)); do
  cl+=("$(seconds command_line)")
  inproc+=("$(seconds in_process)")
  stop_servers
  fresh+=("$(seconds pair)")
done
pair >/dev/null 2>&1  # the server is warm: both rule sets compiled, code hot
for ((i = 0; i < rounds * 4; i++)); do warm+=("$(seconds pair)"); done
t_cl=$(median "${cl[@]}"); t_in=$(median "${inproc[@]}")
t_fresh=$(median "${fresh[@]}"); t_warm=$(median "${warm[@]}")

# The streams: call k takes invoice k mod n with the three UBL rule sets.
export tool en peppol xr
stream() {
  local width=$1 start end
  start=$(now)
  seq 0 $((calls - 1)) | INVOICES="${invoices[*]}" xargs -P "$width" -I{} bash -c '
    read -r -a all <<< "$INVOICES"; "$tool" "${all[$(( {} % ${#all[@]} ))]}" "$en" "$peppol" "$xr" >/dev/null 2>&1 || true'
  end=$(now)
  python3 -c "print('%.1f' % ($calls / ($end - $start)))"
}
one_at_a_time=$(stream 1)
two_at_once=$(stream 2)
pid=$(cat "$runtime"/xslvalidate/*.pid)
rss_mb=$(awk '/VmRSS/ { printf "%d", $2 / 1024 }' "/proc/$pid/status")
hwm_mb=$(awk '/VmHWM/ { printf "%d", $2 / 1024 }' "/proc/$pid/status")

ratio() { python3 -c "print('%.3f' % ($1 / $2))"; }
# The targets: the project's own budget for the engine server (where each
# comes from: doc/performance.md, "Budget"):
#   fresh server at most 1.15 of a call in a JVM of its own: the server is
#     on by default, so the call that starts it must not be noticeably slower;
#   warm server at most 0.03 of the command line: what the server is for;
#   server memory at most 400 MB: a process that stays up between calls
#     must stay modest.
{
  echo "# Warm engine server, $stamp"
  echo
  echo "$(nproc) cores, $(uname -sr), $(java -version 2>&1 | head -1); load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)."
  echo "Medians of $rounds rounds (warm server: $((rounds * 4)) calls); streams of $calls calls."
  echo
  echo "| case | time (s) | ratio | target |"
  echo "|---|---|---|---|"
  echo "| PEPPOL pair, engine command line (two JVMs) | $t_cl | 1 | |"
  echo "| PEPPOL pair, tool in-process | $t_in | $(ratio "$t_in" "$t_cl") of command line | |"
  echo "| PEPPOL pair, first call of a fresh server | $t_fresh | $(ratio "$t_fresh" "$t_in") of in-process | at most 1.15 |"
  echo "| PEPPOL pair, warm server | $t_warm | $(ratio "$t_warm" "$t_cl") of command line | at most 0.03 |"
  echo
  echo "| stream over ${#invoices[@]} UBL invoices, EN 16931 + PEPPOL + XRechnung each | invoices/s |"
  echo "|---|---|"
  echo "| one call at a time | $one_at_a_time |"
  echo "| two calls at once | $two_at_once |"
  echo
  echo "Server resident memory after the streams: $rss_mb MB (peak $hwm_mb MB; target at most 400 MB)."
} > "$result"
cat "$result"
