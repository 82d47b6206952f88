#include "backup/BackupErrors.h"

#include "backup/MediumChecks.h"
#include "platform/Drives.h"
#include "platform/FileErrors.h"

#include <QFileInfo>
#include <QStorageInfo>

namespace backup {

namespace {

using Cause = platform::Error::Cause;

Cause causeOfNumber(int number)
{
    switch (number) {
    case platform::Error::DiskFull:
        return Cause::DiskFull;
    case platform::Error::PermissionDenied:
        return Cause::WriteProtected;
    case platform::Error::DiskNotReady:
        return Cause::MediumNotReady;
    case platform::Error::PathNotFound:
        return Cause::NotFound;
    case platform::Error::DeviceIO:
        return Cause::DeviceFailure;
    default:
        return Cause::Other;
    }
}

} // namespace

platform::Error failure(int systemError, const QString& what)
{
    const platform::FileFailure f = platform::fileFailure(systemError);
    return platform::Error(f.number, QStringLiteral("%1\n%2").arg(what, f.reason),
                           causeOfNumber(f.number));
}

Cause causeOf(const platform::Error& e)
{
    return e.cause() != Cause::Other ? e.cause() : causeOfNumber(e.number());
}

int systemErrorOf(const platform::Error& e)
{
    switch (causeOf(e)) {
    case Cause::DiskFull:
        return ENOSPC;
    case Cause::WriteProtected:
        return EACCES;
    case Cause::MediumNotReady:
        return noMedium;
    case Cause::NotFound:
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
        Cause::LockTimeout);
}

platform::Error onDrive(const platform::Error& e, const QString& driveText, const QString& folder,
                        qint64 bytes, const QString& what, const QString& sourceWindowsPath)
{
    if (e.cause() == Cause::LockTimeout)
        return lockFailure(what, sourceWindowsPath);
    // The source itself could not be read: that is said already.
    if (e.cause() == Cause::SourceUnreadable)
        return e;
    if (!platform::driveIsMounted(driveText) || !QFileInfo(folder).isDir())
        return failure(noMedium, what);
    const QStorageInfo volume(folder);
    if (volume.isReadOnly())
        return failure(EROFS, what);
    if (e.number() == platform::Error::Engine) {
        const bool full = e.cause() == platform::Error::Cause::DiskFull;
        if (full || (volume.bytesAvailable() >= 0 &&
                     volume.bytesAvailable() < roomFor(bytes, volume.blockSize())))
            return failure(ENOSPC, what);
        return failure(EIO, what);
    }
    return failure(systemErrorOf(e), what);
}

} // namespace backup
