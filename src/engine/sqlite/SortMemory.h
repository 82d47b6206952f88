#pragma once

#include <QtGlobal>

struct sqlite3;

namespace engine::detail {

// For the life of this object the engine may sort a result of about the size
// of the database file in memory. With the engine's default of 2 MB, sorting
// a long result writes it out to temporary files and merges them back, which
// costs a roster of 100,000 students a third of its read.
//
// The budget is the page cache's bound too, so it is taken back (and the
// cache shrunk to its old bound) when this object goes; a statement whose
// sorter was opened meanwhile keeps the budget it was given. The cache holds
// the file's pages read meanwhile, at most the budget, until then.
class SortMemory
{
public:
    // The budget is twice the file's bytes, between the engine's default and
    // maxBudgetBytes: what a sorter needs for a result of every row of the
    // largest table, which the sorter holds as records with their keys.
    static constexpr qint64 maxBudgetBytes = qint64(256) << 20;

    SortMemory(sqlite3* db, qint64 fileBytes);
    ~SortMemory();
    SortMemory(const SortMemory&) = delete;
    SortMemory& operator=(const SortMemory&) = delete;

    static qint64 budgetFor(qint64 fileBytes);

private:
    sqlite3* m_db;
    qint64 m_cacheSize = 0;
    bool m_changed = false;
};

} // namespace engine::detail
