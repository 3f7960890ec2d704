#!/bin/sh
# Intake: checks what has arrived in inbox/ (which may be read-only),
# writes the SVRL reports to reports/ (mirroring inbox/'s subfolders) and
# one JSON line per invoice to verdicts.jsonl for the next step, which
# takes the accepted ones.
xslvalidate-verdict --json \
  --rules rules/totals.xslt --rules rules/parties.xslt \
  --report-dir reports inbox > verdicts.jsonl
status=$?
grep '"verdict": "accepted"' verdicts.jsonl | wc -l
exit $status
