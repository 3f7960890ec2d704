#!/usr/bin/env bash
# Latency of the validation service across engine-server retirements: the
# service's engine server retires every MAX_RUNS runs (default 200, so a
# few thousand runs see many retirements), and COUNT requests (default
# 1000) are sent one after another, then COUNT more from two clients at
# once. For each build and setting: p50, p99, the slowest request, and how
# many took over a second. Rows: the build before succession (when given;
# its retiring server leaves a cold gap), this build, and this build with a
# successor that fails (XSLVALIDATE_SERVER_TEST_FAILING_SUCCESSOR), which is
# the old retirement with this build's cache size. Each row has an engine
# server of its own (a runtime folder of its own), stopped after it. The
# machine's load average is written beside the figures.
# Writes bench/results/<UTC stamp>-succession.md and prints it.
# Usage: bench/succession.sh BUILD_DIR BEFORE_BUILD_DIR|- SCENARIOS_XML INVOICE [COUNT] [MAX_RUNS]
set -euo pipefail
build=$(cd "$1" && pwd) before=$2 scenarios=$3 invoice=$4 count=${5:-1000} max_runs=${6:-200}
[ "$before" = - ] || before=$(cd "$before" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
stamp=$(date -u +%Y-%m-%dT%H%M%SZ)
mkdir -p "$root/bench/results"
result=$root/bench/results/$stamp-succession.md
load_average() { cut -d' ' -f1-3 /proc/loadavg; }

# row LABEL BUILD [VARIABLE=VALUE...]: the service of BUILD with the
# variables added, COUNT requests at concurrency 1 then 2; prints two rows.
row() {
  local label=$1 service_build=$2
  shift 2
  local work runtime port pid
  work=$(mktemp -d)
  runtime=$work/runtime
  mkdir -m 700 "$runtime"
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  env "$@" XDG_RUNTIME_DIR="$runtime" XSLVALIDATE_SERVER_MAX_RUNS="$max_runs" \
    "$service_build/xslvalidate-verdict" --daemon -P "$port" -s "$scenarios" -T 2 --queue 64 \
    2>"$work/service.log" &
  pid=$!
  for _ in $(seq 1 600); do
    [ "$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$port/server/health")" = 200 ] && break
    sleep 0.2
  done
  for concurrency in 1 2; do
    python3 - "$port" "$invoice" "$concurrency" "$count" "$label" <<'PY'
import concurrent.futures, http.client, os, sys, time
port, invoice, concurrency, count, label = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), sys.argv[5]
body = open(invoice, "rb").read()
def one(_):
    start = time.monotonic()
    c = http.client.HTTPConnection("127.0.0.1", int(port), timeout=120)
    c.request("POST", "/invoice.xml", body)
    r = c.getresponse(); r.read(); c.close()
    return time.monotonic() - start, r.status
with concurrent.futures.ThreadPoolExecutor(concurrency) as pool:
    done = list(pool.map(one, range(count)))
times = sorted(t * 1000 for t, _ in done)
statuses = " ".join(map(str, sorted({s for _, s in done})))
p = lambda q: times[min(len(times) - 1, int(q * len(times)))]
slow = sum(1 for t in times if t > 1000)
load = " ".join(open("/proc/loadavg").read().split()[:3])
print(f"| {label} | {concurrency} | {len(done)} | {p(0.5):.0f} | {p(0.99):.0f} | {times[-1]:.0f} "
      f"| {slow} | {statuses} | {load} |")
PY
  done
  kill -TERM "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  bash "$root/tests/stop_servers.sh" "$runtime"
  rm -rf "$work"
}

{
  echo "# Latency across engine-server retirements ($stamp)"
  echo
  echo "Configuration \`$scenarios\`, invoice \`$(basename "$invoice")\`, 2 workers,"
  echo "XSLVALIDATE_SERVER_MAX_RUNS=$max_runs, $count requests a level; $(nproc) cores."
  echo "Load average (1, 5, 15 min) at the start: $(load_average)."
  echo
  echo "| Build | Concurrency | Requests | p50 ms | p99 ms | Slowest ms | Over 1 s | Statuses | Load average after |"
  echo "|---|---|---|---|---|---|---|---|---|"
  [ "$before" = - ] || row "before (no successor)" "$before"
  row "this build" "$build"
  row "this build, successor fails" "$build" XSLVALIDATE_SERVER_TEST_FAILING_SUCCESSOR=1
} | tee "$result"
