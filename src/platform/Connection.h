#pragma once

#include "SqliteHandles.h"

#include <QString>
#include <chrono>
#include <memory>

namespace platform {

class JetDatabase;

// The database connection the tool opens on DB.mdb, in the shape of the
// Windows data-access connection it was designed for, over an SQLite file.
//
// The connection string is "key=value;…". Data Source names the file: a
// Windows path (mapped through the drive folders) or, without a folder, a file
// of the current directory. Provider and the other keys are accepted and
// ignored, except Mode=Read, which opens the file read-only. The file must
// already exist; it is never created here.
//
// Other programs may open the same file meanwhile. A statement that meets
// their lock waits up to busyTimeout() milliseconds and then fails.
class Connection
{
    friend class ResultSnapshot;

public:
    enum ModeValue
    {
        ModeUnknown = 0,
        ModeRead = 1,
        ModeWrite = 2,
        ModeReadWrite = 3,
        ModeShareDenyRead = 4,
        ModeShareDenyWrite = 8,
        ModeShareExclusive = 12,
        ModeShareDenyNone = 16,
    };

    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Only before open(); ModeRead opens the file read-only, and ModeRead
    // with ModeShareDenyWrite (or ModeShareExclusive) as a file nobody writes
    // meanwhile: without locks and without leaving any file beside it.
    void setMode(int mode);
    int mode() const { return m_mode; }

    // Throws platform::Error naming the file and the engine's reason.
    void open(const QString& connectionString, const QString& userId = {},
              const QString& password = {}, int options = -1);
    // Throws when the connection is not open.
    void close();
    bool isOpen() const { return m_db != nullptr || m_jet != nullptr; }
    // A genuine Jet file (told by its signature, not its name) is opened
    // read-only through the second engine: its SELECTs run, and every
    // statement that would change it is refused, as are transactions' writes.
    bool isJet() const { return m_jet != nullptr; }

    // The text passed to the last open(), and the host file it named.
    const QString& connectionString() const { return m_connectionString; }
    const QString& filePath() const { return m_filePath; }

    // A transaction that takes the write lock at once, so a concurrent writer
    // makes it wait (bounded) rather than fail half-way.
    void beginTrans();
    void commitTrans();
    void rollbackTrans();

    // How long a statement waits for another program's lock. The default of
    // five seconds outlasts the product's own short writes.
    static void setBusyTimeout(int milliseconds);
    static int busyTimeout();
    // Called on the waiting thread, about every 50 ms while a statement, an
    // open or a copy waits for another program's lock, so that a window can
    // show the wait and repaint; none (nullptr) by default.
    static void setLockWaitHook(void (*hook)());

    // Writes a consistent copy of the open database to hostPath, a new file
    // (an existing one is replaced), flushed to the medium when this returns.
    // Other programs may go on writing: in rollback-journal mode the file is
    // copied byte for byte under a shared lock, which holds a writer's commit
    // off only for the length of the copy (the flush to the medium comes
    // after the lock is released); in WAL mode the engine's backup copies the
    // snapshot of one read transaction and holds no writer off.
    // The copy is left in rollback-journal mode, one self-contained file.
    // Throws platform::Error; a partial file is removed.
    void snapshotTo(const QString& hostPath);

    // Replaces the whole content of the open database by that of the database
    // file at hostPath, in one write transaction of the engine: the file holds
    // the old or the new content, never a mix, and every connection open on
    // it, another program's included, stays valid and reads the new content.
    // Throws platform::Error, leaving the database as it was.
    void replaceFrom(const QString& hostPath);

private:
    friend class Command;
    friend class Recordset;

    // The engine handle of an open connection; throws naming forWhat when
    // the connection is closed.
    sqlite3* handle(const QString& forWhat) const;
    // The Jet file of an open connection, null for an SQLite one; throws
    // naming forWhat when the connection is closed.
    const JetDatabase* jet(const QString& forWhat) const;
    void run(const char* sql, const QString& what);
    bool inWalMode();
    void copyUnderSharedLock(const QString& hostPath);

    detail::Database m_db;
    std::unique_ptr<JetDatabase> m_jet;
    std::chrono::steady_clock::time_point m_lockWaitStarted;
    int m_mode = ModeUnknown;
    QString m_connectionString;
    QString m_filePath;
};

// Throws the engine's last error on db with a message naming what failed.
[[noreturn]] void throwEngineError(sqlite3* db, int code, const QString& what);

} // namespace platform
