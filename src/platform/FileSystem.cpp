#include "FileSystem.h"

#include "Error.h"
#include "WinPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace platform {

bool fileExists(const QString& windowsPath)
{
    return QFileInfo(hostPath(windowsPath)).isFile();
}

void copyFile(const QString& sourceWindowsPath, const QString& destinationWindowsPath,
              bool overwrite)
{
    const QString source = hostPath(sourceWindowsPath);
    const QString destination = hostPath(destinationWindowsPath);
    QFile in(source);
    if (!QFileInfo(source).isFile())
        throw Error(Error::FileNotFound,
                    QStringLiteral("ファイルが見つかりません: %1").arg(sourceWindowsPath));
    if (!in.open(QIODevice::ReadOnly))
        throw Error(
            Error::PermissionDenied,
            QStringLiteral("%1 を読み取れません: %2").arg(sourceWindowsPath, in.errorString()));
    const QFileInfo target(destination);
    if (!target.dir().exists())
        throw Error(Error::PathNotFound,
                    QStringLiteral("パスが見つかりません: %1").arg(destinationWindowsPath));
    if (target.exists() && !overwrite)
        throw Error(58, QStringLiteral("ファイルは既に存在します: %1").arg(destinationWindowsPath));

    QSaveFile out(destination);
    if (!out.open(QIODevice::WriteOnly))
        throw Error(Error::PermissionDenied, QStringLiteral("%1 に書き込めません: %2")
                                                 .arg(destinationWindowsPath, out.errorString()));
    QByteArray buffer;
    constexpr qint64 chunk = 1 << 20;
    while (!in.atEnd()) {
        buffer = in.read(chunk);
        if (buffer.isEmpty() && in.error() != QFile::NoError)
            break;
        if (out.write(buffer) != buffer.size())
            break;
    }
    if (in.error() != QFile::NoError) {
        out.cancelWriting();
        throw Error(
            Error::PermissionDenied,
            QStringLiteral("%1 を読み取れません: %2").arg(sourceWindowsPath, in.errorString()));
    }
    if (out.error() != QFile::NoError || !out.commit()) {
        const QString reason = out.errorString();
        throw Error(Error::DiskFull,
                    QStringLiteral("%1 に書き込めません: %2").arg(destinationWindowsPath, reason));
    }
}

} // namespace platform
