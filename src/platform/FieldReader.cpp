#include "FieldReader.h"

#include <QRegularExpression>
#include <cmath>

namespace platform::detail {

FieldKind kindOfDeclaredType(const char* declared)
{
    if (!declared || !*declared)
        return FieldKind::Stored;
    const QString t = QString::fromUtf8(declared).toUpper();
    auto has = [&t](const char* word) { return t.contains(QLatin1String(word)); };
    if (has("DATE") || has("TIME"))
        return FieldKind::DateTime;
    if (has("BIT") || has("BOOL") || has("YESNO") || has("LOGICAL"))
        return FieldKind::Boolean;
    if (has("CHAR") || has("TEXT") || has("CLOB") || has("MEMO") || has("STRING"))
        return FieldKind::Text;
    if (has("INT") || has("COUNTER") || has("LONG") || has("BYTE") || has("SHORT"))
        return FieldKind::Integer;
    if (has("REAL") || has("DOUB") || has("FLOA") || has("SINGLE") || has("CURRENCY") ||
        has("MONEY") || has("DEC") || has("NUMERIC"))
        return FieldKind::Number;
    return FieldKind::Text;
}

std::vector<FieldKind> fieldKinds(sqlite3_stmt* stmt)
{
    const int n = sqlite3_column_count(stmt);
    std::vector<FieldKind> kinds;
    kinds.reserve(n);
    for (int i = 0; i < n; ++i)
        kinds.push_back(kindOfDeclaredType(sqlite3_column_decltype(stmt, i)));
    return kinds;
}

DateTime fromOleDate(double oleDate)
{
    // Whole days count from the zero day; the fraction is the time of day, taken
    // as a distance from midnight also for dates before the zero day.
    const double days = std::trunc(oleDate);
    const double fraction = std::fabs(oleDate - days);
    qint64 msecs = std::llround(fraction * 86400000.0);
    qint64 dayOffset = static_cast<qint64>(days);
    if (msecs >= 86400000) {
        msecs -= 86400000;
        dayOffset += oleDate < 0 ? -1 : 1;
    }
    // Whole seconds, as the designed engine stores them.
    msecs = (msecs + 500) / 1000 * 1000;
    if (msecs >= 86400000)
        msecs = 86399000;
    return {DateTime::zeroDay().addDays(dayOffset), QTime::fromMSecsSinceStartOfDay(int(msecs))};
}

bool parseDateTime(const QString& text, DateTime* out)
{
    static const QRegularExpression pattern(QStringLiteral(
        R"(^\s*(?:(\d{4})-(\d{1,2})-(\d{1,2}))?(?:(?:^|[ T])\s*(\d{1,2}):(\d{2})(?::(\d{2})(?:\.\d+)?)?)?\s*$)"));
    const auto m = pattern.match(text);
    if (!m.hasMatch() || (m.capturedLength(1) == 0 && m.capturedLength(4) == 0))
        return false;
    QDate date = DateTime::zeroDay();
    if (m.capturedLength(1)) {
        date = QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
        if (!date.isValid())
            return false;
    }
    QTime time(0, 0, 0);
    if (m.capturedLength(4)) {
        time = QTime(m.captured(4).toInt(), m.captured(5).toInt(),
                     m.capturedLength(6) ? m.captured(6).toInt() : 0);
        if (!time.isValid())
            return false;
    }
    *out = {date, time};
    return true;
}

namespace {

QString columnText(sqlite3_stmt* stmt, int column)
{
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    return QString::fromUtf8(data, sqlite3_column_bytes(stmt, column));
}

Value storedValue(sqlite3_stmt* stmt, int column)
{
    switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_INTEGER:
        return qint64(sqlite3_column_int64(stmt, column));
    case SQLITE_FLOAT:
        return sqlite3_column_double(stmt, column);
    case SQLITE_NULL:
        return Null{};
    default:
        return columnText(stmt, column);
    }
}

} // namespace

Value readField(sqlite3_stmt* stmt, int column, FieldKind kind)
{
    const int stored = sqlite3_column_type(stmt, column);
    if (stored == SQLITE_NULL)
        return Null{};
    switch (kind) {
    case FieldKind::Stored:
        return storedValue(stmt, column);
    case FieldKind::Text:
        return columnText(stmt, column);
    case FieldKind::Integer:
        if (stored == SQLITE_INTEGER)
            return qint64(sqlite3_column_int64(stmt, column));
        return storedValue(stmt, column);
    case FieldKind::Number:
        if (stored == SQLITE_INTEGER || stored == SQLITE_FLOAT)
            return sqlite3_column_double(stmt, column);
        return storedValue(stmt, column);
    case FieldKind::DateTime: {
        if (stored == SQLITE_INTEGER || stored == SQLITE_FLOAT)
            return fromOleDate(sqlite3_column_double(stmt, column));
        const QString text = columnText(stmt, column);
        DateTime dt;
        if (parseDateTime(text, &dt))
            return dt;
        return text;
    }
    case FieldKind::Boolean:
        if (stored == SQLITE_INTEGER || stored == SQLITE_FLOAT)
            return sqlite3_column_double(stmt, column) != 0.0;
        const QString text = columnText(stmt, column);
        if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            return true;
        if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
            return false;
        return text;
    }
    return storedValue(stmt, column);
}

} // namespace platform::detail
