#include "DatabaseFormat.h"

#include <QFile>
#include <QFileInfo>

namespace platform {

DatabaseFormat detectDatabaseFormat(const QString& hostPath)
{
    QFile file(hostPath);
    if (!QFileInfo(hostPath).isFile() || !file.open(QIODevice::ReadOnly))
        return DatabaseFormat::Unreadable;
    const QByteArray head = file.read(32);
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

} // namespace platform
