#pragma once

// The order in which a helper process writes, flushes and renames the files
// of one folder, as the fault shim (fault_shim.c, loaded with LD_PRELOAD)
// names each operation: what a power cut or a pulled stick may find relies on
// it, and no other way of watching can tell a flush that was left out.
//
//     const TracedRun run = runTraced(program, {"--save", path}, folder);
//     QCOMPARE(run.exitCode, 0);
//     QCOMPARE(flushOrderFault(run.ops, "list.csv"), QString());

#include <QString>
#include <QStringList>

struct TracedRun
{
    int exitCode = -1; // -1 when it did not end by itself within 30 s
    // "write list.csv.0a1b2c.tmp", "fsync list.csv.0a1b2c.tmp", "rename
    // list.csv.0a1b2c.tmp", "fsync ." (the folder): fdatasync is told as fsync.
    QStringList ops;
    // What the helper said on standard error besides the trace.
    QString errors;
};

// Runs program with args, this process's environment and the shim counting
// the operations on the files of folder. An empty run when the shim is not
// built here (no LD_PRELOAD on this system).
TracedRun runTraced(const QString& program, const QStringList& args, const QString& folder);

// Empty when a file whose name begins with name was given its final name by
// a rename, after its last write had been flushed to the medium, and the
// folder was flushed after the rename; else what was wrong, with the ops.
QString flushOrderFault(const QStringList& ops, const QString& name);
