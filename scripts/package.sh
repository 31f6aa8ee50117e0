#!/usr/bin/env bash
# Builds an optimised Zumen and makes the Debian package zumen_<version>_<arch>.deb in
# build-release/ (a package from the sanitizer build in build/ would not run without it).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DZUMEN_TESTS=OFF -DZUMEN_BENCHMARKS=OFF >/dev/null
cmake --build build-release -j"$(nproc)"
cd build-release
cpack -G DEB
