#!/usr/bin/env bash
# Builds everything and runs every test; then clang-tidy on src/, the install
# check, the whole suite again under AddressSanitizer and
# UndefinedBehaviorSanitizer (leaks included), and every fuzz target for a
# bounded time. Installs what is missing first. Stops at the first failure;
# clang-tidy runs beside the tests and reports after them.
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
# The tests spend most of their time waiting on their servers, children and
# timers, so twice as many run at once as there are cores.
test_jobs=$((jobs * 2))

has() { [[ "$stages" == *" $1 "* ]]; }
stage() { printf '\n== %s (%s)\n' "$1" "$(date +%T)"; }

"$here/scripts/deps.sh" build

if has tests || has tidy || has install; then
    stage "Debug build"
    cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
    cmake --build "$build" -j "$jobs"
fi

# clang-tidy needs only the Debug build's compile commands and the headers it
# generated, and the tests leave most of the machine idle while they wait on
# their servers and children: it runs beside them, at a lower priority so
# that they keep the pace they have alone. Stopped when the run ends early.
tidy_pid=""
stop_tidy() { [ -z "$tidy_pid" ] || kill -- "-$tidy_pid" 2>/dev/null || true; }
trap stop_tidy EXIT
if has tidy; then
    setsid nice -n 10 python3 "$here/scripts/tidy.py" "$build" >"$build/clang-tidy.log" 2>&1 &
    tidy_pid=$!
fi
if has tests; then
    stage "tests"
    (cd "$build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$test_jobs" "$@")
fi
if has tidy; then
    stage "clang-tidy on src/ (started with the tests)"
    status=0
    wait "$tidy_pid" || status=$?
    tidy_pid=""
    cat "$build/clang-tidy.log"
    [ "$status" = 0 ] || exit "$status"
fi
if has install; then
    stage "install check"
    "$here/scripts/install-check.sh" "$build"
fi
if has asan; then
    stage "AddressSanitizer and UndefinedBehaviorSanitizer build"
    "$here/scripts/sanitizer-build.sh" "$asan_build"
    stage "tests under the sanitizers"
    # Every error stops the test that made it, so ctest reports it as failed.
    # The fuzz targets, tests of this tree too, are the next stage's.
    # The backup's fault tests put their shim before the sanitizer's runtime
    # (LD_PRELOAD) in the child they start; the runtime still intercepts
    # after it, so a link-order check (of a shared runtime) would only stop
    # the child.
    (cd "$asan_build" &&
        ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:check_initialization_order=1:verify_asan_link_order=0" \
        LSAN_OPTIONS="suppressions=$here/tests/sanitizer/lsan.supp:print_suppressions=0" \
        UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
        QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$test_jobs" -LE fuzz "$@")
fi
if has fuzz; then
    stage "fuzzing, ${FUZZ_SECONDS:-30} s per target"
    FUZZ_BUILD_DIR="$asan_build" "$here/scripts/fuzz.sh" "${FUZZ_SECONDS:-30}"
fi
stage "done"
