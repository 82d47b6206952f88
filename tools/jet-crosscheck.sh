#!/usr/bin/env bash
# Cross-checks our Jet reader against an independent one, the npm package
# mdb-reader: every row of every table of each file, in stored order, must
# print the same. A developer's check, not part of the test suite (it fetches
# from the npm registry).
#
#   tools/jet-crosscheck.sh [FILE.mdb ...]   (default: the shared fixtures)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-$here/build}"
fixtures="${TAVENRO_FIXTURES:-$here/../shared/fixtures}"
[ $# -gt 0 ] || set -- "$fixtures/jet4/edge.mdb" "$fixtures/jet4/history.mdb"

cmake --build "$build" --target tavenro-jet-dump >/dev/null
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
(cd "$work" && npm init -y >/dev/null && npm install --no-audit --no-fund mdb-reader@3 >/dev/null)
cat >"$work/dump.mjs" <<'JS'
import MDBReader from "mdb-reader";
import { readFileSync } from "fs";
const reader = new MDBReader(readFileSync(process.argv[2]));
if (process.argv.length < 4) {
    console.log(reader.getTableNames().join("\n"));
} else {
    for (const row of reader.getTable(process.argv[3]).getData())
        console.log(JSON.stringify(row));
}
JS

status=0
for file in "$@"; do
    copy="$work/$(basename "$file")"
    cp "$file" "$copy"
    chmod u+w "$copy"
    for table in $(cd "$work" && node dump.mjs "$copy"); do
        (cd "$work" && node dump.mjs "$copy" "$table") >"$work/theirs"
        "$build/bin/tavenro-jet-dump" "$copy" "$table" >"$work/ours"
        if cmp -s "$work/theirs" "$work/ours"; then
            echo "same: $(basename "$file") $table ($(wc -l <"$work/ours") rows)"
        else
            echo "DIFFERENT: $(basename "$file") $table"
            diff "$work/theirs" "$work/ours" | head -20
            status=1
        fi
    done
    cmp -s "$file" "$copy" || { echo "CHANGED: $file"; status=1; }
done
exit $status
