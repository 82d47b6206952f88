#include "platform/FileErrors.h"

#include "platform/Drives.h"
#include "platform/Error.h"

#include <QDir>
#include <QFileDevice>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

namespace platform {

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
                               "空きのあるドライブを使ってください。")};
    case EACCES:
    case EPERM:
    case EROFS:
        return {Error::PermissionDenied,
                QStringLiteral("書き込みが禁止されています。ファイルが読み取り専用か、"
                               "ＵＳＢメモリが書き込み保護されています。読み取り専用の設定や"
                               "書き込み保護を外すか、別のＵＳＢメモリを使ってください。")};
    case ENOENT:
    case ENOTDIR:
        return {Error::PathNotFound,
                QStringLiteral("フォルダーが見つかりません。ドライブとフォルダーを"
                               "確かめてください。")};
#ifdef ENOMEDIUM
    case ENOMEDIUM:
#endif
    case ENODEV:
    case ENXIO:
    case ESTALE:
        return {Error::DiskNotReady, QStringLiteral("ドライブの準備ができていません。ＵＳＢメモリが"
                                                    "差し込まれているか確かめてください。")};
    default:
        return {Error::DeviceIO, QStringLiteral("ドライブの読み書きに失敗しました。ＵＳＢメモリが"
                                                "差し込まれているか確かめてください。（エラー %1）")
                                     .arg(systemError)};
    }
}

FileFailure fileFailure(const QFileDevice& file)
{
    // Qt keeps only the system's text of the error; the code is found again
    // by that text, which Qt took from the same table.
    const QString said = file.errorString();
    for (int code : {
             ENOSPC,
             EFBIG,
             EACCES,
             EPERM,
             EROFS,
             ENOENT,
             ENOTDIR,
             ENODEV,
             ENXIO,
             ESTALE,
             EIO,
#ifdef EDQUOT
             EDQUOT,
#endif
#ifdef ENOMEDIUM
             ENOMEDIUM,
#endif
         }) {
        if (said == QString::fromLocal8Bit(std::strerror(code)).trimmed())
            return fileFailure(code);
    }
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
    // The drive's root as the list resolves it: a letter's link target, or
    // the mount point itself.
    QString root;
    for (const Drive& d : listDrives()) {
        if (d.text == drive) {
            root = drive.startsWith(QLatin1Char('/')) ? drive : d.label;
            break;
        }
    }
    QString rest = (folder + QLatin1Char('/') + info.fileName()).mid(root.size());
    if (root == QLatin1String("/"))
        rest.prepend(QLatin1Char('/'));
    rest.replace(QLatin1Char('/'), QLatin1Char('\\'));
    if (!rest.startsWith(QLatin1Char('\\')))
        rest.prepend(QLatin1Char('\\'));
    return drive + rest;
}

} // namespace platform
