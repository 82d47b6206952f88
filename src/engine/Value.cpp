#include "engine/Value.h"

namespace engine {

QString describe(const Value& v)
{
    struct Visitor
    {
        QString operator()(const Empty&) const { return QStringLiteral("Empty"); }
        QString operator()(const Null&) const { return QStringLiteral("Null"); }
        QString operator()(const QString& s) const { return QStringLiteral("Text(%1)").arg(s); }
        QString operator()(qint64 i) const { return QStringLiteral("Integer(%1)").arg(i); }
        QString operator()(double d) const
        {
            return QStringLiteral("Number(%1)").arg(QString::number(d, 'g', 17));
        }
        QString operator()(const DateTime& d) const
        {
            return QStringLiteral("Date(%1 %2)")
                .arg(d.date.toString(Qt::ISODate), d.time.toString(Qt::ISODate));
        }
        QString operator()(bool b) const
        {
            return b ? QStringLiteral("True") : QStringLiteral("False");
        }
    };
    return std::visit(Visitor{}, v);
}

} // namespace engine
