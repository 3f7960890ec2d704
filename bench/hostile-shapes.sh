#!/usr/bin/env bash
# Times the tool on generated documents of shapes that could cost more
# than linear time in the parser or in Saxon's name handling: namespace
# bindings, names and attributes in their thousands. Prints one line a
# shape: its size, the tool's status and the wall time. The stylesheet
# counts elements, so the time is the document's, not the rules'.
#
# Usage: bash bench/hostile-shapes.sh [build-dir]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
tool=$(cd "${1:-build}" && pwd)/xslvalidate
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat > "$work/count.xslt" <<'XSL'
<xsl:stylesheet version="2.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:template match="/"><count><xsl:value-of select="count(//*)"/></count></xsl:template>
</xsl:stylesheet>
XSL

# shape name, count, awk body printing the document for n = count
shape() {
  local name=$1 n=$2 body=$3
  awk -v n="$n" "BEGIN { $body }" > "$work/$name.xml"
  local start end status=0
  start=$(date +%s.%N)
  (cd "$work" && "$tool" "$name.xml" count.xslt >/dev/null 2>"$name.err") || status=$?
  end=$(date +%s.%N)
  printf '%-44s %7d  status %d  %6.2f s\n' "$name" "$n" "$status" "$(echo "$end - $start" | bc)"
}

for n in 1000 5000 20000; do
  shape default-namespace-per-sibling "$n" \
    'printf "<r>"; for (i = 0; i < n; i++) printf "<e xmlns=\"urn:x%d\"/>", i; print "</r>"'
done
for n in 1000 20000 100000; do
  shape prefixes-on-one-element "$n" \
    'printf "<r"; for (i = 0; i < n; i++) printf " xmlns:p%d=\"urn:x%d\"", i, i; print "/>"'
done
shape unused-prefix-per-sibling 20000 \
  'printf "<r>"; for (i = 0; i < n; i++) printf "<e xmlns:p%d=\"urn:x%d\"/>", i, i; print "</r>"'
shape one-prefix-to-new-uris 20000 \
  'printf "<r>"; for (i = 0; i < n; i++) printf "<p:e xmlns:p=\"urn:x%d\"/>", i; print "</r>"'
shape same-three-bindings-repeated 20000 \
  'printf "<r>"; for (i = 0; i < n; i++) printf "<e xmlns=\"urn:a\" xmlns:b=\"urn:b\" xmlns:c=\"urn:c\"/>"; print "</r>"'
shape distinct-element-names 100000 \
  'printf "<r>"; for (i = 0; i < n; i++) printf "<e%d/>", i; print "</r>"'
shape attributes-on-one-element 100000 \
  'printf "<r"; for (i = 0; i < n; i++) printf " a%d=\"1\"", i; print "/>"'
shape distinct-attribute-names 100000 \
  'printf "<r>"; for (i = 0; i < n; i++) printf "<e a%d=\"1\"/>", i; print "</r>"'
