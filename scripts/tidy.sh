#!/usr/bin/env bash
# clang-tidy with the checks of .clang-tidy on every source file of src/, on
# the compile commands of a configured build folder (the Debug one by default).
# Usage: scripts/tidy.sh [BUILD-DIR]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$here/build}"
[ -f "$build/compile_commands.json" ] || { echo "no compile_commands.json in $build" >&2; exit 1; }
# The precompiled headers are the compiler's own format, which clang cannot
# read: clang-tidy gets the commands without them, and every source includes
# what it uses anyway. Only the sources of src/ are kept, so that nothing else
# is read.
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
python3 - "$build/compile_commands.json" "$work/compile_commands.json" "$here/src/" <<'PY'
import json, re, sys
source, target, src = sys.argv[1:]
kept = []
for entry in json.load(open(source)):
    if not (entry["file"].startswith(src) and entry["file"].endswith(".cpp")):
        continue
    command = re.sub(r" -include \S*cmake_pch\.hxx", "", entry["command"])
    entry["command"] = command.replace(" -Winvalid-pch", "")
    kept.append(entry)
json.dump(kept, open(target, "w"), indent=1)
PY
# Generated sources (moc, the best-fit table) are compiled with the rest but
# are not ours to tidy; the build must have made them before the headers of
# src/ that include them can be read.
run-clang-tidy -p "$work" -quiet -j "$(nproc)" "^$here/src/.*\.cpp\$"
