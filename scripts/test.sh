#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine and runs every test: a Release tree and an
# ASan+UBSan tree run the whole suite, a ThreadSanitizer tree runs the threaded suites,
# and a clang tree proves the code builds warnings-clean there too.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc)
run_ctest() { ctest --test-dir "$1" --output-on-failure -j "$jobs" "${@:2}"; }

echo "== Release"
scripts/build.sh build -DCMAKE_BUILD_TYPE=Release -DKCM_BUILD_BENCH=ON   # benchmarks are built, not run
run_ctest build

echo "== ASan + UBSan"
scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DKCM_SANITIZE=address,undefined -DKCM_BUILD_TOOLS=OFF
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_ctest build-asan

echo "== ThreadSanitizer (threaded suites)"
scripts/build.sh build-tsan -DCMAKE_BUILD_TYPE=Debug -DKCM_SANITIZE=thread -DKCM_BUILD_TOOLS=OFF
run_ctest build-tsan -L 'platform|core|media|ptz|audio|routing|devices|graphs|ffdshow'

echo "== clang 14 (warnings are errors)"
CC=clang-14 CXX=clang++-14 scripts/build.sh build-clang -DCMAKE_BUILD_TYPE=Release

echo "== SILK decoder fuzzing (libFuzzer, 90 s)"
mkdir -p build-clang/silk-fuzz-corpus
build-clang/bin/kcm_silk_fuzzer -max_total_time=90 -max_len=4096 -artifact_prefix=build-clang/ \
  build-clang/silk-fuzz-corpus >build-clang/silk-fuzz.log 2>&1 || { tail -n 60 build-clang/silk-fuzz.log; exit 1; }
grep -E "^Done [0-9]+ runs" build-clang/silk-fuzz.log

echo "== all tests passed"
