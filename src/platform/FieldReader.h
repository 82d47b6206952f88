#pragma once

#include "Value.h"

#include <sqlite3.h>
#include <vector>

namespace platform::detail {

// The kind a column's values take, decided once per result from the declared
// column type: DATE/TIME → date-time, BIT/BOOLEAN/YESNO → true/false,
// INT-like → integer, REAL/DOUBLE/CURRENCY-like → number, others → text.
// A column without a declared type (an expression) follows what each value
// is stored as.
enum class FieldKind
{
    Stored,
    Text,
    Integer,
    Number,
    DateTime,
    Boolean
};

FieldKind kindOfDeclaredType(const char* declared);
std::vector<FieldKind> fieldKinds(sqlite3_stmt* stmt);
Value readField(sqlite3_stmt* stmt, int column, FieldKind kind);

// "2024-04-01 09:15:00", "2024-04-01", "09:15:00" and the like; also an
// OLE date number (days since 1899-12-30). Returns false for anything else.
bool parseDateTime(const QString& text, DateTime* out);
DateTime fromOleDate(double oleDate);

} // namespace platform::detail
