#!/bin/sh
# A CI job's script: validates every invoice under invoices/ (subfolders
# too) with two rule sets, keeps the SVRL reports in out/reports, and
# leaves out/junit.xml and one HTML page per invoice in out/pages for the
# CI server to publish. Its status is the call's: 0 all accepted, 1 any
# rejected, 3 any without a verdict.
xslvalidate-verdict \
  --rules rules/totals.xslt --rules rules/parties.xslt \
  --report-dir out/reports --junit out/junit.xml --pages out/pages \
  invoices
