#include "engine/sqlite/SqliteDatabase.h"

#include "engine/LockWait.h"
#include "engine/ResultSnapshotBuilder.h"
#include "engine/sqlite/FieldReader.h"
#include "engine/sqlite/SortMemory.h"
#include "platform/Error.h"
#include "platform/FileErrors.h"
#include "platform/FileSystem.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <chrono>

namespace engine::sqlite {

using platform::Error;

namespace {

// Sleeps between two looks at the lock, and lets the hook run now and then.
void pauseForLock(int attempt)
{
    sqlite3_sleep(2);
    if (attempt % 25 == 0)
        if (void (*hook)() = lockWaitHook())
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
    if (Clock::now() - started >= std::chrono::milliseconds(busyTimeout()))
        return 0;
    pauseForLock(attempt);
    return 1;
}

// Opens a database file and reads its schema: the engine reads lazily, and
// reading here turns a damaged or foreign file into an error of the open, as
// the designed engine does.
detail::SqliteHandle openEngine(const QString& path, int flags,
                                std::chrono::steady_clock::time_point* lockWait,
                                const QString& what)
{
    int rc = SQLITE_OK;
    detail::SqliteHandle db =
        detail::openSqliteHandle(QFile::encodeName(path).constData(), flags, &rc);
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
        if (!locked ||
            std::chrono::steady_clock::now() - started >= std::chrono::milliseconds(busyTimeout()))
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
detail::SqliteHandle createEngineFile(const QString& hostPath, const QString& what)
{
    int rc = SQLITE_OK;
    detail::SqliteHandle db = detail::openSqliteHandle(
        QFile::encodeName(hostPath).constData(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, &rc);
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
        const QString database = file && *file ? platform::windowsPathOf(QString::fromUtf8(file))
                                               : QStringLiteral("データベース");
        reason = QStringLiteral("%1 はほかのプログラムが使用中で、ロックされています。"
                                "%2 秒待ちましたが解除されませんでした。"
                                "しばらくしてからもう一度お試しください。")
                     .arg(database, QString::number(busyTimeout() / 1000.0));
        throw platform::Error(platform::Error::PermissionDenied,
                              QStringLiteral("%1\n%2").arg(what, reason),
                              platform::Error::Cause::LockTimeout);
    }
    // The engine says "full" only where a write found no room (the file
    // system's ENOSPC, or the file at its greatest size).
    throw platform::Error(platform::Error::Engine, QStringLiteral("%1\n%2").arg(what, reason),
                          primary == SQLITE_FULL ? platform::Error::Cause::DiskFull
                                                 : platform::Error::Cause::Other);
}

SqliteDatabase::SqliteDatabase(const QString& hostPath, const OpenOptions& options,
                               const QString& what)
    : m_filePath(hostPath)
{
    // A connection is used by one thread only, so the engine need not
    // lock it on every call: that costs a read a few percent.
    const int flags =
        (options.readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX;
    m_db = options.immutable
               ? openEngine(QString::fromLatin1(QUrl::fromLocalFile(hostPath).toEncoded()) +
                                QStringLiteral("?immutable=1"),
                            flags | SQLITE_OPEN_URI, &m_lockWaitStarted, what)
               : openEngine(hostPath, flags, &m_lockWaitStarted, what);
}

void SqliteDatabase::run(const char* sql, const QString& what)
{
    sqlite3* db = m_db.get();
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        throwEngineError(db, rc, what);
}

detail::Statement SqliteDatabase::prepare(const QString& statement, const QString& what,
                                          const char** tail)
{
    const QByteArray sql = statement.toUtf8();
    sqlite3_stmt* raw = nullptr;
    const char* end = nullptr;
    const int rc = sqlite3_prepare_v2(m_db.get(), sql.constData(), int(sql.size()), &raw, &end);
    detail::Statement prepared(raw);
    if (rc != SQLITE_OK)
        throwEngineError(m_db.get(), rc, what);
    if (!prepared)
        throw Error(Error::Generic, QStringLiteral("文が空です。"));
    // The rest of the text, which lives only as long as sql: told as whether
    // anything but blanks is left.
    if (tail)
        *tail = QByteArray(end).trimmed().isEmpty() ? nullptr : "";
    return prepared;
}

void SqliteDatabase::beginTrans()
{
    run("BEGIN IMMEDIATE", QStringLiteral("トランザクションを開始できません。"));
}

void SqliteDatabase::commitTrans()
{
    run("COMMIT", QStringLiteral("トランザクションを確定できません。"));
}

void SqliteDatabase::rollbackTrans()
{
    if (sqlite3_get_autocommit(m_db.get()))
        return; // the engine already rolled back after the failure
    run("ROLLBACK", QStringLiteral("トランザクションを取り消せません。"));
}

int SqliteDatabase::execute(const QString& statement)
{
    const QString what = QStringLiteral("次の文を実行できません: %1").arg(statement);
    sqlite3* db = m_db.get();
    const char* tail = nullptr;
    const detail::Statement prepared = prepare(statement, what, &tail);
    if (tail)
        throw Error(Error::Generic,
                    QStringLiteral("%1\n文の後ろに余分な文字があります。").arg(what));
    // A statement that returns rows runs to its end as well; the rows are dropped.
    int rc;
    while ((rc = sqlite3_step(prepared.get())) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE)
        throwEngineError(db, rc, what);
    return sqlite3_changes(db);
}

namespace {

// A SELECT stepped row by row on the engine's own statement.
class SqliteCursor final : public Cursor
{
public:
    SqliteCursor(detail::Statement statement, QString what)
        : m_statement(std::move(statement)), m_kinds(detail::fieldKinds(m_statement.get())),
          m_what(std::move(what))
    {}

    int fieldCount() const override { return int(m_kinds.size()); }
    QString fieldName(int position) const override
    {
        return QString::fromUtf8(sqlite3_column_name(m_statement.get(), position));
    }
    bool atEnd() const override { return m_atEnd; }
    Value field(int position) const override
    {
        return detail::readField(m_statement.get(), position, m_kinds[std::size_t(position)]);
    }
    std::optional<QByteArrayView> textField(int position) const override
    {
        return detail::readTextField(m_statement.get(), position, m_kinds[std::size_t(position)]);
    }
    void next() override
    {
        const int rc = sqlite3_step(m_statement.get());
        if (rc == SQLITE_ROW)
            m_atEnd = false;
        else if (rc == SQLITE_DONE)
            m_atEnd = true;
        else
            throwEngineError(sqlite3_db_handle(m_statement.get()), rc, m_what);
    }

private:
    detail::Statement m_statement;
    std::vector<detail::FieldKind> m_kinds;
    QString m_what;
    bool m_atEnd = true;
};

} // namespace

std::unique_ptr<Cursor> SqliteDatabase::select(const QString& statement)
{
    const QString what = QStringLiteral("次の文を実行できません: %1").arg(statement);
    auto cursor = std::make_unique<SqliteCursor>(prepare(statement, what), what);
    // A sorted result is sorted whole at the first step, in memory when
    // it fits the budget; the page cache is back to its bound after it.
    const detail::SortMemory sortMemory(m_db.get(), QFileInfo(m_filePath).size());
    cursor->next();
    return cursor;
}

bool SqliteDatabase::canReplaceFrom(const QString& hostPath) const
{
    return detectDatabaseFormat(hostPath) == DatabaseFormat::Sqlite;
}

std::optional<QStringList> SqliteDatabase::columnsOf(const QString& table)
{
    const QString quoted = QString(table).replace(QLatin1Char('\''), QStringLiteral("''"));
    const std::unique_ptr<Cursor> count =
        select(QStringLiteral("select count(*) from sqlite_schema where type in "
                              "('table','view') and name = '%1' collate nocase")
                   .arg(quoted));
    const Value n = count->field(0);
    const auto* tables = std::get_if<qint64>(&n);
    if (!tables || *tables == 0)
        return std::nullopt;
    const std::unique_ptr<Cursor> columns =
        select(QStringLiteral("select * from [%1] where 0").arg(table));
    QStringList names;
    for (int i = 0; i < columns->fieldCount(); ++i)
        names << columns->fieldName(i);
    return names;
}

std::optional<QString> SqliteDatabase::integrityProblem(const QStringList&)
{
    // The full check, not the quick one: a copy torn by a writer or a
    // stick can keep every page sound while an index no longer matches
    // its table, and only the full check compares the two. The product's
    // tables have no index, so there it costs what the quick one does.
    const std::unique_ptr<Cursor> check = select(QStringLiteral("PRAGMA integrity_check"));
    const Value first = check->atEnd() ? Value() : check->field(0);
    const auto* text = std::get_if<QString>(&first);
    QString verdict = text ? *text : QString();
    if (verdict == QLatin1String("ok"))
        return std::nullopt;
    return verdict;
}

qint64 SqliteDatabase::contentBytes()
{
    // The engine's pages: its log may hold pages the file does not yet.
    const std::unique_ptr<Cursor> pages = select(QStringLiteral(
        "select page_count * page_size from pragma_page_count(), pragma_page_size()"));
    const Value bytes = pages->atEnd() ? Value() : pages->field(0);
    if (const auto* n = std::get_if<qint64>(&bytes))
        return *n;
    if (const auto* t = std::get_if<QString>(&bytes))
        return t->toLongLong();
    return 0;
}

bool SqliteDatabase::inWalMode()
{
    const QString what = QStringLiteral("データベースの記録方式を読み取れません。");
    sqlite3* db = m_db.get();
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

void SqliteDatabase::copyUnderSharedLock(const QString& hostPath)
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
        } endRead{m_db.get()};
        run("select count(*) from sqlite_schema", what);
        platform::copyBytes(m_filePath, hostPath);
    }
    // The bytes are taken; a writer may go on while they reach the medium,
    // which on a slow stick takes far longer than the copy itself.
    platform::flushFile(hostPath);
}

void SqliteDatabase::snapshotTo(const QString& hostPath)
{
    const QString what = QStringLiteral("データベースの写しを作れません: %1").arg(hostPath);
    sqlite3* db = m_db.get();
    QFile::remove(hostPath);
    try {
        if (!inWalMode()) {
            copyUnderSharedLock(hostPath);
            return;
        }
        {
            detail::SqliteHandle copy = createEngineFile(hostPath, what);
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
        if (!copy.open(QIODevice::ReadWrite) || !platform::flushToMedium(copy))
            throw Error(Error::DiskFull, QStringLiteral("%1\n%2").arg(what, copy.errorString()));
    } catch (...) {
        QFile::remove(hostPath);
        for (const CompanionFile& companion : companionFiles)
            QFile::remove(hostPath + QLatin1String(companion.suffix));
        throw;
    }
}

void SqliteDatabase::replaceFrom(const QString& hostPath)
{
    const QString what =
        QStringLiteral("データベースを %1 の内容で置き換えられません。").arg(hostPath);
    sqlite3* db = m_db.get();
    std::chrono::steady_clock::time_point sourceLockWait;
    const detail::SqliteHandle source =
        openEngine(hostPath, SQLITE_OPEN_READONLY, &sourceLockWait, what);
    runBackup(db, source.get(), what);
}

// Read through the engine's own handle on it. Locks
// on a file belong to the process, and closing any handle on it drops them
// all, among them the shared lock by which an open connection in WAL mode
// keeps another program from checkpointing and removing its -wal and -shm
// under it. The engine keeps its handle open for as long as a connection of
// this process holds a lock on the file.
std::optional<QByteArray> readFileHead(const QString& hostPath, qsizetype length)
{
    int rc = SQLITE_OK;
    const detail::SqliteHandle db = detail::openSqliteHandle(
        QFile::encodeName(hostPath).constData(), SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, &rc);
    sqlite3_file* file = nullptr;
    if (rc != SQLITE_OK ||
        sqlite3_file_control(db.get(), "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK ||
        !file || !file->pMethods)
        return std::nullopt;
    QByteArray head(length, '\0');
    rc = file->pMethods->xRead(file, head.data(), int(length), 0);
    // A short read fills the rest with zeros; the file's size says where its
    // bytes end.
    if (rc != SQLITE_OK && rc != SQLITE_IOERR_SHORT_READ)
        return std::nullopt;
    head.truncate(std::min(length, qsizetype(QFileInfo(hostPath).size())));
    return head;
}

} // namespace engine::sqlite
