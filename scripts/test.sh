#!/usr/bin/env bash
# Builds everything and runs every test; then clang-tidy on src/, the install
# check, the whole suite again under AddressSanitizer and
# UndefinedBehaviorSanitizer (leaks included), and every fuzz target for a
# bounded time. Installs what is missing first. Stops at the first failure.
#
# TAVENRO_STAGES picks stages (default: "tests tidy install asan fuzz");
# FUZZ_SECONDS the time per fuzz target (default 30). Arguments go to both
# ctest runs (e.g. -R winpath).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-$here/build}"
asan_build="${ASAN_BUILD_DIR:-$here/build-asan}"
stages=" ${TAVENRO_STAGES:-tests tidy install asan fuzz} "
jobs="$(nproc)"

has() { [[ "$stages" == *" $1 "* ]]; }
stage() { printf '\n== %s (%s)\n' "$1" "$(date +%T)"; }

"$here/scripts/deps.sh" build

if has tests || has tidy || has install; then
    stage "Debug build"
    cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
    cmake --build "$build" -j "$jobs"
fi
if has tests; then
    stage "tests"
    (cd "$build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs" "$@")
fi
if has tidy; then
    stage "clang-tidy on src/"
    "$here/scripts/tidy.sh" "$build"
fi
if has install; then
    stage "install check"
    "$here/scripts/install-check.sh" "$build"
fi
if has asan; then
    stage "AddressSanitizer and UndefinedBehaviorSanitizer build"
    # Every error stops the test that made it, so ctest reports it as failed.
    sanitize="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all"
    # The benchmarks and the tools no test starts are not built for it.
    cmake -S "$here" -B "$asan_build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
        -DTAVENRO_BENCH=OFF -DTAVENRO_TOOLS=OFF \
        "-DCMAKE_CXX_FLAGS=$sanitize" "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined" \
        >/dev/null
    cmake --build "$asan_build" -j "$jobs"
    stage "tests under the sanitizers"
    # The backup's fault tests put their shim before the sanitizer's runtime
    # (LD_PRELOAD) in the child they start; the runtime still intercepts
    # after it, so its link-order check would only stop the child.
    (cd "$asan_build" &&
        ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:check_initialization_order=1:verify_asan_link_order=0" \
        LSAN_OPTIONS="suppressions=$here/tests/sanitizer/lsan.supp:print_suppressions=0" \
        UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
        QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs" "$@")
fi
if has fuzz; then
    stage "fuzzing, ${FUZZ_SECONDS:-30} s per target"
    "$here/scripts/fuzz.sh" "${FUZZ_SECONDS:-30}"
fi
stage "done"
