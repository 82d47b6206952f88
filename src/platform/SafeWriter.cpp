#include "platform/SafeWriter.h"

#include "platform/FileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStorageInfo>

#include <cerrno>

namespace platform {

namespace {

// The file a path names once links are followed, as QSaveFile finds it: a link
// stays a link, and the file it points to is the one replaced.
QString followLinks(const QString& hostPath)
{
    QFileInfo info(hostPath);
    for (int depth = 0; depth < 40 && info.isSymLink(); ++depth)
        info.setFile(info.symLinkTarget());
    return info.absoluteFilePath();
}

// Creates a file of a name no one else uses, beside target.
bool openTemporary(QFile& out, const QString& target)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        out.setFileName(
            QStringLiteral("%1.%2.tmp")
                .arg(target)
                .arg(QRandomGenerator::global()->generate() & 0xffffff, 6, 16, QLatin1Char('0')));
        errno = 0;
        if (out.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
            return true;
        if (errno != EEXIST)
            return false;
    }
    return false;
}

} // namespace

int writeEveryByte(QIODevice& device, QByteArrayView bytes)
{
    auto* file = qobject_cast<QFileDevice*>(&device);
    const char* data = bytes.data();
    qint64 left = bytes.size();
    while (left > 0) {
        errno = 0;
        const qint64 taken = device.write(data, left);
        if (taken > 0) {
            data += taken;
            left -= taken;
            continue;
        }
        if (!file)
            return EIO;
        const int error = errno;
        if (error != 0)
            return error;
        return taken == 0 || file->error() == QFileDevice::ResourceError ? ENOSPC : EIO;
    }
    return 0;
}

std::optional<FileFailure> writeWholeFile(const QString& hostPath, const ByteSource& source)
{
    const QString target = followLinks(hostPath);
    const QFileInfo info(target);
    if (!info.absoluteDir().exists())
        return fileFailure(ENOENT);
    // Said as a read-only medium, not as a temporary name that could not be made.
    if (QStorageInfo(info.absolutePath()).isReadOnly())
        return fileFailure(EROFS);
    if (info.isDir() || isReadOnlyFile(target))
        return fileFailure(EACCES);

    const bool inPlace = info.exists() && !info.isFile();
    QFile out(target);
    errno = 0;
    const bool opened = inPlace ? out.open(QIODevice::WriteOnly | QIODevice::Unbuffered)
                                : openTemporary(out, target);
    if (!opened)
        return fileFailure(out);
    // The new file keeps the old one's permissions.
    if (!inPlace && info.exists())
        out.setPermissions(info.permissions());
    auto fail = [&](const FileFailure& why) {
        out.close();
        if (!inPlace)
            QFile::remove(out.fileName());
        return why;
    };

    for (;;) {
        const std::optional<QByteArrayView> bytes = source();
        if (!bytes) {
            FileFailure why = fileFailure(EIO);
            why.cause = Error::Cause::SourceUnreadable;
            return fail(why);
        }
        if (bytes->isEmpty())
            break;
        if (const int error = writeEveryByte(out, *bytes))
            return fail(fileFailure(error));
    }
    // Qt 6.4's QSaveFile::commit() renames a file into place after its last
    // flush failed: here nothing is renamed until every byte is known to be
    // on the medium. A medium that writes behind its cache (a USB memory)
    // reports a full or failing disk only at the flush to the medium.
    errno = 0;
    if (!out.flush() || out.error() != QFileDevice::NoError)
        return fail(fileFailure(out));
    if (!flushToMedium(out)) {
        const int error = errno;
        return fail(fileFailure(error));
    }
    out.close();
    if (out.error() != QFileDevice::NoError)
        return fail(fileFailure(out));
    if (inPlace)
        return std::nullopt;
    if (const int error = renameOver(out.fileName(), target))
        return fail(fileFailure(error));
    // The new name on the medium too, so that a pulled stick or a power cut
    // finds the old file or the new one.
    if (!flushFolder(info.absolutePath())) {
        const int error = errno;
        return fileFailure(error);
    }
    return std::nullopt;
}

std::optional<FileFailure> writeWholeFile(const QString& hostPath, QByteArrayView bytes)
{
    bool given = false;
    return writeWholeFile(hostPath, [&]() -> std::optional<QByteArrayView> {
        if (given)
            return QByteArrayView();
        given = true;
        return bytes;
    });
}

} // namespace platform
