#pragma once

#include <QDateTime>
#include <QString>
#include <variant>

namespace engine {

// A cell that was never written (a fresh result table cell).
struct Empty
{
    bool operator==(const Empty&) const = default;
};
// A field without a value.
struct Null
{
    bool operator==(const Null&) const = default;
};

// A date and a time of day as the database stores them, without a time zone.
// A time of day alone lies on 1899-12-30, the zero day of the Windows date.
struct DateTime
{
    QDate date;
    QTime time;
    static QDate zeroDay() { return QDate(1899, 12, 30); }
    bool operator==(const DateTime&) const = default;
};

// A variant value as the tool sees database fields: it keeps its kind.
using Value = std::variant<Empty, Null, QString, qint64, double, DateTime, bool>;

inline bool isNull(const Value& v)
{
    return std::holds_alternative<Null>(v);
}
inline bool isEmptyText(const Value& v)
{
    const auto* s = std::get_if<QString>(&v);
    return s && s->isEmpty();
}

// Human-readable form, for diagnostics and tests.
QString describe(const Value& v);

} // namespace engine
