#include "db/db.h"

#include "platform/Error.h"
#include "platform/FileSystem.h"

std::unique_ptr<engine::Connection> db_connection;
std::unique_ptr<engine::Command> db_command;
std::unique_ptr<engine::Recordset> db_recordset;
QString db_sql;

namespace {

QString g_openFailure;
platform::Error::Cause g_openFailureCause = platform::Error::Cause::Other;

engine::Connection& connection()
{
    if (!db_connection)
        db_connection = std::make_unique<engine::Connection>();
    return *db_connection;
}

engine::Command& command()
{
    if (!db_command)
        db_command = std::make_unique<engine::Command>();
    return *db_command;
}

engine::Recordset& recordset()
{
    if (!db_recordset)
        db_recordset = std::make_unique<engine::Recordset>();
    return *db_recordset;
}

// An operation on the connection the start-up could not open says why it
// could not (a damaged file, a lock another program held), not only that the
// connection is closed.
void throwIfNeverOpened(const QString& what)
{
    if (g_openFailure.isEmpty() || connection().isOpen())
        return;
    throw platform::Error(
        platform::Error::ObjectClosed,
        QStringLiteral("データベースの接続が開いていません。\n%1\n%2").arg(what, g_openFailure),
        g_openFailureCause);
}

} // namespace

QString installDatabasePath()
{
    return installBase + productFolder + QStringLiteral("\\") + databaseFile;
}

QString installDatabasePathX86()
{
    return installBaseX86 + productFolder + QStringLiteral("\\") + databaseFile;
}

QString connectionStringFor(const QString& base)
{
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;") + QStringLiteral("Data Source=") +
           base + productFolder + QStringLiteral("\\") + databaseFile;
}

void db_open()
{
    g_openFailure.clear();
    g_openFailureCause = platform::Error::Cause::Other;
    if (platform::fileExists(installDatabasePath())) {
        // A database that is there but cannot be opened is not reported here:
        // the connection stays closed, and the restore can still replace it.
        try {
            connection().setMode(engine::Connection::ModeShareDenyNone);
            connection().open(connectionStringFor(installBase), QString(), QString(), -1);
        } catch (const platform::Error& e) {
            g_openFailure = e.description();
            g_openFailureCause = e.cause();
        }
    } else {
        connection().open(connectionStringFor(installBaseX86), QString(), QString(), -1);
    }
    command().setActiveConnection(&connection());
    recordset().setActiveConnection(&connection());
}

QString db_open_failure()
{
    return g_openFailure;
}

engine::Connection* db_connection_on(const QString& hostPath)
{
    if (db_connection && db_connection->isOpen() &&
        platform::sameNode(db_connection->filePath(), hostPath))
        return db_connection.get();
    return nullptr;
}

void db_reopen()
{
    engine::Connection& conn = connection();
    if (conn.isOpen())
        conn.close();
    conn.setMode(engine::Connection::ModeShareDenyNone);
    conn.open(connectionStringFor(installBase), QString(), QString(), -1);
    g_openFailure.clear();
    g_openFailureCause = platform::Error::Cause::Other;
    command().setActiveConnection(&conn);
    recordset().setActiveConnection(&conn);
}

engine::Value db_row::value(int column) const
{
    engine::Value value = m_recordset.field(column);
    if (engine::isNull(value))
        value = QString();
    return value;
}

void db_select_rows(const QString& statement, int& row_count,
                    const std::function<void(const db_row& row, int number)>& each_row)
{
    throwIfNeverOpened(QStringLiteral("次の文を実行できません: %1").arg(statement));
    engine::Recordset& rs = recordset();
    rs.setActiveConnection(&connection());
    rs.setSource(statement);
    rs.open();
    row_count = 0;
    const db_row row(rs);
    try {
        while (!rs.eof()) {
            ++row_count;
            each_row(row, row_count);
            rs.moveNext();
        }
    } catch (...) {
        // An open statement would hold the engine's read lock, keeping the
        // product from writing, and make the next select fail as already
        // open.
        rs.close();
        throw;
    }
    rs.close();
}

void db_select(const QString& statement, result_table& table, int column_count, int& row_count)
{
    db_select_rows(statement, row_count, [&table, column_count](const db_row& row, int number) {
        for (int column = 0; column < column_count; ++column)
            table.store(column, number, row.value(column));
    });
}

void db_execute(const QString& statement)
{
    throwIfNeverOpened(QStringLiteral("次の文を実行できません: %1").arg(statement));
    engine::Command& cmd = command();
    cmd.setActiveConnection(&connection());
    cmd.setCommandText(statement);
    cmd.execute(-1);
}

void db_close()
{
    connection().close();
}

void db_transaction(const std::function<void()>& body)
{
    throwIfNeverOpened(QStringLiteral("トランザクションを開始できません。"));
    engine::Connection& conn = connection();
    conn.beginTrans();
    try {
        body();
        // A commit that fails (the product reading past the bounded wait)
        // leaves the transaction open with its locks: it is rolled back too.
        conn.commitTrans();
    } catch (...) {
        try {
            conn.rollbackTrans();
        } catch (const platform::Error&) {
            // The engine rolls back by itself when it cannot; the first error
            // is the one worth reporting.
        }
        throw;
    }
}

void db_reset()
{
    db_recordset.reset();
    db_command.reset();
    db_connection.reset();
    db_sql.clear();
    g_openFailure.clear();
    g_openFailureCause = platform::Error::Cause::Other;
}
