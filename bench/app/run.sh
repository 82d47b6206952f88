#!/usr/bin/env bash
# Times the tool on the demo installation from process start to both windows
# shown, offscreen and under Xvfb. The goal is under 300 ms on the project's
# 2-core machine.
# Usage: bench/app/run.sh [RUNS]   (BUILD_DIR overrides the build folder)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="${BUILD_DIR:-$here/build}"
runs="${1:-20}"

"$here/scripts/deps.sh" demo
cmake -S "$here" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target tavenro-settings-probe bench_app_startup tavenro-demo-db
prefix="$("$here/tools/demo-prefix.sh" "$build")"
cd "$prefix/drive_c/Program Files/Tavenro"
export WINEPREFIX="$prefix"

echo "== offscreen ($(grep -m1 CMAKE_BUILD_TYPE: "$build/CMakeCache.txt" | cut -d= -f2) build)"
QT_QPA_PLATFORM=offscreen "$build/bin/bench_app_startup" "$build/bin/tavenro-settings-probe" "$runs"
echo "== Xvfb"
xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" env -u QT_QPA_PLATFORM \
    "$build/bin/bench_app_startup" "$build/bin/tavenro-settings-probe" "$runs"
