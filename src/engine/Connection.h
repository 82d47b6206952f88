#pragma once

#include "engine/DatabaseFormat.h"
#include "engine/LockWait.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

namespace engine {

class Database;

// The database connection the tool opens on DB.mdb, in the shape of the
// Windows data-access connection it was designed for. The file's own
// signature chooses the engine that reads it (see engine/Database.h).
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
    bool isOpen() const { return m_database != nullptr; }
    // The kind of file open. A genuine Jet file (told by its signature, not
    // its name) is opened read-only: its SELECTs run, and every statement
    // that would change it is refused, as are transactions' writes.
    // Throws when the connection is not open.
    DatabaseFormat format() const;

    // The text passed to the last open(), and the host file it named.
    const QString& connectionString() const { return m_connectionString; }
    const QString& filePath() const { return m_filePath; }

    // A transaction that takes the write lock at once, so a concurrent writer
    // makes it wait (bounded) rather than fail half-way.
    void beginTrans();
    void commitTrans();
    void rollbackTrans();

    // The lock wait of every connection (see engine/LockWait.h).
    static void setBusyTimeout(int milliseconds) { engine::setBusyTimeout(milliseconds); }
    static int busyTimeout() { return engine::busyTimeout(); }
    static void setLockWaitHook(LockWaitHook hook) { engine::setLockWaitHook(hook); }
    static LockWaitHook lockWaitHook() { return engine::lockWaitHook(); }

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
    // Whether replaceFrom() can take the file at hostPath in place: both
    // files are of the engine that writes. False when not open.
    bool canReplaceFrom(const QString& hostPath) const;

    // Questions asked of a file before the tool relies on it. The names of
    // a table's columns in their defined order, nothing when there is no
    // such table; what is wrong with the file as a whole, reading the tables
    // named, nothing when it is sound; the bytes a copy of the database takes
    // (its log may hold pages the file does not yet), 0 when its size says
    // it. Each throws platform::Error.
    std::optional<QStringList> columnsOf(const QString& table);
    std::optional<QString> integrityProblem(const QStringList& tables);
    qint64 contentBytes();

private:
    friend class Command;
    friend class Recordset;

    // The engine of an open connection; throws naming forWhat when the
    // connection is closed.
    Database& database(const QString& forWhat) const;

    std::unique_ptr<Database> m_database;
    int m_mode = ModeUnknown;
    QString m_connectionString;
    QString m_filePath;
};

} // namespace engine
