#pragma once

#include <QHash>
#include <QString>

namespace engine::detail {

// The properties of an ADO connection string ("Provider=...;Data Source=...")
// as lower-case keys and trimmed values, a value in double quotes without
// them. Parts without "=" are ignored; a key given twice keeps its last value.
QHash<QString, QString> parseConnectionString(const QString& text);

} // namespace engine::detail
