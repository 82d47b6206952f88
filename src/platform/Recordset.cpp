#include "Recordset.h"

#include "Connection.h"
#include "Error.h"
#include "FieldReader.h"
#include "SortMemory.h"

#include <QFileInfo>

namespace platform {

Recordset::Recordset() = default;
Recordset::~Recordset() = default;

void Recordset::open()
{
    if (isOpen())
        throw Error(Error::ObjectOpen,
                    QStringLiteral("レコードセットはすでに開いています: %1").arg(m_source));
    const QString what = QStringLiteral("次の文を実行できません: %1").arg(m_source);
    if (!m_connection)
        throw Error(Error::ObjectClosed,
                    QStringLiteral("レコードセットに接続が設定されていません。\n%1").arg(what));
    if (const JetDatabase* jet = m_connection->jet(what)) {
        m_jetResult = std::make_unique<JetResult>(runJetSelect(*jet, m_source));
        m_kinds = m_jetResult->kinds;
        m_jetRow = 0;
        m_eof = m_jetResult->rowCount() == 0;
        return;
    }
    sqlite3* db = m_connection->handle(what);
    const QByteArray sql = m_source.toUtf8();
    sqlite3_stmt* raw = nullptr;
    const int rc = sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &raw, nullptr);
    detail::Statement statement(raw);
    if (rc != SQLITE_OK)
        throwEngineError(db, rc, what);
    if (!statement)
        throw Error(Error::Generic, QStringLiteral("文が空です。"));
    m_kinds = detail::fieldKinds(statement.get());
    m_statement = std::move(statement);
    try {
        // A sorted result is sorted whole at the first step, in memory when
        // it fits the budget; the page cache is back to its bound after it.
        const detail::SortMemory sortMemory(db, QFileInfo(m_connection->filePath()).size());
        step();
    } catch (...) {
        m_statement.reset();
        throw;
    }
}

void Recordset::close()
{
    requireOpen("Close");
    m_statement.reset();
    m_jetResult.reset();
    m_eof = true;
}

void Recordset::requireOpen(const char* operation) const
{
    if (!isOpen())
        throw Error(Error::ObjectClosed,
                    QStringLiteral("レコードセットが閉じているため、%1 を実行できません。")
                        .arg(QLatin1String(operation)));
}

void Recordset::step()
{
    if (m_jetResult) {
        m_eof = ++m_jetRow >= m_jetResult->rowCount();
        return;
    }
    const int rc = sqlite3_step(m_statement.get());
    if (rc == SQLITE_ROW) {
        m_eof = false;
    } else if (rc == SQLITE_DONE) {
        m_eof = true;
    } else {
        throwEngineError(sqlite3_db_handle(m_statement.get()), rc,
                         QStringLiteral("次の文を実行できません: %1").arg(m_source));
    }
}

bool Recordset::eof() const
{
    requireOpen("EOF");
    return m_eof;
}

int Recordset::fieldCount() const
{
    requireOpen("Fields");
    return int(m_kinds.size());
}

QString Recordset::fieldName(int position) const
{
    if (position < 0 || position >= fieldCount())
        throw Error(
            Error::ItemNotFound,
            QStringLiteral("要求された名前または序数に対応する項目がありません: %1").arg(position));
    if (m_jetResult)
        return m_jetResult->fieldNames.at(position);
    return QString::fromUtf8(sqlite3_column_name(m_statement.get(), position));
}

void Recordset::requireField(int position) const
{
    requireOpen("Fields");
    if (position < 0 || position >= int(m_kinds.size()))
        throw Error(
            Error::ItemNotFound,
            QStringLiteral("要求された名前または序数に対応する項目がありません: %1").arg(position));
    if (m_eof)
        throw Error(Error::Engine, QStringLiteral("BOF と EOF のいずれかが True になっているか、"
                                                  "現在のレコードは削除されています。"));
}

Value Recordset::field(int position) const
{
    requireField(position);
    if (m_jetResult)
        return m_jetResult->at(m_jetRow, position);
    return detail::readField(m_statement.get(), position, m_kinds[position]);
}

std::optional<QByteArrayView> Recordset::textField(int position) const
{
    requireField(position);
    if (m_jetResult)
        return std::nullopt;
    return detail::readTextField(m_statement.get(), position, m_kinds[position]);
}

void Recordset::moveNext()
{
    requireOpen("MoveNext");
    if (m_eof)
        throw Error(Error::Engine, QStringLiteral("BOF と EOF のいずれかが True になっているか、"
                                                  "現在のレコードは削除されています。"));
    step();
}

} // namespace platform
