#!/usr/bin/env bash
# Installs what is missing, builds Zumen with the sanitizers and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Debug -DZUMEN_SANITIZE=ON -DZUMEN_BENCHMARKS=OFF >/dev/null
cmake --build build -j"$(nproc)"
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)"
