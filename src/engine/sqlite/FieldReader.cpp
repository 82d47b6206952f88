#include "engine/sqlite/FieldReader.h"

namespace engine::detail {

std::vector<FieldKind> fieldKinds(sqlite3_stmt* stmt)
{
    const int n = sqlite3_column_count(stmt);
    std::vector<FieldKind> kinds;
    kinds.reserve(n);
    for (int i = 0; i < n; ++i)
        kinds.push_back(kindOfDeclaredType(sqlite3_column_decltype(stmt, i)));
    return kinds;
}

namespace {

QString valueText(sqlite3_value* value)
{
    const auto* data = reinterpret_cast<const char*>(sqlite3_value_text(value));
    return QString::fromUtf8(data, sqlite3_value_bytes(value));
}

Value storedValue(sqlite3_value* value, int stored)
{
    switch (stored) {
    case SQLITE_INTEGER:
        return qint64(sqlite3_value_int64(value));
    case SQLITE_FLOAT:
        return sqlite3_value_double(value);
    case SQLITE_NULL:
        return Null{};
    default:
        return valueText(value);
    }
}

} // namespace

namespace {

// The kinds whose stored text (or bytes) is the field's text as it stands.
bool isTextAsStored(FieldKind kind, int stored)
{
    if (kind == FieldKind::Text)
        return stored != SQLITE_NULL;
    const bool storedAsText = stored == SQLITE_TEXT || stored == SQLITE_BLOB;
    return storedAsText &&
           (kind == FieldKind::Stored || kind == FieldKind::Integer || kind == FieldKind::Number);
}

} // namespace

std::optional<QByteArrayView> readTextField(sqlite3_stmt* stmt, int column, FieldKind kind)
{
    sqlite3_value* value = sqlite3_column_value(stmt, column);
    if (!isTextAsStored(kind, sqlite3_value_type(value)))
        return std::nullopt;
    const auto* data = reinterpret_cast<const char*>(sqlite3_value_text(value));
    return QByteArrayView(data, sqlite3_value_bytes(value));
}

Value readField(sqlite3_stmt* stmt, int column, FieldKind kind)
{
    // The field's value is taken once and read without the connection's
    // lock: the recordset's connection is used by one thread at a time, and
    // each further sqlite3_column_* call would lock it again.
    sqlite3_value* value = sqlite3_column_value(stmt, column);
    const int stored = sqlite3_value_type(value);
    if (stored == SQLITE_NULL)
        return Null{};
    if (isTextAsStored(kind, stored))
        return valueText(value);
    switch (kind) {
    case FieldKind::Stored:
    case FieldKind::Text:
    case FieldKind::Integer:
        return storedValue(value, stored);
    case FieldKind::Number:
        if (stored == SQLITE_INTEGER || stored == SQLITE_FLOAT)
            return sqlite3_value_double(value);
        return storedValue(value, stored);
    case FieldKind::DateTime: {
        if (stored == SQLITE_INTEGER || stored == SQLITE_FLOAT) {
            const double number = sqlite3_value_double(value);
            if (isOleDate(number))
                return fromOleDate(number);
            return number;
        }
        const auto* data = reinterpret_cast<const char*>(sqlite3_value_text(value));
        const int length = sqlite3_value_bytes(value);
        DateTimeParts parts;
        if (parseDateTime(data, length, &parts))
            return DateTime{QDate::fromJulianDay(parts.julianDay),
                            QTime::fromMSecsSinceStartOfDay(parts.secondOfDay * 1000)};
        return QString::fromUtf8(data, length);
    }
    case FieldKind::Boolean:
        if (stored == SQLITE_INTEGER || stored == SQLITE_FLOAT)
            return sqlite3_value_double(value) != 0.0;
        const QString text = valueText(value);
        if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            return true;
        if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
            return false;
        return text;
    }
    return storedValue(value, stored);
}

} // namespace engine::detail
