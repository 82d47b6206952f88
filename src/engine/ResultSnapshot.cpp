#include "engine/ResultSnapshot.h"

#include "engine/Connection.h"
#include "engine/Database.h"
#include "engine/ResultSnapshotBuilder.h"
#include "platform/Error.h"

#include <QDate>
#include <cstring>

namespace engine {

using platform::Error;

namespace {

QString dateTimeText(qint64 packed)
{
    qint64 julianDay = packed / detail::secondsPerDay;
    qint64 second = packed % detail::secondsPerDay;
    if (second < 0) {
        second += detail::secondsPerDay;
        --julianDay;
    }
    const bool hasDate = julianDay != detail::zeroDayJulian;
    const bool hasTime = second != 0;
    QString date;
    if (hasDate) {
        int year = 0, month = 0, day = 0;
        QDate::fromJulianDay(julianDay).getDate(&year, &month, &day);
        date = QString::asprintf("%04d/%02d/%02d", year, month, day);
        if (!hasTime)
            return date;
    }
    // Neither part is the zero of the date type, which reads as midnight.
    const QString time = QString::asprintf("%d:%02d:%02d", int(second / 3600),
                                           int(second / 60 % 60), int(second % 60));
    return hasDate ? date + QLatin1Char(' ') + time : time;
}

} // namespace

ResultSnapshot::ResultSnapshot() = default;
ResultSnapshot::~ResultSnapshot() = default;
ResultSnapshot::ResultSnapshot(ResultSnapshot&&) noexcept = default;
ResultSnapshot& ResultSnapshot::operator=(ResultSnapshot&&) noexcept = default;

ResultSnapshot ResultSnapshot::read(Connection& connection, const QString& statement,
                                    int sorterThreads)
{
    Database& database =
        connection.database(QStringLiteral("次の文を実行できません: %1").arg(statement));
    ResultSnapshot snapshot;
    Builder builder(snapshot);
    database.readSnapshot(statement, sorterThreads, builder);
    return snapshot;
}

QString ResultSnapshot::columnName(int column) const
{
    return m_columns.at(std::size_t(column))->name;
}

ResultSnapshot::CellKind ResultSnapshot::kind(int column, int row) const
{
    if (row < 0 || row >= m_rowCount)
        throw Error(Error::SubscriptOutOfRange,
                    QStringLiteral("インデックスが有効範囲にありません。"));
    return m_columns.at(std::size_t(column))->kindAt(row);
}

QString ResultSnapshot::text(int column, int row) const
{
    const CellKind cellKind = kind(column, row);
    const detail::SnapshotColumn& c = *m_columns[std::size_t(column)];
    switch (cellKind) {
    case CellKind::Null:
        return {};
    case CellKind::Text:
        return QString::fromUtf8(c.bytesAt(row));
    case CellKind::Integer:
        return QString::number(c.numbers[std::size_t(row)]);
    case CellKind::Number: {
        const qint64 bits = c.numbers[std::size_t(row)];
        double value = 0;
        std::memcpy(&value, &bits, sizeof value);
        return QString::number(value, 'g', 15);
    }
    case CellKind::DateTime:
        return dateTimeText(c.numbers[std::size_t(row)]);
    case CellKind::Boolean:
        return c.numbers[std::size_t(row)] ? QStringLiteral("True") : QStringLiteral("False");
    }
    return {};
}

std::size_t ResultSnapshot::allocatedBytes() const
{
    std::size_t bytes = sizeof(*this) + m_columns.capacity() * sizeof(m_columns[0]);
    for (const auto& column : m_columns)
        bytes += column->allocatedBytes();
    return bytes;
}

} // namespace engine
