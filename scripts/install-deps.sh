#!/usr/bin/env bash
# Installs the Debian packages that xslvalidate needs, only when some are
# missing. Usage: scripts/install-deps.sh [run|test|bench]
#   run   - build and run the tool on Linux (the default)
#   test  - also everything the test suites need, the Windows cross build
#           and Wine included, xmllint and Chromium for the verdict's
#           JUnit and HTML checks
#   bench - also the benchmark's tools
set -euo pipefail

packages=(cmake g++ make zlib1g-dev libmicrohttpd-dev openjdk-17-jdk-headless libsaxonhe-java)
case "${1:-run}" in
  run) ;;
  test) packages+=(libgtest-dev nlohmann-json3-dev g++-mingw-w64-x86-64 wine wine64 zip dpkg-dev
                   libxml2-utils chromium curl python3-yaml) ;;
  bench) packages+=(hyperfine xsltproc time python3) ;;
  *) echo "usage: $0 [run|test|bench]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  sudo=sudo
else
  sudo=
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${missing[@]}"
