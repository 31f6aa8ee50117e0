#!/usr/bin/env bash
# Installs what is missing, builds an optimised Zumen and opens it on a working folder
# (default: demo/, made with sample drawings the first time).
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DZUMEN_TESTS=OFF -DZUMEN_BENCHMARKS=OFF >/dev/null
cmake --build build-release -j"$(nproc)" --target zumen zumen-db
folder=${1:-demo}
if [[ ! -e "$folder/QV.MDB" ]]; then
  build-release/zumen-db demo "$folder"
fi
cd "$folder"
exec "$OLDPWD/build-release/zumen"
