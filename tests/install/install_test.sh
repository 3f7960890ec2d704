#!/usr/bin/env bash
# Installs the built tool into a temporary prefix, moves the prefix, and
# runs the installed tool on the bundled example from another directory:
# the install tree must work wherever it lands and name no path of the
# source or build tree.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1 source=$2
work=$(mktemp -d /tmp/xslvalidate-install-XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/first" >/dev/null
mv "$work/first" "$work/moved"
prefix=$work/moved

for f in bin/xslvalidate bin/xslvalidate-verdict \
         lib/xslvalidate/libxslvalidate-jvmengine.so \
         lib/xslvalidate/xslvalidate-engine-server \
         share/man/man1/xslvalidate.1.gz share/man/man1/xslvalidate-verdict.1.gz \
         share/doc/xslvalidate/README.md share/doc/xslvalidate/usage.md \
         share/doc/xslvalidate/copyright; do
  [ -f "$prefix/$f" ] || fail "$f is not installed"
done
if leaked=$(grep -r -l -a -F -e "$source" -e "$build" "$prefix"); then
  fail "installed files name the source or build tree: $leaked"
fi

mkdir "$work/inbox" "$work/elsewhere"
cp "$source/examples/invoice.xml" "$work/inbox/invoice.xml"
cp -r "$source/examples/rules" "$work/rules"
cd "$work/elsewhere"
# Runs an installed program on the example with a bare environment, its
# engine in-process; sets `out` (standard output) and `status`, standard
# error in $work/stderr.
run_installed() {
  set +e
  out=$(env -i PATH=/usr/bin:/bin XSLVALIDATE_SERVER=off "$prefix/bin/$1" ../inbox/invoice.xml \
          ../rules/totals.xslt ../rules/parties.xslt 2>"$work/stderr")
  status=$?
  set -e
}

run_installed xslvalidate
[ "$status" -eq 0 ] || fail "status $status: $(cat "$work/stderr")"
case "$out" in "xslvalidate "*) ;; *) fail "unexpected banner: $out" ;; esac
grep -q 'id="TOT-03"' "$work/inbox/invoice_totals.xml" || fail "totals report lacks TOT-03"
grep -q '<svrl:schematron-output' "$work/inbox/invoice_parties.xml" || fail "no parties report"
[ ! -s "$work/stderr" ] || fail "unexpected messages: $(cat "$work/stderr")"

# The verdict command from the moved prefix: the example is rejected for
# TOT-03, with status 1.
run_installed xslvalidate-verdict
[ "$status" -eq 1 ] || fail "verdict: status $status: $(cat "$work/stderr")"
grep -qx '  fatal TOT-03: .*' <<<"$out" || fail "verdict lacks TOT-03: $out"
[ "$(tail -n 1 <<<"$out")" = "rejected: ../inbox/invoice.xml (1 finding rejects it) [rule-findings]" ] ||
  fail "verdict line: $out"
[ ! -s "$work/stderr" ] || fail "unexpected verdict messages: $(cat "$work/stderr")"

# The same call through the engine server of the moved tree, in a runtime
# directory of the test's own; the server is stopped before leaving.
mkdir -m 700 "$work/runtime"
rm "$work/inbox/invoice_totals.xml"
stop_server() {
  for pid_file in "$work"/runtime/xslvalidate/*.pid; do
    [ -f "$pid_file" ] && kill "$(cat "$pid_file")" 2>/dev/null
  done
  rm -rf "$work"
}
trap stop_server EXIT
set +e
env -i PATH=/usr/bin:/bin XSLVALIDATE_SERVER=on XDG_RUNTIME_DIR="$work/runtime" \
  "$prefix/bin/xslvalidate" ../inbox/invoice.xml ../rules/totals.xslt >/dev/null 2>"$work/stderr"
status=$?
set -e
[ "$status" -eq 0 ] || fail "with the server: status $status: $(cat "$work/stderr")"
grep -q 'id="TOT-03"' "$work/inbox/invoice_totals.xml" || fail "with the server: no report"
ls "$work"/runtime/xslvalidate/engine-*.pid >/dev/null 2>&1 || fail "no engine server ran"
echo "installed tool and verdict ran from a moved prefix, in-process and with the engine server"
