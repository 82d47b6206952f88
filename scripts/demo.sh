#!/usr/bin/env bash
# Builds the demo's programs (the tool, the editor it opens list.csv in and the
# demo database generator) in a Release tree of their own, prepares a demo
# installation (a Wine-style prefix inside that tree whose drive c: holds
# Program Files/Tavenro/DB.mdb) and starts the tool on it. Installs what is
# missing first. BUILD_DIR overrides the tree (default build-demo).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-$here/build-demo}"

# Without a display there is nothing to show: say so before building anything.
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display: run it under a virtual one, e.g. xvfb-run -a bash scripts/demo.sh" >&2
    command -v xvfb-run >/dev/null ||
        echo "(xvfb-run comes with Debian's xvfb: bash scripts/deps.sh demo installs it)" >&2
    exit 1
fi

"$here/scripts/deps.sh" demo
launcher=()
command -v ccache >/dev/null &&
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
echo "Building the tool, its editor and the demo database in $build (Release, no tests)…"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVENRO_TESTS=OFF \
    -DTAVENRO_BENCH=OFF -DTAVENRO_TOOLS=ON "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)" --target tavenro-settings tavenro-notepad tavenro-demo-db

prefix="$("$here/tools/demo-prefix.sh" "$build")"
install="$prefix/drive_c/Program Files/Tavenro"
echo "Demo installation: $install/DB.mdb (drive e: is $prefix/drive_usb)"
echo "Starting 各種設定 on ${WAYLAND_DISPLAY:-${DISPLAY:-$QT_QPA_PLATFORM}}: the settings window" \
    "\"Tavenro (各種設定)\" at the top left of the screen, the launcher \"Tavenro (認証画面)\"" \
    "over it, a little down and to the right. 終　了 on the settings window ends it."

export WINEPREFIX="$prefix"
cd "$install"
exec "$build/bin/tavenro-settings"
