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
#include <windows.h>
#else
#include <cerrno>
#include <cstdio>
#include <cstring>
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

namespace {

void copy(const QString& hostSource, const QString& hostDestination, bool flush)
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
    bool copied = false;
#ifdef Q_OS_LINUX
    // The kernel copies between the two files without a trip through this
    // process, as cp does; a file system that cannot falls back to reading
    // and writing, from where the kernel stopped.
    for (;;) {
        const ssize_t n = ::copy_file_range(in.handle(), nullptr, out.handle(), nullptr,
                                            std::size_t(64) << 20, 0);
        if (n == 0) {
            copied = true;
            break;
        }
        if (n > 0)
            continue;
        if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)
            break;
        fail(errno == ENOSPC || errno == EIO || errno == EFBIG ? Error::DiskFull
                                                               : Error::PermissionDenied,
             QStringLiteral("%1 を %2 に写せません: %3")
                 .arg(hostSource, hostDestination, QString::fromLocal8Bit(std::strerror(errno))));
    }
#endif
    std::vector<char> buffer(copied ? 0 : std::size_t(4) << 20);
    while (!copied) {
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
    if (flush && !flushToMedium(out))
        fail(Error::DiskFull, QStringLiteral("%1 をディスクに書き込めません: %2")
                                  .arg(hostDestination, out.errorString()));
}

} // namespace

void copyAndFlush(const QString& hostSource, const QString& hostDestination)
{
    copy(hostSource, hostDestination, true);
}

void copyBytes(const QString& hostSource, const QString& hostDestination)
{
    copy(hostSource, hostDestination, false);
}

void flushFile(const QString& hostPath)
{
    QFile file(hostPath);
    if (!file.open(QIODevice::ReadWrite) || !flushToMedium(file))
        throw Error(
            Error::DiskFull,
            QStringLiteral("%1 をディスクに書き込めません: %2").arg(hostPath, file.errorString()));
}

void replaceFile(const QString& hostFrom, const QString& hostTo)
{
#ifdef Q_OS_WIN
    const bool renamed = MoveFileExW(reinterpret_cast<const wchar_t*>(hostFrom.utf16()),
                                     reinterpret_cast<const wchar_t*>(hostTo.utf16()),
                                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    const QString reason = renamed ? QString() : QStringLiteral("MoveFileEx failed");
#else
    const bool renamed = ::rename(QFile::encodeName(hostFrom).constData(),
                                  QFile::encodeName(hostTo).constData()) == 0;
    const QString reason = renamed ? QString() : QString::fromLocal8Bit(std::strerror(errno));
#endif
    if (!renamed)
        throw Error(Error::DeviceIO,
                    QStringLiteral("%1 を %2 に置けません: %3").arg(hostFrom, hostTo, reason));
}

} // namespace platform
