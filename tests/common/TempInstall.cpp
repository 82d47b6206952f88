#include "common/TempInstall.h"

#include "tools/DemoDatabase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <memory>
#include <sqlite3.h>
#include <stdexcept>

TempInstall::TempInstall() : m_hadPrefix(qEnvironmentVariableIsSet("WINEPREFIX"))
{
    m_oldPrefix = qgetenv("WINEPREFIX");
    QDir().mkpath(driveC());
    QDir().mkpath(prefix() + QStringLiteral("/dosdevices"));
    QFile::link(QStringLiteral("../drive_c"), prefix() + QStringLiteral("/dosdevices/c:"));
    qputenv("WINEPREFIX", QFile::encodeName(prefix()));
}

TempInstall::~TempInstall()
{
    if (m_hadPrefix)
        qputenv("WINEPREFIX", m_oldPrefix);
    else
        qunsetenv("WINEPREFIX");
}

QString TempInstall::createDatabase(const QString& hostPath, const QString& sql) const
{
    QDir().mkpath(QFileInfo(hostPath).path());
    demo::createSchema(hostPath);
    if (!sql.isEmpty())
        demo::execute(hostPath, sql);
    return hostPath;
}

QString TempInstall::addDrive(QChar letter) const
{
    const QString folder = prefix() + QStringLiteral("/drive_") + letter.toLower();
    QDir().mkpath(folder);
    QFile::link(folder,
                prefix() + QStringLiteral("/dosdevices/") + letter.toLower() + QLatin1Char(':'));
    return folder;
}

void TempInstall::execute(const QString& hostPath, const QString& sql)
{
    demo::execute(hostPath, sql);
}

QStringList TempInstall::query(const QString& hostPath, const QString& sql)
{
    const QByteArray file = QFile::encodeName(hostPath);
    int rc = SQLITE_OK;
    const engine::detail::SqliteHandle owner =
        engine::detail::openSqliteHandle(file.constData(), SQLITE_OPEN_READONLY, &rc);
    sqlite3* db = owner.get();
    if (rc != SQLITE_OK)
        throw std::runtime_error("cannot open " + file.toStdString());
    sqlite3_busy_timeout(db, 5000);
    sqlite3_stmt* raw = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(db, text.constData(), -1, &raw, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db));
    const engine::detail::Statement stmt(raw);
    QStringList rows;
    while (sqlite3_step(raw) == SQLITE_ROW) {
        QStringList fields;
        for (int i = 0; i < sqlite3_column_count(raw); ++i) {
            if (sqlite3_column_type(raw, i) == SQLITE_NULL)
                fields << QStringLiteral("NULL");
            else
                fields << QString::fromUtf8(
                    reinterpret_cast<const char*>(sqlite3_column_text(raw, i)));
        }
        rows << fields.join(QLatin1Char('|'));
    }
    return rows;
}

QByteArray TempInstall::readAll(const QString& hostPath)
{
    QFile f(hostPath);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

HeldWriteLock::HeldWriteLock(const QString& hostPath)
{
    const QByteArray file = QFile::encodeName(hostPath);
    int rc = SQLITE_OK;
    m_db = engine::detail::openSqliteHandle(file.constData(), SQLITE_OPEN_READWRITE, &rc);
    m_held = rc == SQLITE_OK &&
             sqlite3_exec(m_db.get(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
}

HeldWriteLock::~HeldWriteLock()
{
    if (m_held)
        sqlite3_exec(m_db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
}

bool HeldWriteLock::execute(const char* sql)
{
    return m_held && sqlite3_exec(m_db.get(), sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

HeldReadLock::HeldReadLock(const QString& hostPath)
{
    const QByteArray file = QFile::encodeName(hostPath);
    int rc = SQLITE_OK;
    m_db = engine::detail::openSqliteHandle(file.constData(), SQLITE_OPEN_READONLY, &rc);
    m_held =
        rc == SQLITE_OK && sqlite3_exec(m_db.get(), "BEGIN; SELECT count(*) FROM sqlite_schema",
                                        nullptr, nullptr, nullptr) == SQLITE_OK;
}

HeldReadLock::~HeldReadLock()
{
    if (m_held)
        sqlite3_exec(m_db.get(), "COMMIT", nullptr, nullptr, nullptr);
}

QString fixturePath(const QString& name)
{
    const QString root = qEnvironmentVariable("TAVENRO_FIXTURES", QStringLiteral(TAVENRO_FIXTURES));
    const QString path = root + QStringLiteral("/") + name;
    return QFileInfo::exists(path) ? path : QString();
}
