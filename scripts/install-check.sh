#!/usr/bin/env bash
# Installs a built tree into a scratch folder and checks what a user's machine
# gets: both programs, the icon, a valid desktop entry, and that the program
# named by the entry's Exec starts and stays up (offscreen, on an empty Wine
# prefix, where it shows its missing-database report and waits). It is given
# Qt's option for a display plugin that does not exist: a program that took
# its command line would end there, this one must not.
# Usage: scripts/install-check.sh [BUILD-DIR]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$here/build}"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

cmake --install "$build" --prefix "$scratch/usr" >/dev/null
entry="$scratch/usr/share/applications/tavenro-settings.desktop"
for f in "$scratch/usr/bin/tavenro-settings" "$scratch/usr/bin/tavenro-notepad" \
         "$scratch/usr/share/icons/hicolor/scalable/apps/tavenro-settings.svg" "$entry"; do
    [ -e "$f" ] || { echo "not installed: ${f#"$scratch"}" >&2; exit 1; }
done
desktop-file-validate "$entry"

exec_line=$(sed -n 's/^Exec=//p' "$entry")
mkdir -p "$scratch/prefix"
status=0
WINEPREFIX="$scratch/prefix" QT_QPA_PLATFORM=offscreen PATH="$scratch/usr/bin:$PATH" \
    timeout 5 $exec_line -platform no-such-platform || status=$?
# 124: still running when the time was up, as a started program is.
if [ "$status" != 124 ]; then
    echo "the desktop entry's program ended with status $status instead of staying up" >&2
    exit 1
fi
echo "install check: files in place, desktop entry valid, '$exec_line' started"
