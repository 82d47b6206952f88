#!/usr/bin/env bash
# Builds the tool, prepares a demo installation (a Wine-style prefix inside the
# build folder whose drive c: holds Program Files/Tavenro/DB.mdb) and starts
# the tool on it. Installs what is missing first.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-$here/build}"

"$here/scripts/deps.sh" demo
cmake -S "$here" -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j "$(nproc)"

prefix="$("$here/tools/demo-prefix.sh" "$build")"
install="$prefix/drive_c/Program Files/Tavenro"
echo "Demo installation: $install/DB.mdb"

export WINEPREFIX="$prefix"
if [ -x "$build/bin/tavenro-settings" ]; then
    if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
        echo "No display: run it under a virtual one, e.g. xvfb-run -a bash scripts/demo.sh"
        exit 1
    fi
    cd "$install"
    exec "$build/bin/tavenro-settings"
fi
