#!/usr/bin/env bash
# The plain build on a machine set up only to run the tool: configuring a
# fresh build folder with GoogleTest out of reach succeeds, with the test
# suites off.
#
# Usage: plain_configure_test.sh SOURCE_DIR WORK_DIR
set -euo pipefail
source_dir=$1
work=$2

rm -rf "$work"
if ! cmake -S "$source_dir" -B "$work" -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON \
     > "$work.log" 2>&1; then
  cat "$work.log"
  echo "FAIL: configuring without GoogleTest failed"
  exit 1
fi
tests=$(sed -n 's/^XSLVALIDATE_BUILD_TESTS:BOOL=//p' "$work/CMakeCache.txt")
if [[ $tests != OFF ]]; then
  echo "FAIL: XSLVALIDATE_BUILD_TESTS is '$tests' without GoogleTest, expected OFF"
  exit 1
fi
rm -rf "$work" "$work.log"
echo "ok: configured without GoogleTest, test suites off"
