#!/usr/bin/env bash
# Installs what is missing (test dependencies too), builds the tool for
# Linux and, cross-compiled, for Windows, and runs every test suite: the
# Linux one natively and the Windows one under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh test
jobs=$(nproc)

cmake -S . -B build
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
cmake --build build-win -j"$jobs"
ctest --test-dir build-win --output-on-failure
