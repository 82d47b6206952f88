#include "platform/FileErrors.h"

#include "platform/Drives.h"
#include "platform/Error.h"
#include "platform/WinPath.h"

#include <QDir>
#include <QFileDevice>
#include <QFileInfo>

#include <cerrno>

namespace platform {

Error FileFailure::error(const QString& what) const
{
    return Error(number, QStringLiteral("%1\n%2").arg(what, reason), cause);
}

FileFailure fileFailure(int systemError)
{
    switch (systemError) {
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
    case EFBIG:
        return {Error::DiskFull,
                QStringLiteral("ディスクの空き領域が足りません。不要なファイルを移すか、"
                               "空きのあるドライブを使ってください。"),
                Error::Cause::DiskFull};
    case EACCES:
    case EPERM:
    case EROFS:
    // A folder where a file is to be written: refused as Windows refuses it.
    case EISDIR:
        return {Error::PermissionDenied,
                QStringLiteral("書き込みが禁止されています。ファイルが読み取り専用か、"
                               "ＵＳＢメモリが書き込み保護されています。読み取り専用の設定や"
                               "書き込み保護を外すか、別のＵＳＢメモリを使ってください。"),
                Error::Cause::WriteProtected};
    case ENOENT:
    case ENOTDIR:
        return {Error::PathNotFound,
                QStringLiteral("フォルダーが見つかりません。ドライブとフォルダーを"
                               "確かめてください。"),
                Error::Cause::NotFound};
#ifdef ENOMEDIUM
    case ENOMEDIUM:
#endif
    case ENODEV:
    case ENXIO:
    case ESTALE:
        return {Error::DiskNotReady,
                QStringLiteral("ドライブの準備ができていません。ＵＳＢメモリが"
                               "差し込まれているか確かめてください。"),
                Error::Cause::MediumNotReady};
    default:
        // EIO included: a stick pulled while it is written fails the call in
        // flight so, and so does a failing stick still there; only a look at
        // the medium can tell the two apart.
        return {Error::DeviceIO,
                QStringLiteral("ドライブの読み書きに失敗しました。ＵＳＢメモリが"
                               "差し込まれているか確かめてください。（エラー %1）")
                    .arg(systemError),
                Error::Cause::DeviceFailure};
    }
}

FileFailure fileFailure(const QFileDevice& file)
{
    // Qt keeps only the system's text of the error, never its code; the call
    // that failed left the code behind, as the system's own calls do.
    const int systemError = errno;
    if (systemError != 0 && systemError != EINTR && systemError != EAGAIN)
        return fileFailure(systemError);
    switch (file.error()) {
    case QFileDevice::OpenError:
    case QFileDevice::PermissionsError:
        return fileFailure(EACCES);
    case QFileDevice::ResourceError:
        return fileFailure(ENOSPC);
    default:
        return fileFailure(EIO);
    }
}

QString windowsPathOf(const QString& hostPath)
{
    const QFileInfo info(hostPath);
    QString folder = info.absolutePath();
    const QString canonicalFolder = QFileInfo(folder).canonicalFilePath();
    if (!canonicalFolder.isEmpty())
        folder = canonicalFolder;
    const QString drive = driveHolding(folder);
    if (drive.isEmpty())
        return QDir::toNativeSeparators(info.absoluteFilePath());
    // The drive's root as the list resolves it: the folder a letter links to,
    // or the mount point itself, never what the drive is labelled.
    const QString root =
        drive.startsWith(QLatin1Char('/'))
            ? drive
            : QFileInfo(platform::hostPath(drive + QLatin1Char('\\'))).canonicalFilePath();
    QString rest = (folder + QLatin1Char('/') + info.fileName()).mid(root.size());
    if (root == QLatin1String("/"))
        rest.prepend(QLatin1Char('/'));
    rest.replace(QLatin1Char('/'), QLatin1Char('\\'));
    if (!rest.startsWith(QLatin1Char('\\')))
        rest.prepend(QLatin1Char('\\'));
    return drive + rest;
}

} // namespace platform
