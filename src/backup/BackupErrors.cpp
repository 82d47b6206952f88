#include "backup/BackupErrors.h"

#include "backup/MediumChecks.h"
#include "engine/Connection.h"
#include "platform/Drives.h"
#include "platform/FileErrors.h"

#include <QFileInfo>
#include <QStorageInfo>

namespace backup {

platform::Error failure(int systemError, const QString& what)
{
    const platform::FileFailure f = platform::fileFailure(systemError);
    return platform::Error(f.number, QStringLiteral("%1\n%2").arg(what, f.reason));
}

int systemErrorOf(int number)
{
    switch (number) {
    case platform::Error::DiskFull:
        return ENOSPC;
    case platform::Error::PermissionDenied:
        return EACCES;
    case platform::Error::DiskNotReady:
        return noMedium;
    case platform::Error::PathNotFound:
        return ENOENT;
    default:
        return EIO;
    }
}

platform::Error lockFailure(const QString& what, const QString& windowsPath)
{
    return platform::Error(
        platform::Error::PermissionDenied,
        QStringLiteral("%1\n%2 はほかのプログラムが使用中で、ロックされています。"
                       "しばらくしてからもう一度お試しください。")
            .arg(what, windowsPath),
        platform::Error::Cause::LockTimeout);
}

platform::Error onDrive(const platform::Error& e, const QString& driveText, const QString& folder,
                        qint64 bytes, const QString& what, const QString& sourceWindowsPath)
{
    if (e.cause() == platform::Error::Cause::LockTimeout)
        return lockFailure(what, sourceWindowsPath);
    // The source itself could not be read: that is said already.
    if (e.description().startsWith(sourceWindowsPath + QStringLiteral(" を読み取れません")))
        return e;
    if (!platform::driveIsMounted(driveText) || !QFileInfo(folder).isDir())
        return failure(noMedium, what);
    const QStorageInfo volume(folder);
    if (volume.isReadOnly())
        return failure(EROFS, what);
    if (e.number() == platform::Error::Engine) {
        // The engine says "full" in its own words.
        const bool full = engine::Connection::saysDiskFull(e);
        if (full || (volume.bytesAvailable() >= 0 &&
                     volume.bytesAvailable() < roomFor(bytes, volume.blockSize())))
            return failure(ENOSPC, what);
        return failure(EIO, what);
    }
    return failure(systemErrorOf(e.number()), what);
}

bool engineSaysFull(const platform::Error& e)
{
    return engine::Connection::saysDiskFull(e);
}

} // namespace backup
