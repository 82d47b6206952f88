#include "engine/ConnectionString.h"

namespace engine::detail {

QHash<QString, QString> parseConnectionString(const QString& text)
{
    QHash<QString, QString> properties;
    const auto parts = text.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        const qsizetype eq = part.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        QString key = part.left(eq).trimmed().toLower();
        QString value = part.mid(eq + 1).trimmed();
        if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) &&
            value.endsWith(QLatin1Char('"')))
            value = value.mid(1, value.size() - 2);
        properties.insert(key, value);
    }
    return properties;
}

} // namespace engine::detail
