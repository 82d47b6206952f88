#!/usr/bin/python3
"""Another program writing to the database: inserts log rows in pairs, one
transaction each, until its standard input closes or --seconds pass. Prints
"started" after its first commit."""

import argparse
import select
import sqlite3
import sys
import time


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("database")
    parser.add_argument("--seconds", type=float, default=60)
    args = parser.parse_args()
    connection = sqlite3.connect(args.database, timeout=10, isolation_level=None)
    deadline = time.monotonic() + args.seconds
    pair = 0
    while time.monotonic() < deadline:
        pair += 1
        connection.execute("BEGIN IMMEDIATE")
        for half in (1, 2):
            connection.execute(
                "INSERT INTO log ([date], [time], [状況], [名前], [備考2]) "
                "VALUES ('2026-12-07', '09:00:00', '入室', ?, ?)",
                ("writer", "pair %d/%d" % (pair, half)))
        connection.execute("COMMIT")
        if pair == 1:
            print("started", flush=True)
        if select.select([sys.stdin], [], [], 0.002)[0] and not sys.stdin.buffer.read1(4096):
            break
    connection.close()


if __name__ == "__main__":
    main()
