#include "engine/sqlite/SortMemory.h"

#include <QByteArray>
#include <algorithm>
#include <sqlite3.h>

namespace engine::detail {

namespace {

constexpr qint64 engineDefaultBytes = qint64(2) << 20;

// The pragma's one number, or fallback when the engine gives none.
qint64 pragmaValue(sqlite3* db, const char* sql, qint64 fallback)
{
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK)
        return fallback;
    const qint64 value = sqlite3_step(raw) == SQLITE_ROW ? sqlite3_column_int64(raw, 0) : fallback;
    sqlite3_finalize(raw);
    return value;
}

void setPragma(sqlite3* db, const char* name, qint64 value)
{
    const QByteArray sql = QByteArray("PRAGMA ") + name + '=' + QByteArray::number(value);
    sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr);
}

} // namespace

qint64 SortMemory::budgetFor(qint64 fileBytes)
{
    return std::clamp(fileBytes * 2, engineDefaultBytes, maxBudgetBytes);
}

SortMemory::SortMemory(sqlite3* db, qint64 fileBytes) : m_db(db)
{
    // The setting is only a limit: when the engine refuses it, the statement
    // runs as it would have without.
    m_cacheSize = pragmaValue(db, "PRAGMA cache_size", 0);
    if (m_cacheSize == 0)
        return;
    // A negative cache size is a bound in KiB.
    setPragma(db, "cache_size", -(budgetFor(fileBytes) >> 10));
    m_changed = true;
}

SortMemory::~SortMemory()
{
    if (!m_changed)
        return;
    setPragma(m_db, "cache_size", m_cacheSize);
}

} // namespace engine::detail
