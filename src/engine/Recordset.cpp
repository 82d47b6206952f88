#include "engine/Recordset.h"

#include "engine/Connection.h"
#include "engine/Database.h"
#include "platform/Error.h"

namespace engine {

using platform::Error;

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
    m_cursor = m_connection->database(what).select(m_source);
}

void Recordset::close()
{
    requireOpen("Close");
    m_cursor.reset();
}

void Recordset::requireOpen(const char* operation) const
{
    if (!isOpen())
        throw Error(Error::ObjectClosed,
                    QStringLiteral("レコードセットが閉じているため、%1 を実行できません。")
                        .arg(QLatin1String(operation)));
}

bool Recordset::eof() const
{
    requireOpen("EOF");
    return m_cursor->atEnd();
}

int Recordset::fieldCount() const
{
    requireOpen("Fields");
    return m_cursor->fieldCount();
}

QString Recordset::fieldName(int position) const
{
    if (position < 0 || position >= fieldCount())
        throw Error(
            Error::ItemNotFound,
            QStringLiteral("要求された名前または序数に対応する項目がありません: %1").arg(position));
    return m_cursor->fieldName(position);
}

void Recordset::requireField(int position) const
{
    requireOpen("Fields");
    if (position < 0 || position >= m_cursor->fieldCount())
        throw Error(
            Error::ItemNotFound,
            QStringLiteral("要求された名前または序数に対応する項目がありません: %1").arg(position));
    if (m_cursor->atEnd())
        throw Error(Error::Engine, QStringLiteral("BOF と EOF のいずれかが True になっているか、"
                                                  "現在のレコードは削除されています。"));
}

Value Recordset::field(int position) const
{
    requireField(position);
    return m_cursor->field(position);
}

std::optional<QByteArrayView> Recordset::textField(int position) const
{
    requireField(position);
    return m_cursor->textField(position);
}

void Recordset::moveNext()
{
    requireOpen("MoveNext");
    if (m_cursor->atEnd())
        throw Error(Error::Engine, QStringLiteral("BOF と EOF のいずれかが True になっているか、"
                                                  "現在のレコードは削除されています。"));
    m_cursor->next();
}

} // namespace engine
