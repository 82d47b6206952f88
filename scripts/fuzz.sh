#!/usr/bin/env bash
# Builds the libFuzzer targets in the sanitizer tree (scripts/sanitizer-build.sh,
# build-asan, shared with the sanitizer suite) and runs each for a bounded time
# from its committed seeds in fuzz/corpus/<target>/. Inputs the fuzzer finds go
# to build-asan/corpus/, never into the repository; a crash leaves its input in
# build-asan/artifacts/ and fails the run.
# Usage: scripts/fuzz.sh [SECONDS-PER-TARGET] [TARGET...]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${FUZZ_BUILD_DIR:-$here/build-asan}"
seconds="${1:-30}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(shiftjis notepad_text connection_string winpath schema jet roster_writer datetime)

"$here/scripts/sanitizer-build.sh" "$build" fuzzers

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1"
export LSAN_OPTIONS="suppressions=$here/tests/sanitizer/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export QT_QPA_PLATFORM=offscreen

# The genuine Jet files of the shared fixtures, when they are beside the
# checkout, seed the Jet target as well; they are not ours to commit.
jet_fixtures="$here/../shared/fixtures/jet4"

# Each target runs for its full time on a core of its own; as many run at
# once as there are cores.
run_target() {
    local t="$1" work="$build/corpus/$1" artifacts="$build/artifacts/$1"
    rm -f "$build/fuzz-$t.status"
    rm -rf "$artifacts"
    mkdir -p "$work" "$artifacts"
    local seeds=("$here/fuzz/corpus/$t") extra=()
    if [ "$t" = jet ]; then
        [ -d "$jet_fixtures" ] && seeds+=("$jet_fixtures")
        extra+=(-max_len=160000)
    fi
    local status=0
    "$build/bin/fuzz_$t" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$artifacts/" "${extra[@]}" \
        "$work" "${seeds[@]}" >"$build/fuzz-$t.log" 2>&1 || status=$?
    echo "$status" >"$build/fuzz-$t.status"
}

parallel="$(nproc)"
for t in "${targets[@]}"; do
    while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do
        wait -n || true
    done
    run_target "$t" &
done
wait

failed=0
summary=""
for t in "${targets[@]}"; do
    log="$build/fuzz-$t.log"
    artifacts="$build/artifacts/$t"
    status=$(cat "$build/fuzz-$t.status" 2>/dev/null || echo "?")
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
    crashes=$(find "$artifacts" -type f | wc -l)
    summary+=$(printf '%-18s %10s executions  %s crash(es)  exit %s\n' "$t" "$runs" "$crashes" "$status")
    summary+=$'\n'
    if [ "$status" != 0 ] || [ "$crashes" != 0 ]; then
        failed=1
        echo "fuzz_$t failed; its log is $log:" >&2
        tail -40 "$log" >&2
    fi
done
printf '%s' "$summary"
exit "$failed"
