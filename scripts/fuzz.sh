#!/usr/bin/env bash
# Builds the libFuzzer targets in the sanitizer tree (scripts/sanitizer-build.sh,
# build-asan, shared with the sanitizer suite) and runs each, as the ctest
# tests labelled fuzz (fuzz/CMakeLists.txt), for a bounded time from its
# committed seeds, one per core. A crash fails its test, which keeps the input
# in build-asan/artifacts/<target>/.
# Usage: scripts/fuzz.sh [SECONDS-PER-TARGET] [CTEST-ARGUMENT...] (e.g. -R jet)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${FUZZ_BUILD_DIR:-$here/build-asan}"
seconds="${1:-30}"
shift || true

"$here/scripts/sanitizer-build.sh" "$build" fuzzers
cd "$build"
FUZZ_SECONDS="$seconds" ctest -L fuzz -j "$(nproc)" --output-on-failure "$@"
