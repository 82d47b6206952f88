#include "platform/FileSystem.h"

#include "platform/Error.h"
#include "platform/FileErrors.h"
#include "platform/WinPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
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
    auto failWith = [](const FileFailure& failure, const QString& what) {
        throw Error(failure.number, QStringLiteral("%1\n%2").arg(what, failure.reason));
    };
    const QString unreadable = QStringLiteral("%1 を読み取れません。").arg(sourceWindowsPath);
    const QString unwritable = QStringLiteral("%1 に書き込めません。").arg(destinationWindowsPath);
    if (!in.open(QIODevice::ReadOnly))
        failWith(fileFailure(in), unreadable);
    const QFileInfo target(destination);
    if (!target.dir().exists())
        throw Error(Error::PathNotFound,
                    QStringLiteral("パスが見つかりません: %1").arg(destinationWindowsPath));
    if (target.exists() && !overwrite)
        throw Error(Error::FileAlreadyExists,
                    QStringLiteral("ファイルは既に存在します: %1").arg(destinationWindowsPath));
    if (target.exists() && isReadOnlyFile(destination))
        failWith(fileFailure(EACCES), unwritable);

    QSaveFile out(destination);
    if (!out.open(QIODevice::WriteOnly))
        failWith(fileFailure(out), unwritable);
    QByteArray buffer;
    constexpr qint64 chunk = 1 << 20;
    bool whole = true;
    while (!in.atEnd()) {
        buffer = in.read(chunk);
        if (buffer.isEmpty() && in.error() != QFile::NoError)
            break;
        if (out.write(buffer) != buffer.size()) {
            whole = false;
            break;
        }
    }
    if (in.error() != QFile::NoError) {
        out.cancelWriting();
        failWith(fileFailure(in), unreadable);
    }
    // Qt 6.4's commit() renames the file into place after a short write (the
    // medium filled up, Qt saw no error) or a failed final flush: every byte
    // is written, pushed to the medium and checked before it may.
    const bool flushed = whole && out.error() == QFile::NoError && flushToMedium(out);
    const int flushError = errno;
    if (!flushed || out.error() != QFile::NoError) {
        const FileFailure failure = out.error() != QFile::NoError ? fileFailure(out)
                                    : whole                       ? fileFailure(flushError)
                                                                  : fileFailure(ENOSPC);
        out.cancelWriting();
        failWith(failure, unwritable);
    }
    if (!out.commit())
        failWith(fileFailure(out), unwritable);
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

// Writes all of data to out, which is unbuffered; false, with the system's
// error, when the medium takes less. Qt reports a short write (a full
// medium) with no error of the system's, so the calls are made here.
bool writeAll(QFile& out, const char* data, qint64 size, int* error)
{
#ifdef Q_OS_WIN
    if (out.write(data, size) == size)
        return true;
    *error = out.error() == QFileDevice::ResourceError ? ENOSPC : EIO;
    return false;
#else
    while (size > 0) {
        const ssize_t n = ::write(out.handle(), data, std::size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = n < 0 ? errno : ENOSPC;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
#endif
}

void copy(const QString& hostSource, const QString& hostDestination, bool flush)
{
    // Said the way the operator knows the files; the caller, which knows
    // what the copy is for, may say it better.
    const QString unreadable =
        QStringLiteral("%1 を読み取れません。").arg(windowsPathOf(hostSource));
    const QString unwritable =
        QStringLiteral("%1 に書き込めません。").arg(windowsPathOf(hostDestination));
    auto said = [](const QString& what, const FileFailure& failure) {
        return Error(failure.number, QStringLiteral("%1\n%2").arg(what, failure.reason));
    };
    QFile in(hostSource);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw said(unreadable, fileFailure(in));
    QFile out(hostDestination);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        throw said(unwritable, fileFailure(out));
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
        fail(said(unwritable, fileFailure(errno)));
    }
#endif
    std::vector<char> buffer(copied ? 0 : std::size_t(4) << 20);
    while (!copied) {
        const qint64 got = in.read(buffer.data(), qint64(buffer.size()));
        if (got < 0)
            fail(said(unreadable, fileFailure(in)));
        if (got == 0)
            break;
        int error = 0;
        if (!writeAll(out, buffer.data(), got, &error))
            fail(said(unwritable, fileFailure(error)));
    }
    if (flush && !flushToMedium(out))
        fail(said(unwritable, fileFailure(errno)));
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
        throw Error(failure.number, QStringLiteral("%1 をディスクに書き込めません。\n%2")
                                        .arg(windowsPathOf(hostPath), failure.reason));
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

void replaceFile(const QString& hostFrom, const QString& hostTo)
{
#ifdef Q_OS_WIN
    const bool renamed = MoveFileExW(reinterpret_cast<const wchar_t*>(hostFrom.utf16()),
                                     reinterpret_cast<const wchar_t*>(hostTo.utf16()),
                                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    const int error = renamed ? 0 : EIO;
#else
    const bool renamed = ::rename(QFile::encodeName(hostFrom).constData(),
                                  QFile::encodeName(hostTo).constData()) == 0;
    const int error = errno;
#endif
    if (!renamed) {
        const FileFailure failure = fileFailure(error);
        throw Error(
            failure.number,
            QStringLiteral("%1 を置けません。\n%2").arg(windowsPathOf(hostTo), failure.reason));
    }
}

} // namespace platform
