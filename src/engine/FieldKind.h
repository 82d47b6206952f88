#pragma once

#include "engine/Value.h"

#include <QtGlobal>

namespace engine::detail {

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

// A stored date-time text taken apart: "2024-04-01 09:15:00", "2024-04-01",
// "09:15:00", "9:15", "2024-4-1T09:15:00.250" and the like, with blanks around
// it. A missing date is the zero day, a missing time midnight; fractions of a
// second are dropped.
// The zero day 1899-12-30 as a Julian day number.
constexpr qint64 zeroDayJulian = 2415019;

struct DateTimeParts
{
    qint64 julianDay = 0;
    int secondOfDay = 0;
};
// Reads the UTF-8 (or ASCII) text in one pass, by position, without a regular
// expression: it runs once per stored cell of a date column. Returns false for
// anything but the forms above and for impossible dates and times.
bool parseDateTime(const char* text, qsizetype length, DateTimeParts* out);
bool parseDateTime(const QString& text, DateTime* out);
// Whether a number is a date the designed engine can hold: days from
// 100-01-01 up to 10000-01-01, counted from 1899-12-30. A stored number
// outside them (a damaged or foreign file) is no date; NaN is none either.
bool isOleDate(double oleDate);
// The date-time an OLE date number stands for (days since 1899-12-30); only
// for numbers isOleDate() accepts.
DateTime fromOleDate(double oleDate);

} // namespace engine::detail
