#include "FileSystem.h"

#include "Error.h"
#include "WinPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <vector>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

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
        throw Error(Error::FileAlreadyExists,
                    QStringLiteral("ファイルは既に存在します: %1").arg(destinationWindowsPath));

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

bool flushToMedium(QFileDevice& file)
{
    if (!file.flush())
        return false;
#ifdef Q_OS_WIN
    return _commit(file.handle()) == 0;
#else
    return ::fsync(file.handle()) == 0;
#endif
}

bool flushFolder(const QString& hostFolder)
{
#ifdef Q_OS_WIN
    Q_UNUSED(hostFolder);
    return true;
#else
    const int fd = ::open(QFile::encodeName(hostFolder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    const bool flushed = ::fsync(fd) == 0;
    ::close(fd);
    return flushed;
#endif
}

void copyAndFlush(const QString& hostSource, const QString& hostDestination)
{
    QFile in(hostSource);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw Error(Error::PermissionDenied,
                    QStringLiteral("%1 を読み取れません: %2").arg(hostSource, in.errorString()));
    QFile out(hostDestination);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        throw Error(
            Error::PermissionDenied,
            QStringLiteral("%1 に書き込めません: %2").arg(hostDestination, out.errorString()));
    auto fail = [&](int number, const QString& message) {
        out.close();
        QFile::remove(hostDestination);
        throw Error(number, message);
    };
    std::vector<char> buffer(std::size_t(4) << 20);
    for (;;) {
        const qint64 got = in.read(buffer.data(), qint64(buffer.size()));
        if (got < 0)
            fail(Error::PermissionDenied,
                 QStringLiteral("%1 を読み取れません: %2").arg(hostSource, in.errorString()));
        if (got == 0)
            break;
        if (out.write(buffer.data(), got) != got)
            fail(Error::DiskFull,
                 QStringLiteral("%1 に書き込めません: %2").arg(hostDestination, out.errorString()));
    }
    if (!flushToMedium(out))
        fail(Error::DiskFull, QStringLiteral("%1 をディスクに書き込めません: %2")
                                  .arg(hostDestination, out.errorString()));
}

} // namespace platform
