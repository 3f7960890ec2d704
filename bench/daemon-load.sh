#!/usr/bin/env bash
# Loopback load on the validation service: latency p50/p99 at concurrency
# 1, 2 and 8, throughput, and the server's resident memory before and
# after many requests. Bounded: COUNT requests per level (default 200),
# and no level runs longer than LIMIT seconds (default 120).
# Usage: bench/daemon-load.sh BUILD_DIR SCENARIOS_XML INVOICE [COUNT] [LIMIT] [SOAK]
#   SOAK: requests for the memory figure (default 10000)
set -euo pipefail
build=$1 scenarios=$2 invoice=$3 count=${4:-200} limit=${5:-120} soak=${6:-10000}
root=$(cd "$(dirname "$0")/.." && pwd)
# The engine servers the service starts live in a runtime folder of the
# bench's own, stopped at the end with the service.
runtime=$(mktemp -d)
chmod 700 "$runtime"
export XDG_RUNTIME_DIR=$runtime
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
"$build/xslvalidate-verdict" --daemon -P "$port" -s "$scenarios" --queue 64 2>/dev/null &
pid=$!
trap 'kill -TERM $pid 2>/dev/null; wait $pid 2>/dev/null; bash "$root/tests/stop_servers.sh" "$runtime"; rm -rf "$runtime"' EXIT
until curl -s -o /dev/null "http://127.0.0.1:$port/server/health"; do sleep 0.2; done
rss() { awk '/VmRSS/ {print $2 " kB"}' "/proc/$pid/status"; }

load() {  # load CONCURRENCY COUNT: prints p50, p99 and requests per second
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
print(f"concurrency {concurrency}: {len(done)} requests, p50 {p(0.5):.0f} ms, p99 {p(0.99):.0f} ms, "
      f"{len(done) / took:.1f}/s, statuses {statuses}")
PY
}

load 2 20 > /dev/null  # warm: every worker compiles its rule sets
echo "resident after warm-up: $(rss)"
for c in 1 2 8; do load "$c" "$count"; done
echo "one-shot call, warm:"
/usr/bin/time -f "  %e s wall, %M kB max resident" "$build/xslvalidate-verdict" -s "$scenarios" \
  -o "$(mktemp -d)" "$invoice" > /dev/null
load 8 "$soak" > /dev/null
echo "resident after $soak more requests: $(rss)"
