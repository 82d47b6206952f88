#pragma once

#include <memory>
#include <sqlite3.h>

namespace engine::detail {

// Owners of the engine's handles: every sqlite3* and sqlite3_stmt* in the
// project, the tools' and the tests' included, is freed by one of these.

struct SqliteHandleCloser
{
    // close_v2 defers the close until the last statement of the handle is
    // finalized, so the order in which owners go does not matter.
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using SqliteHandle = std::unique_ptr<sqlite3, SqliteHandleCloser>;

struct StatementDeleter
{
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

struct BackupDeleter
{
    void operator()(sqlite3_backup* b) const { sqlite3_backup_finish(b); }
};
using Backup = std::unique_ptr<sqlite3_backup, BackupDeleter>;

// Opens a file with the given SQLITE_OPEN_* flags. On failure the handle is
// still returned when the engine made one, so its message can be read; null
// only when the engine is out of memory.
inline SqliteHandle openSqliteHandle(const char* file, int flags, int* rc)
{
    sqlite3* raw = nullptr;
    *rc = sqlite3_open_v2(file, &raw, flags, nullptr);
    return SqliteHandle(raw);
}

} // namespace engine::detail
