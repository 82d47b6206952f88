#include "engine/ResultSnapshotBuilder.h"
#include "engine/sqlite/FieldReader.h"
#include "engine/sqlite/SortMemory.h"
#include "engine/sqlite/SqliteDatabase.h"
#include "platform/Error.h"

#include <QFileInfo>
#include <QScopeGuard>
#include <optional>

namespace engine::sqlite {

using platform::Error;

namespace {

// Files up to this size (about 300,000 events) have their result sorted in
// memory: at most twice as much again for the sort.
constexpr qint64 inMemorySortFileBytes = qint64(16) << 20;

void appendValueText(detail::SnapshotColumn& c, int row, sqlite3_value* value)
{
    const auto* data = reinterpret_cast<const char*>(sqlite3_value_text(value));
    c.appendText(row, data, sqlite3_value_bytes(value));
}

// The stored value by its own kind, as the engine layer reads a field of
// an expression.
void appendStored(detail::SnapshotColumn& c, int row, sqlite3_value* value, int stored)
{
    switch (stored) {
    case SQLITE_INTEGER:
        c.appendNumber(row, ResultSnapshot::CellKind::Integer, sqlite3_value_int64(value));
        return;
    case SQLITE_FLOAT:
        c.appendDouble(row, sqlite3_value_double(value));
        return;
    case SQLITE_NULL:
        c.appendNull(row);
        return;
    default:
        appendValueText(c, row, value);
    }
}

// One field, with the kind detail::readField gives it. The field is read
// through its unprotected value: only this thread uses the connection
// while the statement runs, and a field then costs one lock of the
// connection instead of three.
void append(detail::SnapshotColumn& c, int row, sqlite3_stmt* stmt, int column)
{
    sqlite3_value* value = sqlite3_column_value(stmt, column);
    const int stored = sqlite3_value_type(value);
    if (stored == SQLITE_NULL) {
        c.appendNull(row);
        return;
    }
    const bool numeric = stored == SQLITE_INTEGER || stored == SQLITE_FLOAT;
    switch (c.declared) {
    case detail::FieldKind::Stored:
        appendStored(c, row, value, stored);
        return;
    case detail::FieldKind::Text:
        appendValueText(c, row, value);
        return;
    case detail::FieldKind::Integer:
        appendStored(c, row, value, stored);
        return;
    case detail::FieldKind::Number:
        if (numeric)
            c.appendDouble(row, sqlite3_value_double(value));
        else
            appendStored(c, row, value, stored);
        return;
    case detail::FieldKind::DateTime: {
        if (numeric) {
            const double number = sqlite3_value_double(value);
            if (detail::isOleDate(number))
                c.appendDateTime(row, detail::fromOleDate(number));
            else
                c.appendDouble(row, number);
            return;
        }
        const auto* data = reinterpret_cast<const char*>(sqlite3_value_text(value));
        const int length = sqlite3_value_bytes(value);
        detail::DateTimeParts parts;
        if (detail::parseDateTime(data, length, &parts))
            c.appendNumber(row, ResultSnapshot::CellKind::DateTime,
                           detail::packDateTime(parts.julianDay, parts.secondOfDay));
        else
            c.appendText(row, data, length);
        return;
    }
    case detail::FieldKind::Boolean: {
        if (numeric) {
            c.appendNumber(row, ResultSnapshot::CellKind::Boolean,
                           sqlite3_value_double(value) != 0.0);
            return;
        }
        const auto* data = reinterpret_cast<const char*>(sqlite3_value_text(value));
        const int length = sqlite3_value_bytes(value);
        const QLatin1StringView word(data, length);
        if (word.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            c.appendNumber(row, ResultSnapshot::CellKind::Boolean, 1);
        else if (word.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
            c.appendNumber(row, ResultSnapshot::CellKind::Boolean, 0);
        else
            c.appendText(row, data, length);
        return;
    }
    }
    appendStored(c, row, value, stored);
}

} // namespace

void SqliteDatabase::readSnapshot(const QString& statement, int sorterThreads,
                                  ResultSnapshot::Builder& into)
{
    const QString what = QStringLiteral("次の文を実行できません: %1").arg(statement);
    sqlite3* db = m_db.get();

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
    if (const qint64 fileBytes = QFileInfo(m_filePath).size(); fileBytes <= inMemorySortFileBytes)
        sortMemory.emplace(db, fileBytes);

    const detail::Statement owner = prepare(statement, what);
    sqlite3_stmt* raw = owner.get();

    const std::vector<detail::FieldKind> kinds = detail::fieldKinds(raw);
    for (int i = 0; i < int(kinds.size()); ++i)
        into.addColumn(QString::fromUtf8(sqlite3_column_name(raw, i)), kinds[std::size_t(i)]);
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
        const int row = into.row();
        ResultSnapshot::Builder::checkRowCount(row);
        for (int i = 0; i < into.columnCount(); ++i)
            append(into.column(i), row, raw, i);
        into.endRow();
    }
}

} // namespace engine::sqlite
