#!/usr/bin/env bash
# Times a runaway stylesheet (it sorts ever more strings until the heap is
# exhausted) to its OutOfMemoryError, in the tool and on the engine's own
# command line, side by side, one run each.
#
# Usage: bash bench/runaway.sh [heap [build-dir]]
#   heap       a maximum heap for both (XSLVALIDATE_MAX_HEAP for the tool,
#              -Xmx for the command line); default: each side's own default
#              (the tool's, and a quarter of the memory for the command line)
#   build-dir  where the tool is built (default build-bench)
set -euo pipefail
cd "$(dirname "$0")/.."
heap=${1:-}
build=${2:-build-bench}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DXSLVALIDATE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 >/dev/null
work=bench/work-runaway
rm -rf "$work" && mkdir -p "$work"
echo '<a/>' >"$work/doc.xml"
cat >"$work/runaway.xsl" <<'XSL'
<xsl:stylesheet version="3.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:template match="/">
    <n><xsl:value-of select="count(sort(for $i in 1 to 2000000000 return concat('item-', $i)))"/></n>
  </xsl:template>
</xsl:stylesheet>
XSL

# timed NAME COMMAND...: seconds to the end, exit status, the error's kind.
timed() {
  local name=$1 start end status
  shift
  start=$(date +%s.%N)
  set +e
  "$@" >/dev/null 2>"$work/$name.err"
  status=$?
  set -e
  end=$(date +%s.%N)
  printf '%-13s %7.1f s  exit %d  %s\n' "$name" "$(echo "$end - $start" | bc)" "$status" \
    "$(grep -o 'OutOfMemoryError[^"]*' "$work/$name.err" | head -1)"
}

shown_heap=${heap:-"each side's default"}
echo "Runaway stylesheet, maximum heap: $shown_heap; load $(cut -d' ' -f1-3 /proc/loadavg)"
if [ -n "$heap" ]; then
  XSLVALIDATE_MAX_HEAP=$heap timed tool "$build/xslvalidate" "$work/doc.xml" "$work/runaway.xsl"
  timed command-line java "-Xmx$heap" -cp /usr/share/java/Saxon-HE.jar net.sf.saxon.Transform \
    -s:"$work/doc.xml" -xsl:"$work/runaway.xsl" -o:"$work/out.xml"
else
  timed tool "$build/xslvalidate" "$work/doc.xml" "$work/runaway.xsl"
  timed command-line java -cp /usr/share/java/Saxon-HE.jar net.sf.saxon.Transform \
    -s:"$work/doc.xml" -xsl:"$work/runaway.xsl" -o:"$work/out.xml"
fi
