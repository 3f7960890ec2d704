#!/usr/bin/env bash
# Measures the schema step through the warm engine server beside the rule
# sets' own cost: per UBL invoice of the shared set, the median time of one
# schema-step call (UBL 2.1 Invoice schema) and of the rule-set calls
# (EN 16931 UBL, then with PEPPOL and XRechnung as well), each a call of the
# engine library on one connection, as a caller checking invoices one after
# another makes them. Writes bench/results/<UTC stamp>-schema.md and prints
# it.
#
# Usage: bash bench/schema-step.sh [rounds [build-dir]]
#   rounds     rounds over the invoices after a warming one (default 5)
#   build-dir  where the engine library is built (default build-bench)
# Needs the shared invoices, schemas and rule sets in ../shared.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
rounds=${1:-5}
build=${2:-build-bench}

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DXSLVALIDATE_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" -j2 >/dev/null
library_dir=$(cd "$build/src/jvmengine" && pwd)

shared=$(cd "$root/../shared" && pwd)
rules=$shared/rules
schema=$shared/schemas/ubl-2.1/maindoc/UBL-Invoice-2.1.xsd
work=$root/bench/work-schema
rm -rf "$work" && mkdir -p "$work/invoices" "$work/reports"
runtime=$work/runtime
mkdir -m 700 "$runtime"
stamp=$(date -u +%Y-%m-%dT%H%M%SZ)
mkdir -p "$root/bench/results"
result=$root/bench/results/$stamp-schema.md

# Invoices only: the credit note has a schema of its own.
for f in "$shared"/invoices/ubl/*; do
  grep -q "<Invoice" "$f" && cp "$f" "$work/invoices/"
done
mapfile -t invoices < <(ls "$work"/invoices/*)

g++ -std=c++20 -O2 -I"$root/src" -o "$work/schema-step" "$root/bench/schema-step.cpp" \
  -L"$library_dir" -lxslvalidate-jvmengine -Wl,-rpath,"$library_dir"

export XDG_RUNTIME_DIR=$runtime
export XSLVALIDATE_SERVER=on
stop_servers() { bash "$root/tests/stop_servers.sh" "$runtime"; }
trap stop_servers EXIT

en=$rules/EN16931-UBL-validation.xslt
three=$en,$rules/PEPPOL-EN16931-UBL.xslt,$rules/XRechnung-UBL-validation.xslt
# The rule sets' compile warnings go to a log of the run's messages.
measure() { "$work/schema-step" "$rounds" "$work/reports" "$schema" "$1" "${invoices[@]}" 2>>"$work/messages.log"; }
read -r calls schema_en en_ms < <(measure "$en")
read -r _ schema_three three_ms < <(measure "$three")

{
  echo "# Schema step through the warm engine server, $stamp"
  echo
  echo "$(nproc) cores, $(uname -sr), $(java -version 2>&1 | head -1); load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)."
  echo "${#invoices[@]} UBL invoices of the shared set, $rounds rounds after a warming one: medians of $calls calls of each kind, in ms per invoice."
  echo
  echo "| rule sets | schema step (UBL 2.1 Invoice) | rule sets | schema step / rule sets | target |"
  echo "|---|---|---|---|---|"
  echo "| EN 16931 UBL | $schema_en | $en_ms | $(python3 -c "print('%.2f' % ($schema_en / $en_ms))") | schema step at most 15 ms |"
  echo "| EN 16931 + PEPPOL + XRechnung | $schema_three | $three_ms | $(python3 -c "print('%.2f' % ($schema_three / $three_ms))") | schema step at most 15 ms |"
} > "$result"
cat "$result"
