#include "platform/WinPath.h"

#include <QDir>
#include <QFileInfo>

namespace platform {

#ifndef Q_OS_WIN
namespace {

// The entry of folder whose name equals name but for letter case, as Wine
// looks one up: the name as written when it exists, else the first such entry
// in name order (so the choice does not depend on the file system's order),
// else an empty string.
QString entryIgnoringCase(const QString& folder, const QString& name)
{
    if (QFileInfo::exists(folder + QLatin1Char('/') + name))
        return name;
    const QStringList entries = QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return entry;
    }
    return {};
}

// rest ("/Program Files/Tavenro/DB.mdb") below root with each existing folder
// and file spelt as on disk. From the first part that does not exist on, the
// parts stay as written: a file about to be made keeps the name it was given.
QString resolveIgnoringCase(const QString& root, const QString& rest)
{
    QString resolved = root;
    bool searching = true;
    const QStringList parts = rest.split(QLatin1Char('/'));
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString& part = parts.at(i);
        const QString folder = resolved;
        if (i > 0)
            resolved += QLatin1Char('/');
        if (!searching || part.isEmpty() || part == QLatin1String(".") ||
            part == QLatin1String("..")) {
            resolved += part;
            continue;
        }
        const QString found = entryIgnoringCase(folder, part);
        searching = !found.isEmpty();
        resolved += searching ? found : part;
    }
    return resolved;
}

} // namespace
#endif

QString winePrefix()
{
    QString prefix = qEnvironmentVariable("WINEPREFIX");
    if (!prefix.isEmpty())
        return prefix;
    return QDir::homePath() + QStringLiteral("/.wine");
}

QString hostPath(const QString& windowsPath)
{
#ifdef Q_OS_WIN
    return windowsPath;
#else
    QString path = windowsPath;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const bool hasDrive = path.size() >= 2 && path.at(1) == QLatin1Char(':') &&
                          path.at(0).isLetter() && path.at(0).unicode() < 128;
    if (!hasDrive)
        return path;
    const QString letter = path.left(1).toLower();
    QString rest = path.mid(2);
    if (!rest.startsWith(QLatin1Char('/')))
        rest.prepend(QLatin1Char('/')); // "c:x" is taken from the drive's root
    // Windows' names ignore letter case and the host's do not: Wine finds
    // "Tavenro\\DB.mdb" as tavenro/db.mdb, and so must this tool to see the
    // product's files.
    return resolveIgnoringCase(
        winePrefix() + QStringLiteral("/dosdevices/") + letter + QLatin1Char(':'), rest);
#endif
}

} // namespace platform
