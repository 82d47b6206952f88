#include "engine/FieldKind.h"

#include <cmath>
#include <initializer_list>

namespace engine::detail {

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

bool isOleDate(double oleDate)
{
    constexpr double first = -657434.0; // 100-01-01
    constexpr double end = 2958466.0;   // 10000-01-01
    return oleDate >= first && oleDate < end;
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

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Reads between min and max digits at *at; false when fewer than min.
bool readNumber(const char* text, qsizetype length, qsizetype* at, int min, int max, int* value)
{
    int digits = 0;
    int number = 0;
    while (*at < length && digits < max && isDigit(text[*at])) {
        number = number * 10 + (text[*at] - '0');
        ++*at;
        ++digits;
    }
    *value = number;
    return digits >= min;
}

// The proleptic Gregorian calendar, as QDate counts it, for years 1 to 9999.
qint64 julianDayOf(int year, int month, int day)
{
    const int a = (14 - month) / 12;
    const qint64 y = qint64(year) + 4800 - a;
    const int m = month + 12 * a - 3;
    return day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
}

bool isValidDate(int year, int month, int day)
{
    static constexpr int monthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || month < 1 || month > 12 || day < 1)
        return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= monthDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

} // namespace

bool parseDateTime(const char* text, qsizetype length, DateTimeParts* out)
{
    // The forms the product writes, "2024-04-01" and "09:15:00", the short way.
    auto digitsAt = [text](std::initializer_list<int> positions) {
        for (int p : positions) {
            if (!isDigit(text[p]))
                return false;
        }
        return true;
    };
    auto twoDigits = [text](int p) { return (text[p] - '0') * 10 + (text[p + 1] - '0'); };
    if (length == 10 && text[4] == '-' && text[7] == '-' && digitsAt({0, 1, 2, 3, 5, 6, 8, 9})) {
        const int year = twoDigits(0) * 100 + twoDigits(2);
        const int month = twoDigits(5);
        const int day = twoDigits(8);
        if (!isValidDate(year, month, day))
            return false;
        *out = {julianDayOf(year, month, day), 0};
        return true;
    }
    if (length == 8 && text[2] == ':' && text[5] == ':' && digitsAt({0, 1, 3, 4, 6, 7})) {
        const int hour = twoDigits(0), minute = twoDigits(3), second = twoDigits(6);
        if (hour > 23 || minute > 59 || second > 59)
            return false;
        *out = {zeroDayJulian, hour * 3600 + minute * 60 + second};
        return true;
    }

    qsizetype at = 0;
    while (at < length && isBlank(text[at]))
        ++at;
    const qsizetype lead = at;

    // A date is four digits and a dash; anything else here must be a time.
    bool hasDate = false;
    int year = 0, month = 0, day = 0;
    if (length - at >= 5 && isDigit(text[at]) && isDigit(text[at + 1]) && isDigit(text[at + 2]) &&
        isDigit(text[at + 3]) && text[at + 4] == '-') {
        readNumber(text, length, &at, 4, 4, &year);
        ++at;
        if (!readNumber(text, length, &at, 1, 2, &month) || at >= length || text[at] != '-')
            return false;
        ++at;
        if (!readNumber(text, length, &at, 1, 2, &day))
            return false;
        if (!isValidDate(year, month, day))
            return false;
        hasDate = true;
    }

    // A time follows the date after a space or a T (then blanks); alone, it
    // may start the text or follow the leading blanks or a T.
    bool hasTime = false;
    int hour = 0, minute = 0, second = 0;
    {
        qsizetype t = at;
        bool separated = !hasDate && lead == 0;
        if (t < length && (text[t] == ' ' || text[t] == 'T')) {
            separated = true;
            ++t;
        } else if (!hasDate && lead > 0) {
            separated = true; // the last leading blank serves as the separator
        }
        while (separated && t < length && isBlank(text[t]))
            ++t;
        if (separated && t < length && isDigit(text[t])) {
            if (!readNumber(text, length, &t, 1, 2, &hour) || t >= length || text[t] != ':')
                return false;
            ++t;
            if (!readNumber(text, length, &t, 2, 2, &minute))
                return false;
            if (t < length && text[t] == ':') {
                ++t;
                if (!readNumber(text, length, &t, 2, 2, &second))
                    return false;
                if (t < length && text[t] == '.') {
                    ++t;
                    if (t >= length || !isDigit(text[t]))
                        return false;
                    while (t < length && isDigit(text[t]))
                        ++t;
                }
            }
            if (hour > 23 || minute > 59 || second > 59)
                return false;
            hasTime = true;
            at = t;
        }
    }
    if (!hasDate && !hasTime)
        return false;
    while (at < length && isBlank(text[at]))
        ++at;
    if (at != length)
        return false;

    out->julianDay = hasDate ? julianDayOf(year, month, day) : zeroDayJulian;
    out->secondOfDay = hour * 3600 + minute * 60 + second;
    return true;
}

bool parseDateTime(const QString& text, DateTime* out)
{
    const QByteArray bytes = text.toUtf8();
    DateTimeParts parts;
    if (!parseDateTime(bytes.constData(), bytes.size(), &parts))
        return false;
    *out = {QDate::fromJulianDay(parts.julianDay),
            QTime::fromMSecsSinceStartOfDay(parts.secondOfDay * 1000)};
    return true;
}

} // namespace engine::detail
