#include "db/Schema.h"

#include "engine/Connection.h"
#include "platform/Error.h"

#include <array>
#include <optional>

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
        engine::Connection connection;
        // A file on the stick is the tool's alone while it checks it; read
        // so, the check leaves nothing beside it, whatever the file's mode.
        connection.setMode(engine::Connection::ModeRead | engine::Connection::ModeShareDenyWrite);
        connection.open(QStringLiteral("Data Source=") + hostPath);

        QStringList tables;
        for (const TableColumns& t : required)
            tables << QString::fromUtf8(t.table);
        // The whole file, not only the pages of the tables: a copy torn by a
        // writer or a stick can keep every page sound while an index no
        // longer matches its table.
        if (const std::optional<QString> problem = connection.integrityProblem(tables)) {
            check.unreadable = QStringLiteral("データベースが壊れています: %1").arg(*problem);
            return check;
        }

        for (const TableColumns& t : required) {
            const std::optional<QStringList> present =
                connection.columnsOf(QString::fromUtf8(t.table));
            if (!present) {
                check.missing << QString::fromUtf8(t.table);
                continue;
            }
            addMissing(check, t, *present);
        }
    } catch (const platform::Error& e) {
        check.unreadable = e.description();
    }
    return check;
}
