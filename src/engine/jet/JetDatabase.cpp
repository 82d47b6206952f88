#include "engine/jet/JetDatabase.h"

#include "engine/ResultSnapshotBuilder.h"
#include "engine/jet/JetSelect.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"

namespace engine::jet {

using platform::Error;

namespace {

// The result is read whole and sorted when the cursor is made.
class JetCursor final : public Cursor
{
public:
    explicit JetCursor(JetResult result) : m_result(std::move(result)) {}

    int fieldCount() const override { return m_result.fieldCount(); }
    QString fieldName(int position) const override { return m_result.fieldNames.at(position); }
    bool atEnd() const override { return m_row >= m_result.rowCount(); }
    Value field(int position) const override { return m_result.at(m_row, position); }
    void next() override { ++m_row; }

private:
    JetResult m_result;
    qsizetype m_row = 0;
};

} // namespace

JetDatabase::JetDatabase(const QString& hostPath)
{
    m_database.open(hostPath);
}

std::unique_ptr<Cursor> JetDatabase::select(const QString& statement)
{
    return std::make_unique<JetCursor>(runJetSelect(m_database, statement));
}

int JetDatabase::execute(const QString& statement)
{
    executeJetStatement(m_database, statement);
    return 0;
}

void JetDatabase::snapshotTo(const QString& hostPath)
{
    // Opened read-only, and no other program's lock can be taken on it
    // here: the bytes as they are.
    platform::copyAndFlush(m_database.filePath(), hostPath);
}

void JetDatabase::replaceFrom(const QString& hostPath)
{
    const QString what =
        QStringLiteral("データベースを %1 の内容で置き換えられません。").arg(hostPath);
    throw Error(Error::Engine, QStringLiteral("%1\nこのデータベースは Jet 形式のファイルで、"
                                              "読み取り専用で開いています。")
                                   .arg(what));
}

void JetDatabase::readSnapshot(const QString& statement, int, ResultSnapshot::Builder& into)
{
    const JetResult result = runJetSelect(m_database, statement);
    for (int i = 0; i < result.fieldCount(); ++i)
        into.addColumn(result.fieldNames.at(i), result.kinds.at(std::size_t(i)));
    ResultSnapshot::Builder::checkRowCount(result.rowCount());
    for (qsizetype row = 0; row < result.rowCount(); ++row) {
        for (int i = 0; i < result.fieldCount(); ++i)
            into.column(i).appendValue(int(row), result.at(row, i));
        into.endRow();
    }
}

std::optional<QStringList> JetDatabase::columnsOf(const QString& table)
{
    if (!m_database.hasTable(table))
        return std::nullopt;
    QStringList names;
    for (const TableColumn& column : m_database.columns(table))
        names << column.name;
    return names;
}

std::optional<QString> JetDatabase::integrityProblem(const QStringList& tables)
{
    for (const QString& table : tables) {
        if (m_database.hasTable(table))
            runJetSelect(m_database, QStringLiteral("select * from ") + table);
    }
    return std::nullopt;
}

} // namespace engine::jet
