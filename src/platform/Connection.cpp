#include "Connection.h"

#include "ConnectionString.h"
#include "Error.h"
#include "WinPath.h"

#include "DatabaseFormat.h"
#include "FileErrors.h"
#include "FileSystem.h"
#include "JetDatabase.h"

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
std::atomic<void (*)()> g_lockWaitHook{nullptr};

// Sleeps between two looks at the lock, and lets the hook run now and then.
void pauseForLock(int attempt)
{
    sqlite3_sleep(2);
    if (attempt % 25 == 0)
        if (void (*hook)() = g_lockWaitHook.load())
            hook();
}

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
    pauseForLock(attempt);
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
    // A lock held past the wait is told as such, apart from a damaged file.
    if (rc != SQLITE_OK)
        throwEngineError(db.get(), rc, what);
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
    int attempt = 0;
    while ((rc = sqlite3_backup_step(backup.get(), -1)) != SQLITE_DONE) {
        const int primary = rc & 0xff;
        const bool locked = primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
        if (!locked || std::chrono::steady_clock::now() - started >=
                           std::chrono::milliseconds(g_busyTimeout.load()))
            break;
        pauseForLock(attempt++);
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
    // A handle keeps the message of its own last call. A backup step reports
    // on neither handle, so a code that is not the handle's is told by its
    // own text ("database or disk is full"), not by the handle's "not an
    // error".
    const bool handlesOwn = db && (sqlite3_errcode(db) & 0xff) == primary;
    QString reason = handlesOwn ? QString::fromUtf8(sqlite3_errmsg(db))
                                : QString::fromUtf8(sqlite3_errstr(code));
    const bool locked = primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
    if (locked) {
        // Told as Windows tells a file another program holds: permission
        // denied, in Japanese, naming the file as the operator knows it.
        const char* file = db ? sqlite3_db_filename(db, "main") : nullptr;
        const QString database =
            file && *file ? windowsPathOf(QString::fromUtf8(file)) : QStringLiteral("データベース");
        reason = QStringLiteral("%1 はほかのプログラムが使用中で、ロックされています。"
                                "%2 秒待ちましたが解除されませんでした。"
                                "しばらくしてからもう一度お試しください。")
                     .arg(database, QString::number(Connection::busyTimeout() / 1000.0));
        throw Error(Error::PermissionDenied, QStringLiteral("%1\n%2").arg(what, reason),
                    Error::Cause::LockTimeout);
    }
    throw Error(Error::Engine, QStringLiteral("%1\n%2").arg(what, reason));
}

Connection::Connection() = default;

Connection::~Connection() = default;

void Connection::setMode(int mode)
{
    if (isOpen())
        throw Error(Error::ObjectOpen,
                    QStringLiteral("接続が開いている間はモードを変更できません。"));
    m_mode = mode;
}

void Connection::open(const QString& connectionString, const QString&, const QString&, int)
{
    if (isOpen())
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
    if (detectDatabaseFormat(path) == DatabaseFormat::Jet) {
        auto jet = std::make_unique<JetDatabase>();
        jet->open(path);
        m_jet = std::move(jet);
    } else {
        // Read-only with writes denied to others: nobody changes the file
        // while it is open, so the engine may take it as immutable. It then
        // takes no lock and leaves nothing beside the file; a read-only open
        // of a file in WAL mode would otherwise leave its -wal and -shm
        // behind (on a stick, for one).
        const bool immutable = readOnly && (m_mode & ModeShareDenyWrite) != 0;
        // A connection is used by one thread only, so the engine need not
        // lock it on every call: that costs a read a few percent.
        const int flags =
            (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX;
        m_db = immutable ? openEngine(QString::fromLatin1(QUrl::fromLocalFile(path).toEncoded()) +
                                          QStringLiteral("?immutable=1"),
                                      flags | SQLITE_OPEN_URI, &m_lockWaitStarted, what)
                         : openEngine(path, flags, &m_lockWaitStarted, what);
    }
    m_connectionString = connectionString;
    m_filePath = path;
}

void Connection::close()
{
    if (!isOpen())
        throw Error(
            Error::ObjectClosed,
            QStringLiteral("データベースの接続が開いていないため、閉じることができません。"));
    m_db.reset();
    m_jet.reset();
}

sqlite3* Connection::handle(const QString& forWhat) const
{
    if (m_jet)
        throw Error(Error::Engine, QStringLiteral("%1\nこのデータベースは Jet 形式のファイルで、"
                                                  "読み取り専用で開いています。")
                                       .arg(forWhat));
    if (!m_db)
        throw Error(Error::ObjectClosed,
                    QStringLiteral("データベースの接続が開いていません。\n%1").arg(forWhat));
    return m_db.get();
}

const JetDatabase* Connection::jet(const QString& forWhat) const
{
    if (!isOpen())
        throw Error(Error::ObjectClosed,
                    QStringLiteral("データベースの接続が開いていません。\n%1").arg(forWhat));
    return m_jet.get();
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
    // Nothing can change a Jet file here: the statements inside are refused
    // one by one, each naming itself.
    if (m_jet)
        return;
    run("BEGIN IMMEDIATE", QStringLiteral("トランザクションを開始できません。"));
}

void Connection::commitTrans()
{
    if (m_jet)
        return;
    run("COMMIT", QStringLiteral("トランザクションを確定できません。"));
}

void Connection::rollbackTrans()
{
    if (m_jet)
        return;
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

void Connection::setLockWaitHook(void (*hook)())
{
    g_lockWaitHook = hook;
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
    {
        // The shared lock taken by the first read lasts to the end of the
        // transaction; while it is held no writer can change the file.
        run("BEGIN", what);
        struct EndRead
        {
            sqlite3* db;
            ~EndRead() { sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr); }
        } endRead{handle(what)};
        run("select count(*) from sqlite_schema", what);
        copyBytes(m_filePath, hostPath);
    }
    // The bytes are taken; a writer may go on while they reach the medium,
    // which on a slow stick takes far longer than the copy itself.
    flushFile(hostPath);
}

void Connection::snapshotTo(const QString& hostPath)
{
    const QString what = QStringLiteral("データベースの写しを作れません: %1").arg(hostPath);
    if (m_jet) {
        // Opened read-only, and no other program's lock can be taken on it
        // here: the bytes as they are.
        copyAndFlush(m_filePath, hostPath);
        return;
    }
    sqlite3* db = handle(what);
    QFile::remove(hostPath);
    try {
        if (!inWalMode()) {
            copyUnderSharedLock(hostPath);
            return;
        }
        {
            detail::Database copy = createEngineFile(hostPath, what);
            // The copy is a new file that nobody else opens before it is
            // whole and flushed below: the engine need not journal or flush
            // it on the way.
            sqlite3_exec(copy.get(), "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF", nullptr,
                         nullptr, nullptr);
            // Pages read through a mapping of the file cost no call each.
            sqlite3_exec(db, "PRAGMA mmap_size=2147418112", nullptr, nullptr, nullptr);
            struct Unmap
            {
                sqlite3* db;
                ~Unmap() { sqlite3_exec(db, "PRAGMA mmap_size=0", nullptr, nullptr, nullptr); }
            } unmap{db};
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
