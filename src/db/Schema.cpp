#include "db/Schema.h"

#include "platform/Connection.h"
#include "platform/DatabaseFormat.h"
#include "platform/Error.h"
#include "platform/JetDatabase.h"
#include "platform/JetSelect.h"
#include "platform/Recordset.h"

#include <array>

namespace {

struct TableColumns
{
    const char* table;
    std::array<const char*, 9> columns; // unused places are null
};

// Every column that a statement of the tool names.
constexpr TableColumns required[] = {
    {"list", {"barcode", "名前", "kana", "email", "備考", "状況", "在室時間", "time", "time2"}},
    {"log", {"date", "time", "状況", "名前", "備考2"}},
};

QStringList columnsOf(platform::Connection& connection, const char* table)
{
    platform::Recordset rs;
    rs.setActiveConnection(&connection);
    rs.setSource(QStringLiteral("select * from [%1] where 0").arg(QLatin1String(table)));
    rs.open();
    QStringList names;
    for (int i = 0; i < rs.fieldCount(); ++i)
        names << rs.fieldName(i);
    rs.close();
    return names;
}

bool tableExists(platform::Connection& connection, const char* table)
{
    platform::Recordset rs;
    rs.setActiveConnection(&connection);
    rs.setSource(QStringLiteral("select count(*) from sqlite_schema where type in "
                                "('table','view') and name = '%1' collate nocase")
                     .arg(QLatin1String(table)));
    rs.open();
    const platform::Value count = rs.field(0);
    const auto* n = std::get_if<qint64>(&count);
    const bool exists = n && *n > 0;
    rs.close();
    return exists;
}

void addMissing(SchemaCheck& check, const TableColumns& t, const QStringList& present)
{
    for (const char* column : t.columns) {
        if (!column)
            break;
        const QString name = QString::fromUtf8(column);
        if (!present.contains(name, Qt::CaseInsensitive))
            check.missing << QString::fromUtf8(t.table) + QLatin1Char('.') + name;
    }
}

// A Jet file has no quick check of its own: every row of both tables is read
// once instead, which is what the tool will do with it.
SchemaCheck checkJetSchema(const QString& hostPath)
{
    SchemaCheck check;
    platform::JetDatabase jet;
    jet.open(hostPath);
    for (const TableColumns& t : required) {
        const QString table = QString::fromUtf8(t.table);
        if (!jet.hasTable(table)) {
            check.missing << table;
            continue;
        }
        QStringList present;
        for (const platform::JetColumn& column : jet.columns(table))
            present << column.name;
        addMissing(check, t, present);
        platform::runJetSelect(jet, QStringLiteral("select * from ") + table);
    }
    return check;
}

} // namespace

QString SchemaCheck::describe() const
{
    if (!unreadable.isEmpty())
        return unreadable;
    if (!missing.isEmpty())
        return QStringLiteral("必要な表または列がありません: %1")
            .arg(missing.join(QStringLiteral(", ")));
    return {};
}

SchemaCheck checkSchema(const QString& hostPath)
{
    SchemaCheck check;
    try {
        if (platform::detectDatabaseFormat(hostPath) == platform::DatabaseFormat::Jet)
            return checkJetSchema(hostPath);
        platform::Connection connection;
        // A file on the stick is the tool's alone while it checks it; read
        // so, the check leaves nothing beside it, whatever the file's mode.
        connection.setMode(platform::Connection::ModeRead |
                           platform::Connection::ModeShareDenyWrite);
        connection.open(QStringLiteral("Data Source=") + hostPath);

        platform::Recordset rs;
        rs.setActiveConnection(&connection);
        // The full check, not the quick one: a copy torn by a writer or a
        // stick can keep every page sound while an index no longer matches
        // its table, and only the full check compares the two. The product's
        // tables have no index, so there it costs what the quick one does.
        rs.setSource(QStringLiteral("PRAGMA integrity_check"));
        rs.open();
        const platform::Value first = rs.eof() ? platform::Value() : rs.field(0);
        const auto* text = std::get_if<QString>(&first);
        const QString verdict = text ? *text : QString();
        rs.close();
        if (verdict != QLatin1String("ok")) {
            check.unreadable = QStringLiteral("データベースが壊れています: %1").arg(verdict);
            return check;
        }

        for (const TableColumns& t : required) {
            if (!tableExists(connection, t.table)) {
                check.missing << QString::fromUtf8(t.table);
                continue;
            }
            addMissing(check, t, columnsOf(connection, t.table));
        }
    } catch (const platform::Error& e) {
        check.unreadable = e.description();
    }
    return check;
}
