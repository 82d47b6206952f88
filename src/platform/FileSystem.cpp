#include "platform/FileSystem.h"

#include "platform/Error.h"
#include "platform/FileErrors.h"
#include "platform/SafeWriter.h"
#include "platform/WinPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <vector>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace platform {

namespace {

// A failure to read the file to be copied, said with the reason the system
// gave, acted on as the source's.
FileFailure unreadableSource(FileFailure failure)
{
    failure.cause = Error::Cause::SourceUnreadable;
    return failure;
}

} // namespace

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
                    QStringLiteral("ファイルが見つかりません: %1").arg(sourceWindowsPath),
                    Error::Cause::NotFound);
    const QString unreadable = QStringLiteral("%1 を読み取れません。").arg(sourceWindowsPath);
    const QString unwritable = QStringLiteral("%1 に書き込めません。").arg(destinationWindowsPath);
    errno = 0;
    if (!in.open(QIODevice::ReadOnly))
        throw unreadableSource(fileFailure(in)).error(unreadable);
    const QFileInfo target(destination);
    if (!target.dir().exists())
        throw Error(Error::PathNotFound,
                    QStringLiteral("パスが見つかりません: %1").arg(destinationWindowsPath),
                    Error::Cause::NotFound);
    if (target.exists() && !overwrite)
        throw Error(Error::FileAlreadyExists,
                    QStringLiteral("ファイルは既に存在します: %1").arg(destinationWindowsPath));

    QByteArray buffer;
    std::optional<FileFailure> readFailure;
    const std::optional<FileFailure> failure =
        writeWholeFile(destination, [&]() -> std::optional<QByteArrayView> {
            errno = 0;
            buffer = in.read(qint64(1) << 20);
            if (buffer.isEmpty() && in.error() != QFile::NoError) {
                readFailure = unreadableSource(fileFailure(in));
                return std::nullopt;
            }
            return QByteArrayView(buffer);
        });
    if (readFailure)
        throw readFailure->error(unreadable);
    if (failure)
        throw failure->error(unwritable);
}

bool flushToMedium(QFileDevice& file)
{
    if (!file.flush())
        return false;
    // A device without a handle of the system's has nothing to push out.
    if (file.handle() < 0)
        return true;
#ifdef Q_OS_WIN
    return _commit(file.handle()) == 0;
#else
    if (::fsync(file.handle()) == 0)
        return true;
    // A pipe or a special file has nothing to push out; that is no failure.
    return errno == EINVAL || errno == EROFS || errno == ENOTSUP;
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
    // Said the way the operator knows the files; the caller, which knows
    // what the copy is for, may say it better.
    const QString unreadable =
        QStringLiteral("%1 を読み取れません。").arg(windowsPathOf(hostSource));
    const QString unwritable =
        QStringLiteral("%1 に書き込めません。").arg(windowsPathOf(hostDestination));
    QFile in(hostSource);
    errno = 0;
    if (!in.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw unreadableSource(fileFailure(in)).error(unreadable);
    QFile out(hostDestination);
    errno = 0;
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        throw fileFailure(out).error(unwritable);
    auto fail = [&](const Error& error) {
        out.close();
        QFile::remove(hostDestination);
        throw error;
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
        fail(fileFailure(errno).error(unwritable));
    }
#endif
    std::vector<char> buffer(copied ? 0 : std::size_t(4) << 20);
    while (!copied) {
        errno = 0;
        const qint64 got = in.read(buffer.data(), qint64(buffer.size()));
        if (got < 0)
            fail(unreadableSource(fileFailure(in)).error(unreadable));
        if (got == 0)
            break;
        if (const int error = writeEveryByte(out, QByteArrayView(buffer.data(), got)))
            fail(fileFailure(error).error(unwritable));
    }
    if (flush && !flushToMedium(out))
        fail(fileFailure(errno).error(unwritable));
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
    const bool opened = file.open(QIODevice::ReadWrite);
    if (!opened || !flushToMedium(file)) {
        const FileFailure failure = opened ? fileFailure(errno) : fileFailure(file);
        throw failure.error(
            QStringLiteral("%1 をディスクに書き込めません。").arg(windowsPathOf(hostPath)));
    }
}

bool sameNode(const QString& hostA, const QString& hostB)
{
#ifdef Q_OS_WIN
    const QString a = QFileInfo(hostA).canonicalFilePath();
    return !a.isEmpty() &&
           a.compare(QFileInfo(hostB).canonicalFilePath(), Qt::CaseInsensitive) == 0;
#else
    struct stat a
    {};
    struct stat b
    {};
    return ::stat(QFile::encodeName(hostA).constData(), &a) == 0 &&
           ::stat(QFile::encodeName(hostB).constData(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
#endif
}

bool isReadOnlyFile(const QString& hostPath)
{
#ifdef Q_OS_WIN
    const QFileInfo info(hostPath);
    return info.exists() && !info.isWritable();
#else
    struct stat st
    {};
    if (::stat(QFile::encodeName(hostPath).constData(), &st) != 0)
        return false;
    const uid_t user = ::geteuid();
    if (user == 0)
        return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    if (user == st.st_uid)
        return (st.st_mode & S_IWUSR) == 0;
    // The system's own test, for the group and the rest.
    return ::access(QFile::encodeName(hostPath).constData(), W_OK) != 0;
#endif
}

int renameOver(const QString& hostFrom, const QString& hostTo)
{
#ifdef Q_OS_WIN
    const bool renamed = MoveFileExW(reinterpret_cast<const wchar_t*>(hostFrom.utf16()),
                                     reinterpret_cast<const wchar_t*>(hostTo.utf16()),
                                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    return renamed ? 0 : EIO;
#else
    const bool renamed = ::rename(QFile::encodeName(hostFrom).constData(),
                                  QFile::encodeName(hostTo).constData()) == 0;
    return renamed ? 0 : errno;
#endif
}

void replaceFile(const QString& hostFrom, const QString& hostTo)
{
    if (const int error = renameOver(hostFrom, hostTo))
        throw fileFailure(error).error(
            QStringLiteral("%1 を置けません。").arg(windowsPathOf(hostTo)));
}

} // namespace platform
