#!/usr/bin/env bash
# Builds the Debian package, checks its control fields and file list, and
# unpacks it into an empty root to run the packaged tool on the example.
# Usage: package_test.sh BUILD_DIR SOURCE_DIR VERSION
set -euo pipefail
build=$1 source=$2 version=$3
work=$(mktemp -d /tmp/xslvalidate-package-XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/out" >/dev/null)
deb=$work/out/xslvalidate_${version}_amd64.deb
[ -f "$deb" ] || fail "no package $deb: $(ls "$work/out")"

info=$(dpkg-deb -I "$deb")
echo "$info"
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = xslvalidate ] || fail "package name"
[ "$(field Version)" = "$version" ] || fail "version $(field Version)"
[ "$(field Architecture)" = amd64 ] || fail "architecture"
depends=$(field Depends)
for need in openjdk-17-jre-headless libsaxonhe-java libstdc++6 libc6 zlib1g; do
  grep -q "\b$need\b" <<<"$depends" || fail "Depends lacks $need: $depends"
done

files=$(dpkg-deb -c "$deb" | awk '{print $6}')
for f in ./usr/bin/xslvalidate ./usr/bin/xslvalidate-verdict \
         ./usr/lib/xslvalidate/libxslvalidate-jvmengine.so \
         ./usr/lib/xslvalidate/xslvalidate-engine-server \
         ./usr/share/man/man1/xslvalidate.1.gz ./usr/share/man/man1/xslvalidate-verdict.1.gz \
         ./usr/share/doc/xslvalidate/copyright; do
  grep -qx "$f" <<<"$files" || fail "package lacks $f"
done

dpkg-deb -x "$deb" "$work/root"
man -l "$work/root/usr/share/man/man1/xslvalidate.1.gz" 2>/dev/null | grep -q "EXIT STATUS" ||
  fail "manual page has no EXIT STATUS section"
man -l "$work/root/usr/share/man/man1/xslvalidate-verdict.1.gz" 2>/dev/null | grep -q "EXIT STATUS" ||
  fail "verdict manual page has no EXIT STATUS section"
mkdir "$work/inbox"
cp "$source/examples/invoice.xml" "$work/inbox/"
cd "$work"
set +e
env -i PATH=/usr/bin:/bin XSLVALIDATE_SERVER=off "$work/root/usr/bin/xslvalidate" inbox/invoice.xml \
  "$source/examples/rules/totals.xslt" >/dev/null 2>"$work/stderr"
status=$?
set -e
[ "$status" -eq 0 ] || fail "packaged tool: status $status: $(cat "$work/stderr")"
grep -q 'id="TOT-03"' inbox/invoice_totals.xml || fail "packaged tool wrote no report"
set +e
env -i PATH=/usr/bin:/bin XSLVALIDATE_SERVER=off "$work/root/usr/bin/xslvalidate-verdict" --json inbox/invoice.xml \
  "$source/examples/rules/parties.xslt" >"$work/verdict.json" 2>"$work/stderr"
status=$?
set -e
[ "$status" -eq 0 ] || fail "packaged verdict: status $status: $(cat "$work/stderr")"
grep -q '"verdict": "accepted"' "$work/verdict.json" || fail "packaged verdict: $(cat "$work/verdict.json")"
echo "package $(basename "$deb") checked"
