#include "engine/DatabaseFormat.h"

#include "engine/Database.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <optional>

namespace engine {

DatabaseFormat detectDatabaseFormat(const QString& hostPath)
{
    if (!QFileInfo(hostPath).isFile())
        return DatabaseFormat::Unreadable;
    const std::optional<QByteArray> read = readFileHead(hostPath, 32);
    if (!read)
        return DatabaseFormat::Unreadable;
    const QByteArray& head = *read;
    static constexpr char sqlite[] = "SQLite format 3"; // the terminating NUL belongs to it
    static constexpr char jet[] = "Standard Jet DB";
    if (head.size() >= qsizetype(sizeof sqlite) &&
        head.first(sizeof sqlite) == QByteArray(sqlite, sizeof sqlite))
        return DatabaseFormat::Sqlite;
    if (head.size() >= 4 + qsizetype(sizeof jet) - 1 &&
        head.sliced(4, sizeof jet - 1) == QByteArray(jet, sizeof jet - 1))
        return DatabaseFormat::Jet;
    return DatabaseFormat::Other;
}

} // namespace engine
