#include "platform/Drives.h"

#include "platform/WinPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <mutex>
#include <set>

namespace platform {

namespace {

QString canonical(const QString& path)
{
    const QString c = QFileInfo(path).canonicalFilePath();
    return c.isEmpty() ? path : c;
}

bool isUnder(const QString& path, const QString& root)
{
    if (root == QLatin1String("/"))
        return true;
    return path == root || path.startsWith(root + QLatin1Char('/'));
}

#ifndef Q_OS_WIN
bool isMountRoot(const QString& folder)
{
    return !folder.isEmpty() && QStorageInfo(folder).rootPath() == folder;
}

// The folders that drive letters resolved to and that were mount points when
// the drives were listed: once the volume goes, the folder alone is no drive.
std::mutex g_seenMountedLock;
std::set<QString> g_seenMounted;

void noteMounted(const QString& folder)
{
    if (folder == QLatin1String("/") || !isMountRoot(folder))
        return;
    const std::lock_guard<std::mutex> hold(g_seenMountedLock);
    g_seenMounted.insert(folder);
}

bool wasSeenMounted(const QString& folder)
{
    const std::lock_guard<std::mutex> hold(g_seenMountedLock);
    return g_seenMounted.count(folder) > 0;
}

// A folder where removable media are mounted, with no volume of its own
// mounted at or above it below that place: what a pulled stick leaves.
bool isBareMediaFolder(const QString& folder)
{
    for (const char* place : {"/media/", "/run/media/", "/mnt/"}) {
        const QString base = QLatin1String(place);
        if (!folder.startsWith(base))
            continue;
        const QString root = QStorageInfo(folder).rootPath();
        return !root.startsWith(base);
    }
    return false;
}
#endif

// The label of the volume whose root folder is; none for a folder inside
// a volume, such as Wine's drive_c.
QString volumeLabel(const QString& folder)
{
    const QStorageInfo volume(folder);
    return volume.isValid() && volume.rootPath() == folder ? volume.name() : QString();
}

std::vector<Drive> letterDrives()
{
    std::vector<Drive> drives;
#ifdef Q_OS_WIN
    for (const QFileInfo& root : QDir::drives())
        drives.push_back(
            {root.path().left(2).toLower(), QStorageInfo(root.path()).name(), root.path()});
#else
    const QDir devices(winePrefix() + QStringLiteral("/dosdevices"));
    const auto entries = devices.entryInfoList(
        QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& entry : entries) {
        const QString name = entry.fileName().toLower();
        // "c:" is a drive; "c::" is Wine's raw device link and not a folder.
        if (name.size() != 2 || !name.at(0).isLetter() || name.at(1) != QLatin1Char(':'))
            continue;
        if (!entry.isDir())
            continue;
        const QString folder = canonical(entry.filePath());
        noteMounted(folder);
        drives.push_back({name, volumeLabel(folder), folder});
    }
#endif
    return drives;
}

#ifndef Q_OS_WIN
// Where the desktop's automounter (or usbmount) puts removable media.
bool isMediaPlace(const QString& mountPoint)
{
    return mountPoint.startsWith(QLatin1String("/media/")) ||
           mountPoint.startsWith(QLatin1String("/run/media/"));
}

bool isOnRemovableDevice(const QStorageInfo& volume)
{
    const QString device = QFileInfo(QString::fromLocal8Bit(volume.device())).fileName();
    if (device.isEmpty())
        return false;
    // A partition's folder lies inside its disk's, which says "removable".
    const QString block =
        QFileInfo(QStringLiteral("/sys/class/block/") + device).canonicalFilePath();
    if (block.isEmpty())
        return false;
    for (const QString& folder : {block, QFileInfo(block).path()}) {
        QFile flag(folder + QStringLiteral("/removable"));
        if (flag.open(QIODevice::ReadOnly))
            return flag.readAll().trimmed() == "1";
    }
    return false;
}

// A volume the operator brought: one the desktop or the operator mounted, or
// one on a device the kernel calls removable.
bool isOperatorsVolume(const QStorageInfo& volume)
{
    const QString point = volume.rootPath();
    return isMediaPlace(point) || point.startsWith(QLatin1String("/mnt/")) ||
           isOnRemovableDevice(volume);
}

// A folder on a stick. What the operator mounted under /mnt may as well be a
// data disk, and a memory file system there is no medium to carry away.
bool isOnStick(const QString& folder)
{
    const QStorageInfo volume(folder);
    if (folder.isEmpty() || !volume.isValid() || !volume.isReady() ||
        volume.rootPath() == QLatin1String("/"))
        return false;
    return isMediaPlace(volume.rootPath()) || isOnRemovableDevice(volume);
}
#endif

} // namespace

std::vector<Drive> listDrives()
{
    std::vector<Drive> drives = letterDrives();
#ifndef Q_OS_WIN
    const auto volumes = QStorageInfo::mountedVolumes();
    for (const QStorageInfo& volume : volumes) {
        if (!volume.isValid() || !volume.isReady() || !isOperatorsVolume(volume))
            continue;
        const QString point = volume.rootPath();
        const bool mapped = std::any_of(drives.begin(), drives.end(),
                                        [&](const Drive& d) { return d.folder == point; });
        if (!mapped)
            drives.push_back({point, volume.name(), point});
    }
#endif
    return drives;
}

bool driveIsMounted(const QString& driveText)
{
#ifdef Q_OS_WIN
    Q_UNUSED(driveText);
    return true;
#else
    if (driveText.startsWith(QLatin1Char('/')))
        return isMountRoot(QFileInfo(driveText).canonicalFilePath());
    const QString folder = QFileInfo(hostPath(driveText + QLatin1Char('\\'))).canonicalFilePath();
    if (folder.isEmpty() || isMountRoot(folder))
        return true;
    return !wasSeenMounted(folder) && !isBareMediaFolder(folder);
#endif
}

QString driveHolding(const QString& hostFolder)
{
    const QString here = canonical(hostFolder);
    QString best;
    qsizetype bestLength = -1;
    for (const Drive& d : listDrives()) {
#ifdef Q_OS_WIN
        const QString root = d.text;
        if (here.startsWith(root, Qt::CaseInsensitive) && root.size() > bestLength) {
#else
        const QString& root = d.folder;
        if (isUnder(here, root) && root.size() > bestLength) {
#endif
            best = d.text;
            bestLength = root.size();
        }
    }
    return best;
}

QString currentDrive()
{
    QString held = driveHolding(QDir::currentPath());
    if (!held.isEmpty())
        return held;
    const auto drives = listDrives();
    return drives.empty() ? QStringLiteral("c:") : drives.front().text;
}

QString startingDrive()
{
#ifndef Q_OS_WIN
    for (const Drive& d : listDrives()) {
        if (isOnStick(d.folder))
            return d.text;
    }
#endif
    return currentDrive();
}

} // namespace platform
