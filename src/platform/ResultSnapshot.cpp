#include "ResultSnapshot.h"

#include "Connection.h"
#include "Error.h"
#include "FieldReader.h"
#include "JetSelect.h"
#include "SortMemory.h"
#include "SqliteHandles.h"

#include <QDate>
#include <QFileInfo>
#include <QScopeGuard>
#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>

namespace platform {

namespace {

// Text cells share arenas of this many bytes; a cell never straddles two, and
// a longer cell is kept on its own.
constexpr std::uint64_t textChunkLength = std::uint64_t{64} * 1024;
constexpr qint64 secondsPerDay = 86400;
// Files up to this size (about 300,000 events) have their result sorted in
// memory: at most twice as much again for the sort.
constexpr qint64 inMemorySortFileBytes = qint64(16) << 20;

qint64 packDateTime(qint64 julianDay, int secondOfDay)
{
    return julianDay * secondsPerDay + secondOfDay;
}

QString dateTimeText(qint64 packed)
{
    qint64 julianDay = packed / secondsPerDay;
    qint64 second = packed % secondsPerDay;
    if (second < 0) {
        second += secondsPerDay;
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

struct ResultSnapshot::Column
{
    QString name;
    detail::FieldKind declared{};

    // A column whose cells are all of one kind keeps no kind per cell.
    CellKind uniform = CellKind::Null;
    bool mixed = false;
    detail::ChunkedArray<std::uint8_t> kinds;

    // Where each cell's text ends, counted over the arenas; kept from the
    // first text cell on, with every earlier cell empty.
    bool hasText = false;
    detail::ChunkedArray<std::uint32_t> textEnds;
    std::vector<std::unique_ptr<char[]>> arenas;
    std::uint64_t textEnd = 0;
    std::unordered_map<int, QByteArray> longTexts;

    // Whole numbers, numbers (their bits), date-times (julian day × 86400 +
    // second of the day) and true/false; kept from the first such cell on.
    bool hasNumbers = false;
    detail::ChunkedArray<qint64> numbers;

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
                throw Error(7, QStringLiteral("メモリが不足しています。"
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

    // The stored value by its own kind, as the engine layer reads a field of
    // an expression.
    void appendStored(int row, sqlite3_value* value, int stored)
    {
        switch (stored) {
        case SQLITE_INTEGER:
            appendNumber(row, CellKind::Integer, sqlite3_value_int64(value));
            return;
        case SQLITE_FLOAT:
            appendDouble(row, sqlite3_value_double(value));
            return;
        case SQLITE_NULL:
            appendNull(row);
            return;
        default:
            appendValueText(row, value);
        }
    }

    void appendValueText(int row, sqlite3_value* value)
    {
        const auto* data = reinterpret_cast<const char*>(sqlite3_value_text(value));
        appendText(row, data, sqlite3_value_bytes(value));
    }

    // One field, with the kind detail::readField gives it. The field is read
    // through its unprotected value: only this thread uses the connection
    // while the statement runs, and a field then costs one lock of the
    // connection instead of three.
    void append(int row, sqlite3_stmt* stmt, int column)
    {
        sqlite3_value* value = sqlite3_column_value(stmt, column);
        const int stored = sqlite3_value_type(value);
        if (stored == SQLITE_NULL) {
            appendNull(row);
            return;
        }
        const bool numeric = stored == SQLITE_INTEGER || stored == SQLITE_FLOAT;
        switch (declared) {
        case detail::FieldKind::Stored:
            appendStored(row, value, stored);
            return;
        case detail::FieldKind::Text:
            appendValueText(row, value);
            return;
        case detail::FieldKind::Integer:
            appendStored(row, value, stored);
            return;
        case detail::FieldKind::Number:
            if (numeric)
                appendDouble(row, sqlite3_value_double(value));
            else
                appendStored(row, value, stored);
            return;
        case detail::FieldKind::DateTime: {
            if (numeric) {
                const double number = sqlite3_value_double(value);
                if (detail::isOleDate(number))
                    appendDateTime(row, detail::fromOleDate(number));
                else
                    appendDouble(row, number);
                return;
            }
            const auto* data = reinterpret_cast<const char*>(sqlite3_value_text(value));
            const int length = sqlite3_value_bytes(value);
            detail::DateTimeParts parts;
            if (detail::parseDateTime(data, length, &parts))
                appendNumber(row, CellKind::DateTime,
                             packDateTime(parts.julianDay, parts.secondOfDay));
            else
                appendText(row, data, length);
            return;
        }
        case detail::FieldKind::Boolean: {
            if (numeric) {
                appendNumber(row, CellKind::Boolean, sqlite3_value_double(value) != 0.0);
                return;
            }
            const auto* data = reinterpret_cast<const char*>(sqlite3_value_text(value));
            const int length = sqlite3_value_bytes(value);
            const QLatin1StringView word(data, length);
            if (word.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
                appendNumber(row, CellKind::Boolean, 1);
            else if (word.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
                appendNumber(row, CellKind::Boolean, 0);
            else
                appendText(row, data, length);
            return;
        }
        }
        appendStored(row, value, stored);
    }

    // One value the second engine read, already of its kind.
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
        std::size_t bytes = sizeof(Column) + std::size_t(name.capacity()) * sizeof(QChar) +
                            kinds.allocatedBytes() + textEnds.allocatedBytes() +
                            numbers.allocatedBytes() + arenas.capacity() * sizeof(arenas[0]) +
                            arenas.size() * textChunkLength;
        for (const auto& [row, text] : longTexts)
            bytes += sizeof(row) + sizeof(text) + std::size_t(text.capacity());
        return bytes;
    }
};

ResultSnapshot::ResultSnapshot() = default;
ResultSnapshot::~ResultSnapshot() = default;
ResultSnapshot::ResultSnapshot(ResultSnapshot&&) noexcept = default;
ResultSnapshot& ResultSnapshot::operator=(ResultSnapshot&&) noexcept = default;

ResultSnapshot ResultSnapshot::read(Connection& connection, const QString& statement,
                                    int sorterThreads)
{
    const QString what = QStringLiteral("次の文を実行できません: %1").arg(statement);
    if (const JetDatabase* jet = connection.jet(what))
        return fromJet(runJetSelect(*jet, statement));
    sqlite3* db = connection.handle(what);

    // The helper threads are this statement's alone: the connection's own
    // setting is back in place however the read ends, after the statement
    // (declared below) has been finalized.
    struct ThreadLimit
    {
        sqlite3* db;
        int previous = -1;
        ~ThreadLimit()
        {
            if (previous >= 0)
                sqlite3_limit(db, SQLITE_LIMIT_WORKER_THREADS, previous);
        }
    } threadLimit{db};
    if (sorterThreads > 0)
        threadLimit.previous = sqlite3_limit(db, SQLITE_LIMIT_WORKER_THREADS, sorterThreads);

    // A short history is sorted in memory, which is quickest. A long one is
    // sorted in runs that spill to temporary files, so that the sort needs a
    // few megabytes beside the snapshot rather than as much again as the
    // history. The budget is taken back once the statement (declared below)
    // is finalized.
    std::optional<detail::SortMemory> sortMemory;
    if (const qint64 fileBytes = QFileInfo(connection.filePath()).size();
        fileBytes <= inMemorySortFileBytes)
        sortMemory.emplace(db, fileBytes);

    const QByteArray sql = statement.toUtf8();
    sqlite3_stmt* raw = nullptr;
    const int prepared = sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &raw, nullptr);
    detail::Statement owner(raw);
    if (prepared != SQLITE_OK)
        throwEngineError(db, prepared, what);
    if (!owner)
        throw Error(Error::Generic, QStringLiteral("文が空です。"));

    ResultSnapshot snapshot;
    const std::vector<detail::FieldKind> kinds = detail::fieldKinds(raw);
    for (int i = 0; i < int(kinds.size()); ++i) {
        auto column = std::make_unique<Column>();
        column->name = QString::fromUtf8(sqlite3_column_name(raw, i));
        column->declared = kinds[std::size_t(i)];
        snapshot.m_columns.push_back(std::move(column));
    }
    // This thread holds the connection for the whole read, so that each of
    // the engine's calls per field only counts up a lock it already has
    // (nothing at all on a connection opened without the engine's locking).
    sqlite3_mutex* mutex = sqlite3_db_mutex(db);
    sqlite3_mutex_enter(mutex);
    const auto release = qScopeGuard([mutex] { sqlite3_mutex_leave(mutex); });
    for (;;) {
        const int rc = sqlite3_step(raw);
        if (rc == SQLITE_DONE)
            break;
        if (rc != SQLITE_ROW)
            throwEngineError(db, rc, what);
        if (snapshot.m_rowCount == std::numeric_limits<int>::max())
            throw Error(7, QStringLiteral("メモリが不足しています。行が多すぎます。"));
        snapshot.appendRow(raw);
    }
    return snapshot;
}

ResultSnapshot ResultSnapshot::fromJet(const JetResult& result)
{
    ResultSnapshot snapshot;
    for (int i = 0; i < result.fieldCount(); ++i) {
        auto column = std::make_unique<Column>();
        column->name = result.fieldNames.at(i);
        column->declared = result.kinds.at(std::size_t(i));
        snapshot.m_columns.push_back(std::move(column));
    }
    if (result.rowCount() >= std::numeric_limits<int>::max())
        throw Error(7, QStringLiteral("メモリが不足しています。行が多すぎます。"));
    for (qsizetype row = 0; row < result.rowCount(); ++row) {
        for (int i = 0; i < result.fieldCount(); ++i)
            snapshot.m_columns[std::size_t(i)]->appendValue(int(row), result.at(row, i));
        ++snapshot.m_rowCount;
    }
    return snapshot;
}

void ResultSnapshot::appendRow(sqlite3_stmt* statement)
{
    const int row = m_rowCount;
    for (int i = 0; i < int(m_columns.size()); ++i)
        m_columns[std::size_t(i)]->append(row, statement, i);
    ++m_rowCount;
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
    const Column& c = *m_columns[std::size_t(column)];
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

} // namespace platform
