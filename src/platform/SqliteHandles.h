#pragma once

#include <memory>
#include <sqlite3.h>

namespace platform::detail {

struct StatementDeleter
{
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

} // namespace platform::detail
