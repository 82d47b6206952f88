#include "engine/DatabaseFiles.h"

#include "engine/Database.h"
#include "platform/FileSystem.h"

#include <QFile>
#include <QFileInfo>

namespace engine {

QStringList companionFiles(const QString& hostPath)
{
    QStringList paths;
    for (const CompanionFile& companion : companionFiles())
        paths << hostPath + QLatin1String(companion.suffix);
    return paths;
}

void removeDatabaseFiles(const QString& hostPath)
{
    QFile::remove(hostPath);
    removeCompanionFiles(hostPath);
}

void removeCompanionFiles(const QString& hostPath)
{
    for (const QString& path : companionFiles(hostPath))
        QFile::remove(path);
}

void moveCompanionFiles(const QString& from, const QString& copy)
{
    // Those that hold content first: should one fail to move, the rest stay
    // beside the file they belong to.
    for (const CompanionFile& companion : companionFiles()) {
        const QString old = from + QLatin1String(companion.suffix);
        if (companion.holdsContent && QFileInfo::exists(old))
            platform::replaceFile(old, copy + QLatin1String(companion.suffix));
    }
    for (const CompanionFile& companion : companionFiles()) {
        if (!companion.holdsContent)
            QFile::remove(from + QLatin1String(companion.suffix));
    }
}

} // namespace engine
