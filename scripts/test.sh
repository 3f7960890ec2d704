#!/usr/bin/env bash
# Installs what is missing (test dependencies too), builds the tool for
# Windows (cross-compiled, tested under Wine) and for Linux, and runs every
# test suite; the Linux suite, the largest, reports last.
#
# Usage: scripts/test.sh [--install-package]
#   --install-package  also install the Debian package on this machine with
#                      apt-get, run it and remove it again
#                      (scripts/package-install-check.sh); CI=true asks for
#                      the same. Without it nothing is installed system-wide
#                      but missing build and test dependencies.
set -euo pipefail
cd "$(dirname "$0")/.."

install_package=false
[ "${CI:-}" = true ] && install_package=true
for arg in "$@"; do
  case "$arg" in
    --install-package) install_package=true ;;
    *) echo "usage: $0 [--install-package]" >&2; exit 2 ;;
  esac
done

scripts/install-deps.sh test
jobs=$(nproc)

cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DXSLVALIDATE_BUILD_TESTS=ON
cmake --build build-win -j"$jobs"
ctest --test-dir build-win --output-on-failure

cmake -S . -B build -DXSLVALIDATE_BUILD_TESTS=ON
cmake --build build -j"$jobs"
if [ "$install_package" = true ]; then
  scripts/package-install-check.sh
fi
ctest --test-dir build --output-on-failure -j"$jobs"
