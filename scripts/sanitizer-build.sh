#!/usr/bin/env bash
# Configures and builds the sanitizer tree: clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, every error fatal, at -O1 with debug lines. The
# tests and the libFuzzer targets share it: the libraries carry libFuzzer's
# coverage hooks (fuzzer-no-link), which only a fuzz target links to, so one
# compile of the sources serves the sanitizer suite and the fuzzers alike.
# The benchmarks and the tools no test starts are not built.
# Usage: scripts/sanitizer-build.sh [BUILD-DIR] [TARGET...]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$here/build-asan}"
shift || true

# CMake keeps the compiler it first found: a folder configured before with
# another one (g++ by default) is configured afresh.
fresh=()
grep -qs '^CMAKE_CXX_COMPILER:[A-Z]*=.*clang++$' "$build/CMakeCache.txt" || fresh=(--fresh)

sanitize="-O1 -fsanitize=address,undefined,fuzzer-no-link -fno-omit-frame-pointer"
sanitize+=" -fno-sanitize-recover=all"
CC=clang CXX=clang++ cmake "${fresh[@]}" -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DTAVENRO_FUZZ=ON -DTAVENRO_BENCH=OFF -DTAVENRO_TOOLS=OFF \
    "-DCMAKE_CXX_FLAGS=$sanitize" "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined" \
    >/dev/null
targets=()
for t in "$@"; do
    targets+=(--target "$t")
done
cmake --build "$build" -j "$(nproc)" "${targets[@]}"
