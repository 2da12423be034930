#!/usr/bin/env bash
# Builds the session reader fuzz target with clang (libFuzzer, ASan, UBSan) and runs it.
# Usage: scripts/fuzz_sessionreader.sh [runs] [build dir]   (defaults: 1000000, /tmp/build-fuzz)
set -euo pipefail

runs="${1:-1000000}"
build="${2:-/tmp/build-fuzz}"
source_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
corpus="${build}/corpus_sessionreader"

echo "Configuring ${build} with clang and ZELPRESS_FUZZ=ON"
CC=clang CXX=clang++ cmake -G Ninja -S "${source_dir}" -B "${build}" -DCMAKE_BUILD_TYPE=Debug \
    -DZELPRESS_FUZZ=ON -DZELPRESS_BUILD_TESTS=OFF >/dev/null
echo "Building fuzz_sessionreader"
ninja -C "${build}" -j1 fuzz_sessionreader

mkdir -p "${corpus}"
# Seeds: a small session, a metric trace and an empty one; libFuzzer grows the corpus from there.
printf '%s' '{"AppVersion":"1.0.0","FirmwareVersion":"","Graphs":[{"Color":"#ff0000","Comment":"","Flyer":false,"Name":"Trace 1","Show":true,"TraceNumber":1,"Units":"Imperial","Velocity":0,"X Values":[0.5,0.4,0.3],"Y Values":[1,2,3]}]}' \
    >"${corpus}/seed_session.json"
printf '%s' '{"Graphs":[5,{"Units":"Metric","X Values":[25.4],"Y Values":[10,20]},{}]}' >"${corpus}/seed_metric.json"
printf '%s' '{}' >"${corpus}/seed_empty.json"

echo "Running ${runs} inputs"
"${build}/fuzz/fuzz_sessionreader" -runs="${runs}" -max_len=4096 -print_final_stats=1 "${corpus}"
