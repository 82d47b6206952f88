#!/usr/bin/env bash
# clang-tidy with the checks of .clang-tidy on every source file of src/, on
# the compile commands of a configured build folder (the Debug one by default).
# Usage: scripts/tidy.sh [BUILD-DIR]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$here/build}"
[ -f "$build/compile_commands.json" ] || { echo "no compile_commands.json in $build" >&2; exit 1; }
# Generated sources (moc, the best-fit table) are compiled with the rest but
# are not ours to tidy; the build must have made them before the headers of
# src/ that include them can be read.
run-clang-tidy -p "$build" -quiet -j "$(nproc)" "^$here/src/.*\.cpp\$"
