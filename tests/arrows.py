#!/usr/bin/env python3
"""Fails on an include in src/ that the layout does not allow.

A room includes its own headers and those of the rooms below it, never one
above or beside it. The engine's backends (every folder inside engine/)
include their own folder, the engine's neutral headers and what lies below
the engine, never the facade that is built on them. Every include names its
folder. A room missing from the table below fails too, so that a new one is
placed on purpose.
Usage: arrows.py SRC-FOLDER
"""
import re
import sys
from pathlib import Path

# Each room and the rooms directly below it.
BELOW = {
    "app": ["export", "maintenance", "backup", "viewer", "support"],
    "export": ["db", "shiftjis"],
    "maintenance": ["db"],
    "backup": ["db"],
    "viewer": ["db"],
    "support": ["db", "mail"],
    "notepad": ["shiftjis"],
    "db": ["engine"],
    "engine": ["platform"],
    "shiftjis": ["platform"],
    "mail": ["platform"],
    "platform": [],
}
FACADE = {"engine/Connection.h", "engine/Command.h", "engine/Recordset.h"}
INCLUDE = re.compile(r'^[ \t]*#[ \t]*include[ \t]+"([^"]+)"', re.M)


def reach(room, seen):
    for lower in BELOW[room]:
        if lower not in seen:
            seen.add(lower)
            reach(lower, seen)
    return seen


def room_of(path):
    """"engine/sqlite" for a backend's file, else the first folder."""
    parts = path.split("/")
    return "/".join(parts[:2]) if parts[0] == "engine" and len(parts) > 2 else parts[0]


def allowed(room, header):
    target = room_of(header)
    if room == target:
        return True
    if "/" in room:  # an engine backend
        return target == "engine" and header not in FACADE or target in reach("engine", set())
    if target.startswith("engine/"):
        return room == "engine"
    return target in reach(room, set())


def main(src):
    faults = []
    for file in sorted(src.rglob("*")):
        if file.suffix not in {".h", ".cpp", ".in"}:
            continue
        room = room_of(file.relative_to(src).as_posix())
        text = file.read_text(encoding="utf-8")
        for match in INCLUDE.finditer(text):
            header = match.group(1)
            line = text.count("\n", 0, match.start()) + 1
            where = f"{file.relative_to(src.parent)}:{line}"
            if "/" not in header:
                faults.append(f'{where}: "{header}" does not name its folder')
            elif room.split("/")[0] not in BELOW or room_of(header).split("/")[0] not in BELOW:
                faults.append(f"{where}: {room} -> {header}: a room the layout does not place")
            elif not allowed(room, header):
                faults.append(f"{where}: {room} -> {header} points up or sideways")
    print("\n".join(faults) or "every include points down")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(Path(sys.argv[1])))
