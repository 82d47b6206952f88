#!/usr/bin/env bash
# Prepares the demo installation under BUILD/demo-prefix, as scripts/demo.sh
# lays it out (drive c: with Program Files/Tavenro/DB.mdb, drive e: as a USB
# memory), and prints the prefix. The build must hold tavenro-demo-db.
# Usage: tools/demo-prefix.sh BUILD
set -euo pipefail
build="$1"
prefix="$build/demo-prefix"
install="$prefix/drive_c/Program Files/Tavenro"
mkdir -p "$install" "$prefix/dosdevices" "$prefix/drive_usb"
[ -e "$prefix/dosdevices/c:" ] || ln -s ../drive_c "$prefix/dosdevices/c:"
[ -e "$prefix/dosdevices/e:" ] || ln -s ../drive_usb "$prefix/dosdevices/e:"
[ -f "$install/DB.mdb" ] || "$build/bin/tavenro-demo-db" "$install/DB.mdb" >/dev/null
echo "$prefix"
