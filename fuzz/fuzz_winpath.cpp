// The mapping of Windows paths to host paths on arbitrary text, over a small
// installation whose names differ in letter case from the tool's.

#include "fuzz/FuzzInput.h"
#include "platform/WinPath.h"

#include <QDir>
#include <QFile>

namespace {

const QString& prefix()
{
    static const QString path = [] {
        const QString p = fuzz::scratchFolder() + QStringLiteral("/prefix");
        QDir().mkpath(p + QStringLiteral("/dosdevices"));
        QDir().mkpath(p + QStringLiteral("/drive_c/Program Files/tavenro"));
        QDir().mkpath(p + QStringLiteral("/drive_c/PROGRAM FILES (X86)/Tavenro"));
        QDir().mkpath(p + QStringLiteral("/stick"));
        QFile(p + QStringLiteral("/drive_c/Program Files/tavenro/db.mdb"))
            .open(QIODevice::WriteOnly);
        QFile(p + QStringLiteral("/stick/DB.MDB")).open(QIODevice::WriteOnly);
        QFile::link(QStringLiteral("../drive_c"), p + QStringLiteral("/dosdevices/c:"));
        QFile::link(QStringLiteral("../stick"), p + QStringLiteral("/dosdevices/e:"));
        qputenv("WINEPREFIX", QFile::encodeName(p));
        return p;
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString& root = prefix();
    const QString windows = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString host = platform::hostPath(windows);
    if (host.contains(QLatin1Char('\\')))
        fuzz::fault("a backslash left in a host path");
    const bool hasDrive = windows.size() >= 2 && windows.at(1) == QLatin1Char(':') &&
                          windows.at(0).isLetter() && windows.at(0).unicode() < 128;
    if (hasDrive && !host.startsWith(root + QStringLiteral("/dosdevices/")))
        fuzz::fault("a drive path mapped outside dosdevices");
    if (host.compare(QString(windows).replace(QLatin1Char('\\'), QLatin1Char('/')),
                     Qt::CaseInsensitive) != 0 &&
        !hasDrive)
        fuzz::fault("a path without a drive changed more than its separators");
    return 0;
}
