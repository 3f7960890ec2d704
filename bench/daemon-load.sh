#!/usr/bin/env bash
# Loopback load on the validation service against a batch call: latency
# p50/p99 and throughput at concurrency 1, 2 and 8; one xslvalidate-verdict
# call over a folder of copies of the same invoice, with as many jobs as
# the service has workers; the service's resident memory after warm-up
# and along a soak. Bounded: COUNT requests per level (default 200), no
# level or soak step runs longer than LIMIT seconds (default 120), SOAK
# requests for the memory figure (default 10000). The machine's load
# average is written beside the figures: other work on it moves them.
# Writes bench/results/<UTC stamp>-daemon-load.md and prints it.
# Usage: bench/daemon-load.sh BUILD_DIR SCENARIOS_XML INVOICE [COUNT] [LIMIT] [SOAK]
set -euo pipefail
build=$(cd "$1" && pwd) scenarios=$2 invoice=$3 count=${4:-200} limit=${5:-120} soak=${6:-10000}
root=$(cd "$(dirname "$0")/.." && pwd)
workers=2
# The engine server the service and the batch call share lives in a
# runtime folder of the bench's own, stopped at the end with the service.
work=$(mktemp -d)
runtime=$work/runtime
mkdir -m 700 "$runtime"
export XDG_RUNTIME_DIR=$runtime
stamp=$(date -u +%Y-%m-%dT%H%M%SZ)
mkdir -p "$root/bench/results"
result=$root/bench/results/$stamp-daemon-load.md
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
"$build/xslvalidate-verdict" --daemon -P "$port" -s "$scenarios" -T "$workers" --queue 64 \
  2>"$work/service.log" &
pid=$!
trap 'kill -TERM $pid 2>/dev/null; wait $pid 2>/dev/null; bash "$root/tests/stop_servers.sh" "$runtime"; rm -rf "$work"' EXIT
# Ready once the configuration is warmed up.
for _ in $(seq 1 $((limit * 5))); do
  [ "$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$port/server/health")" = 200 ] && break
  sleep 0.2
done
# Resident memory, and its parts: anonymous (heap, stacks) and file pages
# (the program and its libraries, as far as touched).
rss() {
  awk '/^(VmRSS|RssAnon|RssFile):/ {v[$1] = $2 / 1024}
       END {printf "%.1f MB (anonymous %.1f, file %.1f)", v["VmRSS:"], v["RssAnon:"], v["RssFile:"]}' \
    "/proc/$pid/status"
}
load_average() { cut -d' ' -f1-3 /proc/loadavg; }

load() {  # load CONCURRENCY COUNT: prints a table row
  python3 - "$port" "$invoice" "$1" "$2" "$limit" <<'PY'
import concurrent.futures, http.client, sys, time
port, invoice, concurrency, count, limit = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), float(sys.argv[5])
body = open(invoice, "rb").read()
deadline = time.monotonic() + limit
def one(_):
    if time.monotonic() > deadline:
        return None
    start = time.monotonic()
    c = http.client.HTTPConnection("127.0.0.1", int(port), timeout=60)
    c.request("POST", "/invoice.xml", body)
    r = c.getresponse(); r.read(); c.close()
    return time.monotonic() - start, r.status
begin = time.monotonic()
with concurrent.futures.ThreadPoolExecutor(concurrency) as pool:
    done = [x for x in pool.map(one, range(count)) if x]
took = time.monotonic() - begin
times = sorted(t for t, _ in done)
statuses = sorted({s for _, s in done})
p = lambda q: times[min(len(times) - 1, int(q * len(times)))] * 1000
print(f"| {concurrency} | {len(done)} | {p(0.5):.0f} | {p(0.99):.0f} | {len(done) / took:.1f} | "
      f"{' '.join(map(str, statuses))} |")
PY
}

# The batch call: copies of the invoice in a folder, one call, as many
# jobs as workers; timed after one call that warms it the same way.
batch=$(( count < 100 ? count : 100 ))
mkdir "$work/inbox"
for i in $(seq "$batch"); do cp "$invoice" "$work/inbox/invoice-$i.xml"; done
batch_call() {
  rm -rf "$work/out"
  "$build/xslvalidate-verdict" --jobs "$workers" -s "$scenarios" --report-dir "$work/out" \
    "$work/inbox" > /dev/null 2>&1 || [ $? -le 1 ]
}
{
  echo "# The validation service under loopback load ($stamp)"
  echo
  echo "Configuration \`$scenarios\`, invoice \`$(basename "$invoice")\`, $workers workers,"
  echo "$count requests a level (at most $limit s), a soak of $soak at concurrency 8;"
  echo "$(nproc) cores; MALLOC_ARENA_MAX ${MALLOC_ARENA_MAX:-unset}."
  echo "Load average (1, 5, 15 min) at the start: $(load_average)."
  echo
  echo "Resident memory after warm-up: $(rss)."
  echo
  echo "| Concurrency | Requests | p50 ms | p99 ms | Requests/s | Statuses |"
  echo "|---|---|---|---|---|---|"
  load 2 20 > /dev/null  # the first documents of each worker
  for c in 1 2 8; do load "$c" "$count"; done
  echo
  echo "Load average after the levels: $(load_average)."
  echo
  batch_call
  begin=$(date +%s.%N)
  batch_call
  end=$(date +%s.%N)
  python3 -c "import sys; n, s = int(sys.argv[1]), float(sys.argv[3]) - float(sys.argv[2]); \
print(f'Batch call over {n} copies, --jobs $workers: {s:.2f} s, {1000 * s / n:.0f} ms a document, {n / s:.1f} documents/s.')" \
    "$batch" "$begin" "$end"
  echo
  echo "| Soak requests so far | Resident | Load average |"
  echo "|---|---|---|"
  # Sampled at an eighth, a quarter, a half, three quarters and all of
  # the soak, to see whether the growth levels off.
  total=0
  for part in 1 2 4 6 8; do
    row=$(load 8 $(( soak * part / 8 - total )))
    total=$(( total + $(cut -d'|' -f3 <<<"$row") ))
    echo "| $total | $(rss) | $(load_average) |"
  done
} | tee "$result"
