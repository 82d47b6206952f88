#!/usr/bin/env bash
# Takes a picture of each window of the tool, title bar included, on the demo
# installation under a virtual display, and writes docs/export_frm.png and
# docs/bar_read_frm.png. Builds what is missing first.
# Usage: tools/screenshots.sh   (BUILD_DIR overrides the build folder)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-$here/build}"

if [ -z "${TAVENRO_SHOTS_DISPLAY:-}" ]; then
    "$here/scripts/deps.sh" demo
    cmake -S "$here" -B "$build" -G Ninja >/dev/null
    cmake --build "$build" --target tavenro-settings tavenro-demo-db
    # Wide enough for the two windows side by side; 96 dots per inch, the
    # density the layout was designed at.
    exec xvfb-run -a -s "-screen 0 2120x860x24 -dpi 96" \
        env TAVENRO_SHOTS_DISPLAY=1 BUILD_DIR="$build" "$0" "$@"
fi

prefix="$("$here/tools/demo-prefix.sh" "$build")"
work="$(mktemp -d)"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

# A window manager draws the title bars; each window gets a place of its own
# so that neither covers the other.
cat >"$work/rc.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <theme><name>Clearlooks</name><titleLayout>NLIMC</titleLayout></theme>
  <applications>
    <application title="Tavenro (各種設定)">
      <position force="yes"><x>0</x><y>0</y></position>
    </application>
    <application title="Tavenro (認証画面)">
      <position force="yes"><x>1050</x><y>0</y></position>
    </application>
    <application title="全員の履歴">
      <position force="yes"><x>0</x><y>0</y></position>
    </application>
  </applications>
</openbox_config>
XML
openbox --config-file "$work/rc.xml" >/dev/null 2>&1 &
pids+=($!)
sleep 0.5

(cd "$prefix/drive_c/Program Files/Tavenro" && WINEPREFIX="$prefix" exec "$build/bin/tavenro-settings") &
pids+=($!)

window_id() {
    xwininfo -root -tree | grep -F "\"$1\"" | head -n 1 | awk '{print $1}'
}
for _ in $(seq 100); do
    [ -n "$(window_id 'Tavenro (各種設定)')" ] && [ -n "$(window_id 'Tavenro (認証画面)')" ] && break
    sleep 0.1
done
sleep 1 # let both windows paint

mkdir -p "$here/docs"
for pair in "export_frm:Tavenro (各種設定)" "bar_read_frm:Tavenro (認証画面)"; do
    name="${pair%%:*}"
    title="${pair#*:}"
    id="$(window_id "$title")"
    if [ -z "$id" ]; then
        echo "screenshots: no window \"$title\" appeared" >&2
        exit 1
    fi
    import -frame -window "$id" "$here/docs/$name.png"
    echo "docs/$name.png"
done

# The viewer: 表示 on the launcher's menu bar, then its first entry.
launcher="$(window_id 'Tavenro (認証画面)')"
left="$(xwininfo -id "$launcher" | awk '/Absolute upper-left X/{print $4}')"
top="$(xwininfo -id "$launcher" | awk '/Absolute upper-left Y/{print $4}')"
xdotool mousemove $((left + 30)) $((top + 8)) click 1
sleep 0.7
xdotool mousemove $((left + 60)) $((top + 29)) click 1
for _ in $(seq 100); do
    [ -n "$(window_id '全員の履歴')" ] && break
    sleep 0.1
done
sleep 1
id="$(window_id '全員の履歴')"
if [ -z "$id" ]; then
    echo "screenshots: the viewer did not open" >&2
    exit 1
fi
import -frame -window "$id" "$here/docs/editDB.png"
echo "docs/editDB.png"
