#pragma once

#include <QString>
#include <chrono>

struct sqlite3;

namespace platform {

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

    // Only before open(); ModeRead opens the file read-only.
    void setMode(int mode);
    int mode() const { return m_mode; }

    // Throws platform::Error naming the file and the engine's reason.
    void open(const QString& connectionString, const QString& userId = {},
              const QString& password = {}, int options = -1);
    // Throws when the connection is not open.
    void close();
    bool isOpen() const { return m_db != nullptr; }

    // The text passed to the last open(), and the host file it named.
    const QString& connectionString() const { return m_connectionString; }
    const QString& filePath() const { return m_filePath; }

    // A transaction that takes the write lock at once, so a concurrent writer
    // makes it wait (bounded) rather than fail half-way.
    void beginTrans();
    void commitTrans();
    void rollbackTrans();

    // The engine handle of an open connection; throws when closed. For the
    // command and recordset of this layer.
    sqlite3* handle(const QString& forWhat) const;

    // How long a statement waits for another program's lock. The default of
    // five seconds outlasts the product's own short writes.
    static void setBusyTimeout(int milliseconds);
    static int busyTimeout();

private:
    void run(const char* sql, const QString& what);

    sqlite3* m_db = nullptr;
    std::chrono::steady_clock::time_point m_lockWaitStarted;
    int m_mode = ModeUnknown;
    QString m_connectionString;
    QString m_filePath;
};

// Throws the engine's last error on db with a message naming what failed.
[[noreturn]] void throwEngineError(sqlite3* db, int code, const QString& what);

} // namespace platform
