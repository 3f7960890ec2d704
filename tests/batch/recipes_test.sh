#!/usr/bin/env bash
# Runs the batch recipes (examples/batch/*.sh) as they are, on
# the bundled example invoice and rule sets, and checks that the docs
# quotes each recipe's command exactly. In-process (XSLVALIDATE_SERVER=off):
# no engine server is started or left behind.
# Usage: recipes_test.sh <source dir> <folder holding xslvalidate-verdict>
set -u
source_dir=$1
tool_dir=$2
export PATH="$tool_dir:/usr/bin:/bin" XSLVALIDATE_SERVER=off
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The README or the user's manual quotes each recipe's command, line for
# line.
for recipe in ci-job intake; do
  script=$source_dir/examples/batch/$recipe.sh
  command=$(sed -n '/^xslvalidate-verdict/,/[^\\]$/p' "$script")
  [ -n "$command" ] || fail "$recipe: no command in the script"
  python3 - "$source_dir/README.md" "$source_dir/doc/usage.md" "$command" <<'PY' || fail "$recipe: neither README nor doc/usage.md quotes the command"
import sys
texts = [open(name, encoding="utf-8").read() for name in sys.argv[1:3]]
sys.exit(0 if any(sys.argv[3] in text for text in texts) else 1)
PY
done

# CI job: a folder with a subfolder; JUnit, pages and reports land in out/.
ci=$work/ci
mkdir -p "$ci/invoices/sub" "$ci/rules"
cp "$source_dir"/examples/rules/*.xslt "$ci/rules/"
cp "$source_dir/examples/invoice.xml" "$ci/invoices/"
cp "$source_dir/examples/invoice.xml" "$ci/invoices/sub/"
(cd "$ci" && sh "$source_dir/examples/batch/ci-job.sh" >stdout.txt 2>stderr.txt)
status=$?
[ "$status" = 1 ] || fail "ci-job: status $status, not 1 (rejected): $(cat "$ci/stderr.txt")"
grep -q '^documents: 2 (accepted 0, rejected 2, no verdict 0)$' "$ci/stdout.txt" ||
  fail "ci-job: no summary: $(tail -3 "$ci/stdout.txt")"
xmllint --noout --schema "$source_dir/src/verdict/testdata/junit.xsd" "$ci/out/junit.xml" 2>/dev/null ||
  fail "ci-job: out/junit.xml is not the JUnit shape"
[ "$(xmllint --xpath 'string(//testsuite/@failures)' "$ci/out/junit.xml")" = 2 ] ||
  fail "ci-job: out/junit.xml does not hold two failures"
[ "$(find "$ci/invoices" -type f | wc -l)" = 2 ] || fail "ci-job: something was written to invoices/"
for page in out/pages/invoice.xml.html out/pages/sub/invoice.xml.html \
            out/reports/invoice_totals.xml out/reports/sub/invoice_parties.xml; do
  [ -s "$ci/$page" ] || fail "ci-job: $page missing"
done

# Intake: a read-only inbox, reports in their own folder, JSON Lines.
intake=$work/intake
mkdir -p "$intake/inbox/2026-12" "$intake/rules"
cp "$source_dir"/examples/rules/*.xslt "$intake/rules/"
cp "$source_dir/examples/invoice.xml" "$intake/inbox/2026-12/"
chmod -R a-w "$intake/inbox"
(cd "$intake" && sh "$source_dir/examples/batch/intake.sh" >stdout.txt 2>stderr.txt)
status=$?
[ "$status" = 1 ] || fail "intake: status $status, not 1: $(cat "$intake/stderr.txt")"
[ "$(wc -l <"$intake/verdicts.jsonl")" = 1 ] || fail "intake: not one line per invoice"
grep -q '"verdict": "rejected"' "$intake/verdicts.jsonl" || fail "intake: verdict missing"
[ "$(cat "$intake/stdout.txt")" = 0 ] || fail "intake: accepted count $(cat "$intake/stdout.txt")"
[ -s "$intake/reports/2026-12/invoice_totals.xml" ] || fail "intake: report not in reports/2026-12"
[ "$(find "$intake/inbox" -type f | wc -l)" = 1 ] || fail "intake: something was written to the inbox"

[ "$failures" = 0 ] && echo "batch recipes: all passed"
exit $((failures > 0))
