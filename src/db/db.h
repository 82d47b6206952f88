#pragma once

// The db module: the one shared connection to DB.mdb and the two statement
// helpers through which the tool runs every statement on it.

#include "db/result_table.h"
#include "engine/Command.h"
#include "engine/Connection.h"
#include "engine/Recordset.h"

#include <QByteArrayView>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

// Shared for the whole run. db_open creates and binds them at start-up; every
// operation that touches one creates it first if it is missing.
extern std::unique_ptr<engine::Connection> db_connection;
extern std::unique_ptr<engine::Command> db_command;
extern std::unique_ptr<engine::Recordset> db_recordset;
// The statement a caller puts here before db_select or db_execute; it keeps
// the last statement.
extern QString db_sql;

// The install folder and its twin, and the database file name.
inline const QString installBase = QStringLiteral("c:\\Program Files");
inline const QString installBaseX86 = QStringLiteral("c:\\Program Files (x86)");
inline const QString productFolder = QStringLiteral("\\Tavenro");
inline const QString databaseFile = QStringLiteral("DB.mdb");
// "c:\Program Files\Tavenro\DB.mdb" and its "(x86)" twin.
QString installDatabasePath();
QString installDatabasePathX86();
QString connectionStringFor(const QString& base);

// Opens db_connection on c:\Program Files\Tavenro\DB.mdb when that file
// exists (share-deny-none; a failure to open is silent and leaves it closed),
// else on the "(x86)" twin (a failure is thrown). Binds db_command and
// db_recordset to it in both cases.
void db_open();

// Why the last db_open left db_connection closed without a word (the engine's
// reason), for the operations that report on the file; empty when it opened.
QString db_open_failure();

// db_connection when it is open on the file at hostPath, however the path
// names it; else null. A restore reads and replaces the file through it, or
// closes it before another file takes the name, and then calls db_reopen.
engine::Connection* db_connection_on(const QString& hostPath);

// Opens db_connection again on c:\Program Files\Tavenro\DB.mdb, after a
// restore placed a new file there, closing it first when it is open, and
// binds db_command and db_recordset to it. Throws platform::Error.
void db_reopen();

// Runs a SELECT and copies the first column_count fields of each row into
// rows 1, 2, … of table, nulls as empty text. row_count counts every row
// reached, including one whose store failed. Throws platform::Error.
void db_select(const QString& statement, result_table& table, int column_count, int& row_count);

// The current row of a SELECT that db_select_rows is reading.
class db_row
{
public:
    explicit db_row(const engine::Recordset& recordset) : m_recordset(recordset) {}
    // The field as db_select stores it: a null as empty text.
    engine::Value value(int column) const;
    // The field's UTF-8 bytes when it is text the engine holds so, valid
    // until the next row; see engine::Recordset::textField.
    std::optional<QByteArrayView> text(int column) const { return m_recordset.textField(column); }

private:
    const engine::Recordset& m_recordset;
};

// Runs a SELECT and hands each row to each_row as it is read, with its number
// 1, 2, …, without copying it anywhere. row_count counts as db_select counts.
// Throws platform::Error, and whatever each_row throws.
void db_select_rows(const QString& statement, int& row_count,
                    const std::function<void(const db_row& row, int number)>& each_row);

// Runs an UPDATE or DELETE. Throws platform::Error.
void db_execute(const QString& statement);

// Closes db_connection; throws when it is not open.
void db_close();

// Runs body inside one transaction on db_connection: either everything body
// did stays, or (when it throws) nothing does, and the error goes on.
void db_transaction(const std::function<void()>& body);

// Releases the shared objects, as at the end of a run. For tests.
void db_reset();
