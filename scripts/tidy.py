#!/usr/bin/env python3
"""clang-tidy with the checks of .clang-tidy on every source file of src/.

Usage: scripts/tidy.py [BUILD-DIR]   (the Debug build folder by default)

Reads the compile commands of a configured and built folder. Nearly all of
clang-tidy's time goes into matching its checks against the Qt headers a
source includes, again for every source. So the sources that one library
compiles with the same command are checked together, as one translation unit
that includes them all: the Qt headers are matched once per library. Where
such a unit does not compile (two files of a library define the same name
for themselves), the files its errors name are checked alone and the others
together again; a unit whose errors name none of its files is split in
halves. Every file is checked, by every check, either way.

The precompiled headers are the compiler's own format, which clang cannot
read: clang-tidy gets the commands without them, and every source includes
what it uses anyway.
"""
import json
import os
import re
import subprocess
import sys
import tempfile
import threading

HERE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SRC = os.path.join(HERE, "src") + os.sep


def tidy_commands(build):
    """The compile commands of the sources of src/, without the precompiled headers."""
    with open(os.path.join(build, "compile_commands.json"), encoding="utf-8") as f:
        entries = json.load(f)
    kept = []
    for entry in entries:
        if not (entry["file"].startswith(SRC) and entry["file"].endswith(".cpp")):
            continue
        command = re.sub(r" -include \S*cmake_pch\.hxx", "", entry["command"])
        entry["command"] = command.replace(" -Winvalid-pch", "")
        kept.append(entry)
    return kept


def group_by_command(entries):
    """Lists of entries that differ only in their source and object file."""
    groups = {}
    for entry in entries:
        shape = re.sub(r" -o \S+", "", entry["command"]).replace(entry["file"], "@SOURCE@")
        groups.setdefault((entry["directory"], shape), []).append(entry)
    return sorted(groups.items(), key=lambda item: -len(item[1]))


def check(work, number, directory, shape, files):
    """clang-tidy on files as one unit: (status, output)."""
    unit = os.path.join(work, f"unit{number}")
    os.makedirs(unit)
    if len(files) == 1:
        source = files[0]
    else:
        # Quoted includes in each file still resolve beside that file.
        source = os.path.join(unit, "unit.cpp")
        with open(source, "w", encoding="utf-8") as f:
            for path in files:
                f.write(f'#include "{path}" // NOLINT(bugprone-suspicious-include)\n')
    with open(os.path.join(unit, "compile_commands.json"), "w", encoding="utf-8") as f:
        json.dump([{"directory": directory, "file": source,
                    "command": shape.replace("@SOURCE@", source)}], f)
    # The checks are named explicitly: clang-tidy looks for .clang-tidy
    # beside the unit, which is outside the tree.
    done = subprocess.run(
        ["clang-tidy", "--quiet", f"--config-file={os.path.join(HERE, '.clang-tidy')}",
         "-p", unit, source],
        stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, check=False)
    output = "\n".join(line for line in done.stdout.splitlines()
                       if not re.fullmatch(r"\d+ warnings? generated\.", line))
    return done.returncode, output


def split(files, output):
    """The parts to check again when the unit of files did not compile: each
    file an error names on its own and the others together, else two halves."""
    named = {m.group(1) for m in re.finditer(r"^(/\S+?):\d+:\d+: error:", output, re.M)}
    alone = [f for f in files if f in named]
    rest = [f for f in files if f not in named]
    if alone and rest:
        return [rest] + [[f] for f in alone]
    half = len(files) // 2
    return [files[:half], files[half:]]


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "build")
    if not os.path.isfile(os.path.join(build, "compile_commands.json")):
        sys.exit(f"no compile_commands.json in {build}")
    groups = group_by_command(tidy_commands(build))
    pending = [(directory, shape, [e["file"] for e in entries])
               for (directory, shape), entries in groups]
    lock = threading.Condition()
    running = 0
    numbered = 0
    failed = False

    def worker(work):
        nonlocal running, numbered, failed
        while True:
            with lock:
                while not pending and running:
                    lock.wait()
                if not pending:
                    return
                directory, shape, files = pending.pop(0)
                running += 1
                numbered += 1
                number = numbered
            status, output = check(work, number, directory, shape, files)
            with lock:
                if len(files) > 1 and "[clang-diagnostic-error]" in output:
                    pending[:0] = [(directory, shape, part) for part in split(files, output)]
                else:
                    failed = failed or status != 0
                    if output:
                        print(output, flush=True)
                running -= 1
                lock.notify_all()

    with tempfile.TemporaryDirectory() as work:
        threads = [threading.Thread(target=worker, args=(work,))
                   for _ in range(os.cpu_count() or 1)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
    files = sum(len(entries) for _, entries in groups)
    print(f"clang-tidy: {files} files of src/, checked library by library: "
          + ("faults found" if failed else "clean"))
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
