#!/usr/bin/env bash
# Installs a built tree into a scratch folder and checks what a user's machine
# gets: both programs, the icon, a valid desktop entry, and that the program
# named by the entry's Exec starts and stays up (offscreen, on an empty Wine
# prefix, where it shows its missing-database report and waits). It is given
# Qt's option for a display plugin that does not exist: a program that took
# its command line would end there, this one must not. Then it starts the
# entry's Exec as a desktop launcher does, from the home folder, and checks
# that the tool runs in the install folder of the prefix (or its (x86) twin
# when only that exists), while the tool started by its own name keeps the
# folder it was started in.
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

# Starts a command in the background from a folder; prints the folder the
# tool runs in once the command has become the tool, then stops it.
folder_of_tool() {
    local from="$1" prefix="$2"
    shift 2
    (cd "$from" && HOME="$scratch/home" WINEPREFIX="$prefix" QT_QPA_PLATFORM=offscreen \
        PATH="$scratch/usr/bin:$PATH" exec "$@" -platform no-such-platform) &
    local pid=$! tries=0
    until [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = "$scratch/usr/bin/tavenro-settings" ]; do
        tries=$((tries + 1))
        if [ "$tries" -gt 100 ]; then
            echo "'$*' did not become tavenro-settings" >&2
            kill "$pid" 2>/dev/null || true
            return 1
        fi
        sleep 0.05
    done
    readlink "/proc/$pid/cwd"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
}

mkdir -p "$scratch/home"
for twin in "Program Files" "Program Files (x86)"; do
    prefix="$scratch/prefix-$twin"
    mkdir -p "$prefix/drive_c/$twin/Tavenro" "$prefix/dosdevices"
    ln -s ../drive_c "$prefix/dosdevices/c:"
    want="$(readlink -f "$prefix/drive_c/$twin/Tavenro")"
    got="$(folder_of_tool "$scratch/home" "$prefix" $exec_line)"
    if [ "$got" != "$want" ]; then
        echo "from the menu the tool ran in '$got' instead of '$want'" >&2
        exit 1
    fi
done
got="$(folder_of_tool "$scratch/home" "$prefix" tavenro-settings)"
if [ "$got" != "$scratch/home" ]; then
    echo "started by its name the tool ran in '$got' instead of the folder it was started in" >&2
    exit 1
fi
echo "install check: files in place, desktop entry valid, '$exec_line' started in the install" \
     "folder from the home folder"
