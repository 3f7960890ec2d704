#!/usr/bin/env bash
# Installs what is missing (test dependencies too), builds the tool for
# Windows (cross-compiled, tested under Wine) and for Linux, installs the
# Debian package for real, and runs every test suite; the Linux suite,
# the largest, reports last.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh test
jobs=$(nproc)

cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DXSLVALIDATE_BUILD_TESTS=ON
cmake --build build-win -j"$jobs"
ctest --test-dir build-win --output-on-failure

cmake -S . -B build -DXSLVALIDATE_BUILD_TESTS=ON
cmake --build build -j"$jobs"
scripts/package-install-check.sh
ctest --test-dir build --output-on-failure -j"$jobs"
