#include "WinPath.h"

#include <QDir>

namespace platform {

QString winePrefix()
{
    const QString prefix = qEnvironmentVariable("WINEPREFIX");
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
    return winePrefix() + QStringLiteral("/dosdevices/") + letter + QLatin1Char(':') + rest;
#endif
}

} // namespace platform
