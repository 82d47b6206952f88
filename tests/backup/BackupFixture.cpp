#include "backup/BackupFixture.h"

#include "engine/sqlite/SqliteHandles.h"
#include "tools/DemoDatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <sqlite3.h>

namespace {

QString firstValue(sqlite3* db, const char* sql)
{
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK)
        return QStringLiteral("error: ") + QString::fromUtf8(sqlite3_errmsg(db));
    const engine::detail::Statement statement(raw);
    const int rc = sqlite3_step(raw);
    if (rc != SQLITE_ROW)
        return rc == SQLITE_DONE
                   ? QString()
                   : QStringLiteral("error: ") + QString::fromUtf8(sqlite3_errmsg(db));
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(raw, 0));
    return text ? QString::fromUtf8(text) : QString();
}

} // namespace

DatabaseState stateOf(const QString& hostPath)
{
    if (!QFileInfo(hostPath).isFile() || QFileInfo(hostPath).size() == 0)
        return {QStringLiteral("missing or empty"), {}};
    int rc = SQLITE_OK;
    const engine::detail::SqliteHandle db = engine::detail::openSqliteHandle(
        QFile::encodeName(hostPath).constData(), SQLITE_OPEN_READWRITE, &rc);
    if (rc != SQLITE_OK)
        return {QStringLiteral("cannot open"), {}};
    sqlite3_busy_timeout(db.get(), 10000);
    DatabaseState state;
    state.integrity = firstValue(db.get(), "PRAGMA integrity_check");
    state.content = firstValue(db.get(), "select (select count(*) from log) || ':' || "
                                         "(select group_concat(barcode) from list)");
    return state;
}

QString rosterSql(const QString& tag, int count)
{
    QString sql = QStringLiteral("BEGIN;");
    for (int i = 0; i < count; ++i) {
        sql += QStringLiteral("insert into list values ('%1%2','名前%2','なまえ','a@example.jp',"
                              "'備考%2','退室',NULL,NULL,NULL);"
                              "insert into log values ('2024-04-01','10:00:00','入室','名前%2',"
                              "'%1');")
                   .arg(tag)
                   .arg(i, 4, 10, QLatin1Char('0'));
    }
    return sql + QStringLiteral("COMMIT;");
}

void makeDatabase(const QString& hostPath, const QString& tag, int count,
                  const QString& journalMode)
{
    QDir().mkpath(QFileInfo(hostPath).path());
    demo::createSchema(hostPath);
    demo::execute(hostPath, QStringLiteral("PRAGMA journal_mode=%1").arg(journalMode));
    demo::execute(hostPath, rosterSql(tag, count));
}

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

void resetFolder(const QString& folder, const QList<QPair<QString, QString>>& pristine)
{
    QDir dir(folder);
    for (const QString& name : filesIn(folder))
        dir.remove(name);
    for (const auto& [name, source] : pristine)
        QFile::copy(source, dir.filePath(name));
}

QString childProgram()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/tst_backup_child");
}

QProcessEnvironment childEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("LD_PRELOAD"));
    return env;
}
