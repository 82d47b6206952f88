#include "Connection.h"

#include "ConnectionString.h"
#include "Error.h"
#include "WinPath.h"

#include "FileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <sqlite3.h>

namespace platform {

namespace {

std::atomic<int> g_busyTimeout{5000};

// Waits for another program's lock by polling every two milliseconds. The
// engine's own handler backs off to 100 ms sleeps, which keep missing the short
// gaps between the transactions of a program that writes row after row.
int waitForLock(void* startedAt, int attempt)
{
    using Clock = std::chrono::steady_clock;
    auto& started = *static_cast<Clock::time_point*>(startedAt);
    if (attempt == 0)
        started = Clock::now();
    if (Clock::now() - started >= std::chrono::milliseconds(g_busyTimeout.load()))
        return 0;
    sqlite3_sleep(2);
    return 1;
}

// Opens a database file and reads its schema: the engine reads lazily, and
// reading here turns a damaged or foreign file into an error of the open, as
// the designed engine does.
detail::Database openEngine(const QString& path, int flags,
                            std::chrono::steady_clock::time_point* lockWait, const QString& what)
{
    int rc = SQLITE_OK;
    detail::Database db = detail::openDatabase(QFile::encodeName(path).constData(), flags, &rc);
    if (rc == SQLITE_OK) {
        sqlite3_extended_result_codes(db.get(), 1);
        sqlite3_busy_handler(db.get(), waitForLock, lockWait);
        rc =
            sqlite3_exec(db.get(), "select count(*) from sqlite_schema", nullptr, nullptr, nullptr);
    }
    if (rc != SQLITE_OK) {
        const QString reason =
            QString::fromUtf8(db ? sqlite3_errmsg(db.get()) : sqlite3_errstr(rc));
        throw Error(Error::Engine, QStringLiteral("%1\n%2").arg(what, reason));
    }
    return db;
}

// Runs a backup to its end in one step, so that no other connection's write
// can make it start over; a lock held by another program is waited for as
// long as a statement would wait for it.
void runBackup(sqlite3* destination, sqlite3* source, const QString& what)
{
    detail::Backup backup(sqlite3_backup_init(destination, "main", source, "main"));
    if (!backup)
        throwEngineError(destination, sqlite3_errcode(destination), what);
    const auto started = std::chrono::steady_clock::now();
    int rc;
    while ((rc = sqlite3_backup_step(backup.get(), -1)) != SQLITE_DONE) {
        const int primary = rc & 0xff;
        const bool locked = primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
        if (!locked || std::chrono::steady_clock::now() - started >=
                           std::chrono::milliseconds(g_busyTimeout.load()))
            break;
        sqlite3_sleep(2);
    }
    if (rc != SQLITE_DONE)
        throwEngineError(destination, rc, what);
    const int finished = sqlite3_backup_finish(backup.release());
    if (finished != SQLITE_OK)
        throwEngineError(destination, finished, what);
}

// A new database file, for the engine to write a copy into.
detail::Database createEngineFile(const QString& hostPath, const QString& what)
{
    int rc = SQLITE_OK;
    detail::Database db = detail::openDatabase(QFile::encodeName(hostPath).constData(),
                                               SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, &rc);
    if (rc != SQLITE_OK)
        throwEngineError(db.get(), rc, what);
    sqlite3_extended_result_codes(db.get(), 1);
    return db;
}

} // namespace

void throwEngineError(sqlite3* db, int code, const QString& what)
{
    const int primary = code & 0xff;
    QString reason =
        db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(code));
    const bool locked = primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
    if (locked) {
        reason = QStringLiteral("データベースが他のプログラムによってロックされています"
                                "（%1 ミリ秒待ちました）。%2")
                     .arg(Connection::busyTimeout())
                     .arg(reason);
    }
    throw Error(Error::Engine, QStringLiteral("%1\n%2").arg(what, reason),
                locked ? Error::Cause::LockTimeout : Error::Cause::Other);
}

Connection::Connection() = default;

Connection::~Connection() = default;

void Connection::setMode(int mode)
{
    if (m_db)
        throw Error(Error::ObjectOpen,
                    QStringLiteral("接続が開いている間はモードを変更できません。"));
    m_mode = mode;
}

void Connection::open(const QString& connectionString, const QString&, const QString&, int)
{
    if (m_db)
        throw Error(Error::ObjectOpen,
                    QStringLiteral("接続はすでに開いています: %1").arg(m_connectionString));

    const auto properties = detail::parseConnectionString(connectionString);
    const QString source = properties.value(QStringLiteral("data source"));
    if (source.isEmpty())
        throw Error(Error::Generic, QStringLiteral("接続文字列にデータソース（Data Source）が"
                                                   "ありません: %1")
                                        .arg(connectionString));

    const QString path = QFileInfo(hostPath(source)).absoluteFilePath();
    const QString what = QStringLiteral("データベース %1 を開けません。").arg(source);
    if (!QFileInfo(path).isFile())
        throw Error(Error::FileNotFound,
                    QStringLiteral("%1\nファイルが見つかりません: %2").arg(what, path));

    // The engine takes an empty file for an empty database; the product's
    // database is never empty, so such a file is damaged.
    if (QFileInfo(path).size() == 0)
        throw Error(Error::Engine,
                    QStringLiteral("%1\nfile is not a database (empty file)").arg(what));

    const bool readOnly = (m_mode & 3) == ModeRead ||
                          properties.value(QStringLiteral("mode"))
                                  .compare(QStringLiteral("Read"), Qt::CaseInsensitive) == 0;
    // Read-only with writes denied to others: nobody changes the file while it
    // is open, so the engine may take it as immutable. It then takes no lock and
    // leaves nothing beside the file; a read-only open of a file in WAL mode
    // would otherwise leave its -wal and -shm behind (on a stick, for one).
    const bool immutable = readOnly && (m_mode & ModeShareDenyWrite) != 0;
    const int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE);
    detail::Database db =
        immutable ? openEngine(QString::fromLatin1(QUrl::fromLocalFile(path).toEncoded()) +
                                   QStringLiteral("?immutable=1"),
                               flags | SQLITE_OPEN_URI, &m_lockWaitStarted, what)
                  : openEngine(path, flags, &m_lockWaitStarted, what);
    m_db = std::move(db);
    m_connectionString = connectionString;
    m_filePath = path;
}

void Connection::close()
{
    if (!m_db)
        throw Error(
            Error::ObjectClosed,
            QStringLiteral("データベースの接続が開いていないため、閉じることができません。"));
    m_db.reset();
}

sqlite3* Connection::handle(const QString& forWhat) const
{
    if (!m_db)
        throw Error(Error::ObjectClosed,
                    QStringLiteral("データベースの接続が開いていません。\n%1").arg(forWhat));
    return m_db.get();
}

void Connection::run(const char* sql, const QString& what)
{
    sqlite3* db = handle(what);
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        throwEngineError(db, rc, what);
}

void Connection::beginTrans()
{
    run("BEGIN IMMEDIATE", QStringLiteral("トランザクションを開始できません。"));
}

void Connection::commitTrans()
{
    run("COMMIT", QStringLiteral("トランザクションを確定できません。"));
}

void Connection::rollbackTrans()
{
    sqlite3* db = handle(QStringLiteral("トランザクションを取り消せません。"));
    if (sqlite3_get_autocommit(db))
        return; // the engine already rolled back after the failure
    run("ROLLBACK", QStringLiteral("トランザクションを取り消せません。"));
}

void Connection::setBusyTimeout(int milliseconds)
{
    g_busyTimeout = milliseconds;
}

int Connection::busyTimeout()
{
    return g_busyTimeout;
}

bool Connection::inWalMode()
{
    const QString what = QStringLiteral("データベースの記録方式を読み取れません。");
    sqlite3* db = handle(what);
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &raw, nullptr);
    const detail::Statement statement(raw);
    if (rc != SQLITE_OK)
        throwEngineError(db, rc, what);
    rc = sqlite3_step(raw);
    if (rc != SQLITE_ROW)
        throwEngineError(db, rc, what);
    const auto* mode = reinterpret_cast<const char*>(sqlite3_column_text(raw, 0));
    return mode && qstricmp(mode, "wal") == 0;
}

void Connection::copyUnderSharedLock(const QString& hostPath)
{
    const QString what = QStringLiteral("データベースの写しを作れません: %1").arg(hostPath);
    // The shared lock taken by the first read lasts to the end of the
    // transaction; while it is held no writer can change the file.
    run("BEGIN", what);
    struct EndRead
    {
        sqlite3* db;
        ~EndRead() { sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr); }
    } endRead{handle(what)};
    run("select count(*) from sqlite_schema", what);
    copyAndFlush(m_filePath, hostPath);
}

void Connection::snapshotTo(const QString& hostPath)
{
    const QString what = QStringLiteral("データベースの写しを作れません: %1").arg(hostPath);
    sqlite3* db = handle(what);
    QFile::remove(hostPath);
    try {
        if (!inWalMode()) {
            copyUnderSharedLock(hostPath);
            return;
        }
        {
            detail::Database copy = createEngineFile(hostPath, what);
            runBackup(copy.get(), db, what);
            // The source's WAL mode came along with its first page; the copy
            // is to be one file that a reader opens without its companions.
            const int rc =
                sqlite3_exec(copy.get(), "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
            if (rc != SQLITE_OK)
                throwEngineError(copy.get(), rc, what);
        }
        QFile copy(hostPath);
        if (!copy.open(QIODevice::ReadWrite) || !flushToMedium(copy))
            throw Error(Error::DiskFull, QStringLiteral("%1\n%2").arg(what, copy.errorString()));
    } catch (...) {
        QFile::remove(hostPath);
        QFile::remove(hostPath + QStringLiteral("-journal"));
        QFile::remove(hostPath + QStringLiteral("-wal"));
        QFile::remove(hostPath + QStringLiteral("-shm"));
        throw;
    }
}

void Connection::replaceFrom(const QString& hostPath)
{
    const QString what =
        QStringLiteral("データベースを %1 の内容で置き換えられません。").arg(hostPath);
    sqlite3* db = handle(what);
    std::chrono::steady_clock::time_point sourceLockWait;
    const detail::Database source =
        openEngine(hostPath, SQLITE_OPEN_READONLY, &sourceLockWait, what);
    runBackup(db, source.get(), what);
}

} // namespace platform
