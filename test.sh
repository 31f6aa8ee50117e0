#!/usr/bin/env bash
# Installs what is missing, builds Zumen with the sanitizers (the benchmarks too, so that they
# keep compiling; they are run by hand, see benchmarks/), runs each fuzz target for a few
# seconds on its seed corpus, then every test, the shared-archive tests against a throwaway
# PostgreSQL cluster started here and stopped at the end, even on failure. A machine where the
# server cannot start fails the run, unless ZUMEN_SKIP_SERVER_TESTS=1 asks for those tests to be
# reported skipped.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Debug -DZUMEN_SANITIZE=ON -DZUMEN_BENCHMARKS=ON >/dev/null
cmake --build build -j"$(nproc)"

# The fuzz targets are built by clang in a folder of their own. New inputs go to a scratch
# folder so the seed corpora stay as committed; a crash is kept in build-fuzz for replay.
cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZUMEN_FUZZ=ON \
  -DZUMEN_TESTS=OFF -DZUMEN_BENCHMARKS=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target fuzz
scratch=$(mktemp -d)
pgdir=$(mktemp -d /tmp/zumen-pg.XXXXXX)
# The trap runs wherever the script stands by then: the cluster script is named from here.
cluster="$PWD/scripts/pg-cluster.sh"
trap '"$cluster" stop "$pgdir"; rm -rf "$scratch"' EXIT
for corpus in fuzz/corpus/*/; do
  name=$(basename "$corpus")
  mkdir "$scratch/$name"
  echo "fuzz_$name: 5 s"
  dict=()
  [[ -f fuzz/$name.dict ]] && dict=(-dict="fuzz/$name.dict")
  if ! build-fuzz/fuzz/fuzz_"$name" -max_total_time=5 -artifact_prefix=build-fuzz/fuzz/"$name"- "${dict[@]}" \
    "$scratch/$name" "$corpus" >"$scratch/$name.log" 2>&1; then
    tail -n 40 "$scratch/$name.log"
    exit 1
  fi
done

if server=$("$cluster" start "$pgdir"); then
  export ZUMEN_TEST_PG="$server"
elif [[ ${ZUMEN_SKIP_SERVER_TESTS:-} == 1 ]]; then
  export ZUMEN_TEST_PG_SKIP="the PostgreSQL test cluster did not start (see above)"
else
  echo "The PostgreSQL test cluster did not start; ZUMEN_SKIP_SERVER_TESTS=1 runs without it." >&2
  exit 1
fi

cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)"
