#!/usr/bin/env bash
# The validation service over loopback with curl as its client: every
# status, the three answer forms (no path of the service's in any),
# health and metrics, the limits (body size, a slow client, a full queue),
# HTTP framing (framing_test.py), configurations refused at start, reloads
# that fail and change nothing, hostile documents among good ones, the
# token, no engine server to be had, and a drain on SIGTERM with documents
# in flight. Every server started here is stopped here.
# Usage: daemon_test.sh SOURCE_DIR BUILD_DIR SHARED_DIR
set -uo pipefail
source_dir=$1 build_dir=$2 shared_dir=$3
verdict=$build_dir/xslvalidate-verdict
config=$shared_dir/configurations/peppol-bis-3.0.9
good=("$config"/test-files/good/*.xml)
work=$(mktemp -d)
export TMPDIR=$work/tmp
mkdir -p "$TMPDIR"
# Every answer is looked at for a path of the service's: its temporary
# folders are under $work.
# The engine servers the service's workers start live in the test's own
# runtime folder, and are stopped with it.
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
failures=0
servers=()
cleanup() {
  for pid in "${servers[@]}"; do kill -KILL "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  bash "$source_dir/tests/stop_servers.sh" "$XDG_RUNTIME_DIR" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect() {  # expect WHAT GOT WANTED
  if [ "$2" = "$3" ]; then echo "ok: $1"; else fail "$1: got '$2', wanted '$3'"; fi
}

# start NAME ARGS...: starts a server on a free port; sets $port and $pid.
start() {
  local name=$1; shift
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  "$verdict" --daemon -P "$port" "$@" 2>"$work/$name.log" &
  pid=$!
  servers+=("$pid")
  for _ in $(seq 1 240); do
    curl -s -o /dev/null "http://127.0.0.1:$port/server/health" && return 0
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.25
  done
  cat "$work/$name.log"
  fail "$name: the server did not start"
  exit 1
}

# post PATH FILE [curl options]: prints the status.
post() {
  local path=$1 file=$2; shift 2
  curl -s -o "$work/body" -D "$work/headers" -w '%{http_code}' --data-binary @"$file" "$@" \
    "http://127.0.0.1:$port$path"
}

# The fixtures: a document that is not XML, one with a DOCTYPE (billion
# laughs), 10,000 nested elements, one the broken rule set stops on.
printf 'not xml at all' > "$work/notxml.xml"
{
  echo '<?xml version="1.0"?><!DOCTYPE lolz [<!ENTITY lol "lol">'
  echo '<!ENTITY lol2 "&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;">'
  echo '<!ENTITY lol3 "&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;">]>'
  echo '<lolz>&lol3;</lolz>'
} > "$work/laughs.xml"
python3 -c 'print("<a>" * 10000 + "</a>" * 10000)' > "$work/deep.xml"
echo '<stop/>' > "$work/stop.xml"
head -c 300000 /dev/zero | tr '\0' ' ' > "$work/large.xml"
printf 'secret-token\n' > "$work/token"

# --- One server with two configurations, a token and small limits. ---
chmod 600 "$work/token"
start main -s peppol="$config/scenarios.xml" -s broken="$source_dir/tests/daemon/broken/scenarios.xml" \
  -T 2 --token-file "$work/token" --max-body 200000 --read-timeout 3
auth=(-H 'Authorization: Bearer secret-token')

# Statuses, one case a line: what, path, file, wanted status, wanted reason code.
while read -r what path file wanted code; do
  got=$(post "$path" "$file" "${auth[@]}")
  expect "$what: status" "$got" "$wanted"
  if [ "$code" != "-" ]; then
    expect "$what: reason code" "$(tr -d '\r' < "$work/headers" | sed -n 's/^X-Reason-Code: //p')" "$code"
  fi
done <<CASES
accepted /inbox/${good[0]##*/} ${good[0]} 200 -
not-XML / $work/notxml.xml 406 not-well-formed
billion-laughs /laughs.xml $work/laughs.xml 406 doctype-refused
deep-nesting /deep.xml $work/deep.xml 406 -
no-verdict /stop.xml $work/stop.xml 422 rule-engine-error
too-large /large.xml $work/large.xml 413 body-too-large
empty-body /empty.xml /dev/null 400 no-body
CASES

# The report is the configuration's, naming the document by the request's
# last path segment and holding no path of the service's.
post /inbox/INV-1.xml "${good[0]}" "${auth[@]}" > /dev/null
expect "report: root element" "$(grep -c '<rep:report' "$work/body")" 1
expect "report: content type" "$(tr -d '\r' < "$work/headers" | sed -n 's/^Content-Type: //p')" application/xml
expect "report: names the document as the request did" \
  "$(grep -o 'documentReference>[^<]*' "$work/body" | sed 's/.*>//')" INV-1.xml
expect "report: no path of the service's" "$(grep -c -e "$work" -e 'file:' "$work/body")" 0
post /j.xml "${good[0]}" "${auth[@]}" -H 'Accept: application/json' > /dev/null
expect "JSON: verdict" "$(python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); print(d["verdict"], d["document"])' "$work/body")" "accepted j.xml"
# The JSON of a document whose rule set fails: no path, no engine message.
post /inbox/stop.xml "$work/stop.xml" "${auth[@]}" -H 'Accept: application/json' > /dev/null
expect "JSON: no path of the service's" "$(grep -c -e "$work" -e "$source_dir" -e "$config" "$work/body")" 0
expect "JSON: no engine message" \
  "$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["engineMessages"])' "$work/body")" None
grep -q '/inbox/stop.xml stop.xml: the engine said' "$work/main.log" \
  && echo "ok: engine messages on standard error" || fail "engine messages not logged"
health=$(curl -s "http://127.0.0.1:$port/server/health")
python3 - "$health" <<'PY' && echo "ok: health memory: free <= total <= max" || fail "health memory: $health"
import re, sys
figure = lambda name: int(re.search(f"<{name}>([0-9]+)</{name}>", sys.argv[1]).group(1))
sys.exit(0 if 0 <= figure("freeMemory") <= figure("totalMemory") <= figure("maxMemory") else 1)
PY
post /p.xml "$work/notxml.xml" "${auth[@]}" -H 'Accept: text/html' > /dev/null
expect "page: HTML" "$(grep -c '<html' "$work/body")" 1
expect "other Accept: the report" "$(post /o.xml "${good[0]}" "${auth[@]}" -H 'Accept: image/png')" 200
expect "other method" "$(curl -s -o /dev/null -w '%{http_code}' -X PUT "${auth[@]}" --data x "http://127.0.0.1:$port/x.xml")" 405

# The token: needed for documents, not for health and metrics.
expect "no token" "$(post /t.xml "${good[0]}")" 401
expect "wrong token" "$(post /t.xml "${good[0]}" -H 'Authorization: Bearer secret-tokem')" 401
health=$(curl -s "http://127.0.0.1:$port/server/health")
expect "health: UP" "$(grep -o '<status>UP</status>' <<<"$health")" "<status>UP</status>"
expect "health: version" "$(grep -c '<version>[0-9]' <<<"$health")" 1
expect "usage page" "$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$port/")" 200

# A slow client loses its connection after the read time limit; others
# are answered meanwhile at their normal speed.
(printf '<a>'; sleep 6; printf '</a>') | curl -s -o /dev/null -w '%{http_code}' -X POST -T - -H 'Expect:' \
  "${auth[@]}" "http://127.0.0.1:$port/slow.xml" > "$work/slow" 2>/dev/null &
slow=$!
sleep 0.5
# Hostile documents among good ones, at once: the good ones are accepted.
clients=()
for file in "${good[@]:0:4}" "$work/laughs.xml" "$work/deep.xml" "$work/notxml.xml"; do
  post "/mix/${file##*/}" "$file" "${auth[@]}" -o "$work/mix-${file##*/}" > "$work/mix-${file##*/}.status" &
  clients+=($!)
done
wait "${clients[@]}"
for file in "${good[@]:0:4}"; do
  expect "good among hostile: ${file##*/}" "$(cat "$work/mix-${file##*/}.status")" 200
done
wait "$slow"
expect "slow client: no answer, connection closed" "$(cat "$work/slow")" 000

metrics=$(curl -s "http://127.0.0.1:$port/metrics")
for series in 'xslvalidate_requests_total{status="406"}' 'xslvalidate_request_seconds_bucket{le="+Inf"}' \
              xslvalidate_in_flight xslvalidate_queue_length; do
  grep -q "^$series " <<<"$metrics" && echo "ok: metrics $series" || fail "metrics lack $series"
done
expect "access log: one line per document request" "$(grep -c ' POST /mix/' "$work/main.log")" 7
kill -TERM "$pid"; wait "$pid"; expect "main: exit status after SIGTERM" $? 0

# --- Framing: slow headers over many connections, conflicting lengths,
# POST *, a client that half-closes. ---
start framing -s "$config/scenarios.xml" -T 1 --read-timeout 5 --idle-timeout 5
python3 "$source_dir/tests/daemon/framing_test.py" "$port" "${good[0]}" || fail "framing"
kill -TERM "$pid"; wait "$pid"; expect "framing: exit status" $? 0

# --- Start: a configuration that does not warm up wholly is never served;
# a token file others may read is refused. ---
mkdir "$work/start"
cp "$source_dir/tests/daemon/broken/"*.xsl "$work/start/"
printf '<xsl:stylesheet version="2.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:template match="/"><xsl:value-of select="1 +* 2"/></xsl:template></xsl:stylesheet>\n' \
  > "$work/start/bad-xpath.xsl"
cp "$source_dir/src/verdict/testdata/fails_midway.xsl" "$work/start/"
# starting NAME RULE-SET ARGS...: the status and the refusal's words.
starting() {
  local name=$1 rules=$2; shift 2
  sed "s#stops_on_stop.xsl#$rules#" "$source_dir/tests/daemon/broken/scenarios.xml" \
    > "$work/start/$name.xml"
  local free
  free=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  timeout 120 "$verdict" --daemon -P "$free" -s "$work/start/$name.xml" -T 1 "$@" 2> "$work/$name.log"
  echo "$? $(grep -o 'could not be compiled\|failed on the warm-up document\|others may use it' \
    "$work/$name.log" | head -1)"
}
chmod 644 "$work/token"
n=0
while IFS='|' read -r what rules args wanted; do
  # shellcheck disable=SC2086
  expect "start: $what" "$(starting "s$((++n))" "$rules" $args)" "$wanted"
done <<CASES
a rule set that does not compile|bad-xpath.xsl||2 could not be compiled
a rule set that fails on every document|fails_midway.xsl||2 failed on the warm-up document
a token file others may read|stops_on_stop.xsl|--token-file $work/token|2 others may use it
CASES
chmod 600 "$work/token"

# --- Reload: a failed one changes nothing that is served. ---
# wait_log NAME TEXT COUNT: waits until the log holds TEXT COUNT times.
wait_log() {
  for _ in $(seq 1 240); do
    [ "$(grep -c "$2" "$work/$1.log")" -ge "$3" ] && return 0
    sleep 0.25
  done
  return 1
}
# answers: the service's answers to a document of each kind, timestamps out.
echo '<pass/>' > "$work/pass.xml"
answers() {
  for doc in pass stop; do
    post "/$doc.xml" "$work/$doc.xml" > /dev/null
    printf '%s ' "$(tr -d '\r' < "$work/headers" | sed -n 's/^HTTP[^ ]* //p')"
    sed 's/<in:timestamp>[^<]*//' "$work/body"
    post "/$doc.xml" "$work/$doc.xml" -H 'Accept: application/json' > /dev/null
    cat "$work/body"
  done
}
metric() { curl -s "http://127.0.0.1:$port/metrics" | sed -n "s/^$1 //p"; }
mkdir "$work/conf"
cp "$source_dir/tests/daemon/broken/"* "$work/conf/"
start reload -s "$work/conf/scenarios.xml" -T 1
wait_log reload 'configuration ready' 1 || fail "reload: never ready"
before=$(answers)
grep -q '<rep:scenarioName>Stop<' <<<"$before" && echo "ok: reload: the report names its scenario" \
  || fail "reload: the report before: $before"
# Each case: what, how the files are changed, the reason code in /metrics.
# The configuration file is put back after each with the refused file's
# time, so that it is not read again.
refused=0
while IFS='|' read -r what change code; do
  cp -p "$work/conf/scenarios.xml" "$work/kept.xml"
  eval "$change"
  refused=$((refused + 1))
  wait_log reload 'reload refused' "$refused" || fail "reload: $what: not refused"
  expect "reload: $what: answers as before" "$(answers)" "$before"
  expect "reload: $what: failed reloads" "$(metric xslvalidate_reloads_failed_total)" "$refused"
  expect "reload: $what: last reason" "$(metric "xslvalidate_reload_last_failure{code=\"$code\"}")" 1
  expect "reload: $what: health" "$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$port/server/health")" 200
  touch -r "$work/conf/scenarios.xml" "$work/kept.xml"
  cp -p "$work/kept.xml" "$work/conf/scenarios.xml"
done <<CASES
not well-formed|echo '<scenarios>' > "$work/conf/scenarios.xml"|configuration-invalid
refused but well-formed, another scenario name|sed -i 's#<name>Stop</name>#<name>Leaked</name>#; s#report.xsl#missing.xsl#' "$work/conf/scenarios.xml"|configuration-invalid
a rule set that does not compile|cp "$work/start/bad-xpath.xsl" "$work/conf/" && sed -i 's#stops_on_stop.xsl#bad-xpath.xsl#; s#<name>Stop</name>#<name>Leaked</name>#' "$work/conf/scenarios.xml"|compile-failed
CASES
# A rule set edited in place, with no reload: the configuration in use
# still reads what it was loaded from; SIGHUP then puts the edit in use.
sed -i 's#<svrl:fired-rule context="/"/>#<svrl:fired-rule context="/"/><svrl:failed-assert id="EDIT-1" flag="fatal"><svrl:text>edited</svrl:text></svrl:failed-assert>#' \
  "$work/conf/stops_on_stop.xsl"
sleep 2
expect "reload: a rule set edited in place: answers as before" "$(answers)" "$before"
kill -HUP "$pid"
wait_log reload 'configuration reloaded' 1 || fail "reload: SIGHUP did not reload"
post /pass.xml "$work/pass.xml" -H 'Accept: application/json' > /dev/null
expect "reload: the edit in use after SIGHUP" "$(grep -c '"EDIT-1"' "$work/body")" 1
expect "reload: a successful reload keeps the count" "$(metric xslvalidate_reloads_failed_total)" "$refused"
kill -TERM "$pid"; wait "$pid"; expect "reload: exit status" $? 0

# --- One worker: health before and after the warm-up, a check past its
# time limit, an engine server killed mid-check, our own failure. ---
# The configuration: a copy of the broken one whose rule set passes and
# whose report never ends on a "stop" document (not in the warm-up): a
# check stopped, or an engine server killed, in the report step.
mkdir "$work/endless"
sed 's#stops_on_stop.xsl#passes.xsl#; s#report.xsl#endless.xsl#' \
  "$source_dir/tests/daemon/broken/scenarios.xml" > "$work/endless/scenarios.xml"
cat > "$work/endless/passes.xsl" <<'XSL'
<xsl:stylesheet version="2.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:svrl="http://purl.oclc.org/dsdl/svrl">
  <xsl:template match="/"><svrl:schematron-output><svrl:fired-rule context="/"/></svrl:schematron-output></xsl:template>
</xsl:stylesheet>
XSL
cat > "$work/endless/endless.xsl" <<'XSL'
<xsl:stylesheet version="3.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:f="urn:endless" xmlns:rep="http://www.xoev.de/de/validator/varl/1">
  <xsl:param name="input-document"/>
  <xsl:function name="f:on"><xsl:param name="n"/><xsl:sequence select="f:on($n + 1)"/></xsl:function>
  <xsl:template match="/">
    <rep:report valid="true">
      <xsl:if test="$input-document/stop"><xsl:value-of select="f:on(1)"/></xsl:if>
      <rep:assessment><rep:accept/></rep:assessment>
    </rep:report>
  </xsl:template>
</xsl:stylesheet>
XSL
start limit -s peppol="$config/scenarios.xml" -s endless="$work/endless/scenarios.xml" \
  -T 1 --check-timeout 10
# health: prints the status of /server/health and its <status>.
health() {
  printf '%s ' "$(curl -s -o "$work/health" -w '%{http_code}' "http://127.0.0.1:$port/server/health")"
  grep -o '<status>[A-Z]*</status>' "$work/health"
}
for _ in $(seq 1 240); do [ "$(health)" = "200 <status>UP</status>" ] && break; sleep 0.25; done
expect "warm-up: health after" "$(health)" "200 <status>UP</status>"
grep -q 'configuration ready, [1-9][0-9]* compiles warmed up' "$work/limit.log" \
  && echo "ok: warm-up logged" || fail "warm-up: no compile logged"
metrics=$(curl -s "http://127.0.0.1:$port/metrics")
expect "warm-up: ready metric" "$(sed -n 's/^xslvalidate_ready //p' <<<"$metrics")" 1
[ "$(sed -n 's/^xslvalidate_warmed_compiles //p' <<<"$metrics")" -ge 3 ] \
  && echo "ok: warmed compiles metric" || fail "warmed compiles: $(grep warmed <<<"$metrics")"
begin=$SECONDS
expect "time limit: status" "$(post /stop.xml "$work/stop.xml")" 422
took=$((SECONDS - begin))
expect "time limit: reason code" "$(tr -d '\r' < "$work/headers" | sed -n 's/^X-Reason-Code: //p')" time-limit
[ "$took" -ge 9 ] && [ "$took" -le 25 ] && echo "ok: stopped after ${took} s" \
  || fail "time limit: answered after ${took} s, the limit is 10"
expect "time limit: the worker goes on" "$(post /good.xml "${good[0]}")" 200

# The engine server killed while it runs a document: that document has no
# verdict (not for its time), the next ones are checked by a new server.
post /stop.xml "$work/stop.xml" > "$work/killed" &
client=$!
for _ in $(seq 1 100); do
  curl -s "http://127.0.0.1:$port/metrics" | grep -q '^xslvalidate_in_flight 1' && break
  sleep 0.05
done
sleep 1
for file in "$XDG_RUNTIME_DIR"/xslvalidate/engine-*.pid; do kill -KILL "$(cat "$file")"; done
wait "$client"
expect "engine killed: status" "$(cat "$work/killed")" 422
expect "engine killed: reason code" "$(tr -d '\r' < "$work/headers" | sed -n 's/^X-Reason-Code: //p')" \
  rule-engine-error
expect "engine killed: the next document" "$(post /after.xml "${good[0]}")" 200

# Our own failure: the folder documents are kept in is replaced by a file.
root=$(sed -n 's/.*documents are kept under \(.*\) while checked$/\1/p' "$work/limit.log")
rm -rf "$root" && touch "$root"
expect "own failure: status" "$(post /own.xml "${good[0]}")" 500
expect "own failure: reason code" "$(tr -d '\r' < "$work/headers" | sed -n 's/^X-Reason-Code: //p')" internal-error
# Health follows the service's own probe document (checked every few
# seconds), not the clients' answers.
for _ in $(seq 1 60); do [ "$(health)" = "503 <status>DOWN</status>" ] && break; sleep 0.25; done
expect "own failure: health" "$(health)" "503 <status>DOWN</status>"
expect "own failure: probe metric" "$(curl -s "http://127.0.0.1:$port/metrics" | sed -n 's/^xslvalidate_probe_ok //p')" 0
rm -f "$root" && mkdir -m 700 "$root"
expect "own failure: the next document" "$(post /next.xml "${good[0]}")" 200
for _ in $(seq 1 60); do [ "$(health)" = "200 <status>UP</status>" ] && break; sleep 0.25; done
expect "own failure over: health" "$(health)" "200 <status>UP</status>"

# No engine server to be had: its server gone, and the engine library
# refusing a socket folder that others may enter. Documents are answered
# 503 engine-unavailable, health says DOWN, the service says so once and
# starts no JVM of its own; with the folder private again the next
# document is checked.
chmod 755 "$XDG_RUNTIME_DIR/xslvalidate"
for file in "$XDG_RUNTIME_DIR"/xslvalidate/engine-*.pid; do kill -KILL "$(cat "$file")"; done
for i in 1 2; do
  expect "no engine server: document $i" "$(post "/u$i.xml" "${good[0]}")" 503
  expect "no engine server: reason code $i" \
    "$(tr -d '\r' < "$work/headers" | sed -n 's/^X-Reason-Code: //p')" engine-unavailable
  expect "no engine server: Retry-After $i" "$(tr -d '\r' < "$work/headers" | sed -n 's/^Retry-After: //p')" 5
done
expect "no engine server: health" "$(health)" "503 <status>DOWN</status>"
expect "no engine server: metric" \
  "$(curl -s "http://127.0.0.1:$port/metrics" | sed -n 's/^xslvalidate_workers_without_engine_server //p')" 1
expect "no engine server: said once" "$(grep -c 'no engine server could be had' "$work/limit.log")" 1
threads=$(awk '/^Threads:/ {print $2}' "/proc/$pid/status")
[ "$threads" -le 6 ] && echo "ok: no engine server: no JVM in the service ($threads threads)" \
  || fail "no engine server: $threads threads in the service: a JVM of its own?"
chmod 700 "$XDG_RUNTIME_DIR/xslvalidate"
expect "engine server again: the next document" "$(post /back.xml "${good[0]}")" 200
expect "engine server again: health" "$(health)" "200 <status>UP</status>"
grep -q 'an engine server serves every worker again' "$work/limit.log" \
  && echo "ok: engine server again: said" || fail "engine server again: not said"
kill -TERM "$pid"; wait "$pid"; expect "limit: exit status" $? 0

# --- Engine servers that retire after a few runs (about one document's):
# each run is taken by the next server, none in the service's own process.
for file in "$XDG_RUNTIME_DIR"/xslvalidate/engine-*.pid; do kill -TERM "$(cat "$file")"; done
XSLVALIDATE_SERVER_MAX_RUNS=8 start retire -s "$config/scenarios.xml" -T 1
for i in 1 2 3; do expect "retiring servers: document $i" "$(post /r$i.xml "${good[$i]}")" 200; done
# The library links libjvm either way; a JVM started would add its own
# threads (collector, compiler, finalizer...) to the service's four.
threads=$(awk '/^Threads:/ {print $2}' "/proc/$pid/status")
[ "$threads" -le 6 ] && echo "ok: retiring servers: no JVM in the service ($threads threads)" \
  || fail "retiring servers: $threads threads in the service: a JVM of its own?"
kill -TERM "$pid"; wait "$pid"; expect "retire: exit status" $? 0
for file in "$XDG_RUNTIME_DIR"/xslvalidate/engine-*.pid; do kill -TERM "$(cat "$file")"; done

# --- One worker and a queue of one: a full queue answers 503. ---
start queue -s "$config/scenarios.xml" -T 1 --queue 1
clients=()
for i in 1 2 3 4 5; do
  curl -s -o /dev/null -D "$work/q$i.headers" -w '%{http_code}' --data-binary @"${good[0]}" \
    "http://127.0.0.1:$port/q$i.xml" > "$work/q$i" &
  clients+=($!)
done
wait "${clients[@]}"
busy=$(cat "$work"/q? | grep -o 503 | wc -l)
[ "$busy" -ge 1 ] && echo "ok: full queue gives 503 ($busy of 5)" || fail "full queue: no 503"
grep -l '^Retry-After: 1' "$work"/q?.headers > /dev/null && echo "ok: Retry-After" || fail "503 without Retry-After"

# SIGTERM with two documents in flight: both answered, exit 0, no
# temporary file left.
clients=()
for i in 1 2; do post "/d$i.xml" "${good[$i]}" > "$work/d$i" & clients+=($!); done
for _ in $(seq 1 100); do
  curl -s "http://127.0.0.1:$port/metrics" | grep -q '^xslvalidate_in_flight 2' && break
  sleep 0.05
done
kill -TERM "$pid"
wait "$pid"; expect "drain: exit status" $? 0
wait "${clients[@]}"
expect "drain: in-flight documents answered" "$(cat "$work/d1" "$work/d2")" 200200
# Each call's scratch folders are xslvalidate-verdict-XXXXXX; the folder
# named with the user id keeps compiled stylesheets on purpose.
expect "drain: temporary folders left" \
  "$(find "$TMPDIR" -mindepth 1 -maxdepth 1 -regextype egrep -regex '.*/xslvalidate-verdict-[A-Za-z0-9]{6}')" ""

[ "$failures" -eq 0 ] && echo "all passed" || { echo "$failures failed"; exit 1; }
