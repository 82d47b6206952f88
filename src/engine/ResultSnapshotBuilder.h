#pragma once

#include "engine/FieldKind.h"
#include "engine/ResultSnapshot.h"
#include "engine/Value.h"
#include "platform/Error.h"

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <unordered_map>
#include <vector>

// The column store behind ResultSnapshot, for the engines that fill one. Its
// appends are inline: an engine calls them once per cell of a whole history.

namespace engine {

namespace detail {

// Text cells share arenas of this many bytes; a cell never straddles two, and
// a longer cell is kept on its own.
constexpr std::uint64_t textChunkLength = std::uint64_t{64} * 1024;
constexpr qint64 secondsPerDay = 86400;

inline qint64 packDateTime(qint64 julianDay, int secondOfDay)
{
    return julianDay * secondsPerDay + secondOfDay;
}

struct SnapshotColumn
{
    using CellKind = ResultSnapshot::CellKind;

    QString name;
    FieldKind declared{};

    // A column whose cells are all of one kind keeps no kind per cell.
    CellKind uniform = CellKind::Null;
    bool mixed = false;
    ChunkedArray<std::uint8_t> kinds;

    // Where each cell's text ends, counted over the arenas; kept from the
    // first text cell on, with every earlier cell empty.
    bool hasText = false;
    ChunkedArray<std::uint32_t> textEnds;
    std::vector<std::unique_ptr<char[]>> arenas;
    std::uint64_t textEnd = 0;
    std::unordered_map<int, QByteArray> longTexts;

    // Whole numbers, numbers (their bits), date-times (julian day × 86400 +
    // second of the day) and true/false; kept from the first such cell on.
    bool hasNumbers = false;
    ChunkedArray<qint64> numbers;

    void setKind(int row, CellKind kind)
    {
        if (row == 0) {
            uniform = kind;
        } else if (!mixed && kind != uniform) {
            kinds.fillTo(std::size_t(row), std::uint8_t(uniform));
            mixed = true;
        }
        if (mixed)
            kinds.push(std::uint8_t(kind));
    }

    void appendNull(int row)
    {
        setKind(row, CellKind::Null);
        if (hasText)
            textEnds.push(std::uint32_t(textEnd));
        if (hasNumbers)
            numbers.push(0);
    }

    void appendText(int row, const char* data, int length)
    {
        setKind(row, CellKind::Text);
        if (!hasText) {
            textEnds.fillTo(std::size_t(row), 0);
            hasText = true;
        }
        if (std::uint64_t(length) > textChunkLength) {
            longTexts.emplace(row, QByteArray(data, length));
        } else if (length > 0) {
            std::uint64_t at = textEnd;
            if ((at + length - 1) / textChunkLength != at / textChunkLength)
                at = (at / textChunkLength + 1) * textChunkLength;
            const std::uint64_t last = at + length - 1;
            if (last > std::numeric_limits<std::uint32_t>::max())
                throw platform::Error(7, QStringLiteral("メモリが不足しています。"
                                                        "1 列の文字が 4 GB を超えました。"));
            while (arenas.size() <= last / textChunkLength)
                arenas.push_back(std::make_unique<char[]>(textChunkLength));
            std::memcpy(arenas[at / textChunkLength].get() + at % textChunkLength, data,
                        std::size_t(length));
            textEnd = at + length;
        }
        textEnds.push(std::uint32_t(textEnd));
        if (hasNumbers)
            numbers.push(0);
    }

    void appendNumber(int row, CellKind kind, qint64 value)
    {
        setKind(row, kind);
        if (!hasNumbers) {
            numbers.fillTo(std::size_t(row), 0);
            hasNumbers = true;
        }
        numbers.push(value);
        if (hasText)
            textEnds.push(std::uint32_t(textEnd));
    }

    void appendDouble(int row, double value)
    {
        qint64 bits = 0;
        static_assert(sizeof bits == sizeof value);
        std::memcpy(&bits, &value, sizeof bits);
        appendNumber(row, CellKind::Number, bits);
    }

    void appendDateTime(int row, const DateTime& value)
    {
        appendNumber(
            row, CellKind::DateTime,
            packDateTime(value.date.toJulianDay(), value.time.msecsSinceStartOfDay() / 1000));
    }

    // One value an engine read as a Value, already of its kind.
    void appendValue(int row, const Value& value)
    {
        if (const auto* text = std::get_if<QString>(&value)) {
            const QByteArray utf8 = text->toUtf8();
            appendText(row, utf8.constData(), int(utf8.size()));
        } else if (const auto* integer = std::get_if<qint64>(&value)) {
            appendNumber(row, CellKind::Integer, *integer);
        } else if (const auto* number = std::get_if<double>(&value)) {
            appendDouble(row, *number);
        } else if (const auto* dateTime = std::get_if<DateTime>(&value)) {
            appendDateTime(row, *dateTime);
        } else if (const auto* truth = std::get_if<bool>(&value)) {
            appendNumber(row, CellKind::Boolean, *truth ? 1 : 0);
        } else {
            appendNull(row);
        }
    }

    CellKind kindAt(int row) const { return mixed ? CellKind(kinds[std::size_t(row)]) : uniform; }

    QByteArray bytesAt(int row) const
    {
        const std::uint32_t end = textEnds[std::size_t(row)];
        const std::uint32_t previous = row > 0 ? textEnds[std::size_t(row) - 1] : 0;
        if (end == previous) {
            if (!longTexts.empty()) {
                const auto it = longTexts.find(row);
                if (it != longTexts.end())
                    return it->second;
            }
            return {};
        }
        const std::uint64_t start =
            std::max<std::uint64_t>(previous, (end - 1) / textChunkLength * textChunkLength);
        return QByteArray::fromRawData(arenas[start / textChunkLength].get() +
                                           start % textChunkLength,
                                       qsizetype(end - start));
    }

    std::size_t allocatedBytes() const
    {
        std::size_t bytes = sizeof(SnapshotColumn) + std::size_t(name.capacity()) * sizeof(QChar) +
                            kinds.allocatedBytes() + textEnds.allocatedBytes() +
                            numbers.allocatedBytes() + arenas.capacity() * sizeof(arenas[0]) +
                            arenas.size() * textChunkLength;
        for (const auto& [row, text] : longTexts)
            bytes += sizeof(row) + sizeof(text) + std::size_t(text.capacity());
        return bytes;
    }
};

} // namespace detail

// Adds the columns of a result, then its rows: for each row one append per
// column, in order, then endRow().
class ResultSnapshot::Builder
{
public:
    explicit Builder(ResultSnapshot& snapshot) : m_snapshot(snapshot) {}

    void addColumn(const QString& name, detail::FieldKind declared)
    {
        auto column = std::make_unique<detail::SnapshotColumn>();
        column->name = name;
        column->declared = declared;
        m_snapshot.m_columns.push_back(std::move(column));
    }
    int columnCount() const { return int(m_snapshot.m_columns.size()); }
    detail::SnapshotColumn& column(int i) { return *m_snapshot.m_columns[std::size_t(i)]; }
    // The row the appends go to.
    int row() const { return m_snapshot.m_rowCount; }
    // Throws when the result would hold more rows than a snapshot can count.
    static void checkRowCount(qint64 rows)
    {
        if (rows >= std::numeric_limits<int>::max())
            throw platform::Error(7, QStringLiteral("メモリが不足しています。行が多すぎます。"));
    }
    void endRow() { ++m_snapshot.m_rowCount; }

private:
    ResultSnapshot& m_snapshot;
};

} // namespace engine
