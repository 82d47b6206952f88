#include "Connection.h"

#include "Error.h"
#include "WinPath.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
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

QHash<QString, QString> parseConnectionString(const QString& text)
{
    QHash<QString, QString> properties;
    const auto parts = text.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        const qsizetype eq = part.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        QString key = part.left(eq).trimmed().toLower();
        QString value = part.mid(eq + 1).trimmed();
        if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) &&
            value.endsWith(QLatin1Char('"')))
            value = value.mid(1, value.size() - 2);
        properties.insert(key, value);
    }
    return properties;
}

} // namespace

void throwEngineError(sqlite3* db, int code, const QString& what)
{
    const int primary = code & 0xff;
    QString reason =
        db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(code));
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) {
        reason = QStringLiteral("データベースが他のプログラムによってロックされています"
                                "（%1 ミリ秒待ちました）。%2")
                     .arg(Connection::busyTimeout())
                     .arg(reason);
    }
    throw Error(Error::Engine, QStringLiteral("%1\n%2").arg(what, reason));
}

Connection::Connection() = default;

Connection::~Connection()
{
    if (m_db)
        sqlite3_close_v2(m_db);
}

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

    const auto properties = parseConnectionString(connectionString);
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
    const int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE);
    sqlite3* db = nullptr;
    const QByteArray file = QFile::encodeName(path);
    int rc = sqlite3_open_v2(file.constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        QString reason = QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        sqlite3_close_v2(db);
        throw Error(Error::Engine, QStringLiteral("%1\n%2").arg(what, reason));
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_handler(db, waitForLock, &m_lockWaitStarted);

    // The engine reads the file lazily; reading its schema here turns a damaged
    // or foreign file into an error of the open, as the designed engine does.
    rc = sqlite3_exec(db, "select count(*) from sqlite_schema", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        QString reason = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_close_v2(db);
        throw Error(Error::Engine, QStringLiteral("%1\n%2").arg(what, reason));
    }

    m_db = db;
    m_connectionString = connectionString;
    m_filePath = path;
}

void Connection::close()
{
    if (!m_db)
        throw Error(
            Error::ObjectClosed,
            QStringLiteral("データベースの接続が開いていないため、閉じることができません。"));
    sqlite3_close_v2(m_db);
    m_db = nullptr;
}

sqlite3* Connection::handle(const QString& forWhat) const
{
    if (!m_db)
        throw Error(Error::ObjectClosed,
                    QStringLiteral("データベースの接続が開いていません。\n%1").arg(forWhat));
    return m_db;
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

} // namespace platform
