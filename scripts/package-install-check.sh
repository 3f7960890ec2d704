#!/usr/bin/env bash
# Builds the Debian package from build/ and installs it on this machine
# with apt-get, as a user would, then runs the installed `xslvalidate` and
# `xslvalidate-verdict` on the bundled example from a temporary directory,
# finds their manual pages, and removes the package again.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo

(cd build && cpack -G DEB >/dev/null)
deb=$(ls -t build/xslvalidate_*_amd64.deb | head -1)
dpkg-deb -I "$deb"
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "$root/$deb" >/dev/null

work=$(mktemp -d /tmp/xslvalidate-deb-XXXXXX)
trap 'cd /; rm -rf "$work"; DEBIAN_FRONTEND=noninteractive $sudo apt-get remove -y xslvalidate >/dev/null' EXIT
cp examples/invoice.xml "$work/"
cd "$work"
env -i PATH=/usr/bin:/bin XSLVALIDATE_SERVER=off xslvalidate invoice.xml "$root/examples/rules/totals.xslt"
grep -q 'id="TOT-03"' invoice_totals.xml
man -w xslvalidate >/dev/null
set +e
env -i PATH=/usr/bin:/bin XSLVALIDATE_SERVER=off xslvalidate-verdict invoice.xml "$root/examples/rules/totals.xslt"
status=$?
set -e
[ "$status" -eq 1 ]  # the example is rejected for TOT-03
man -w xslvalidate-verdict >/dev/null
echo "Debian package installed with apt-get and run: ok"
