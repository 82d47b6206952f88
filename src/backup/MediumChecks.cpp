#include "backup/MediumChecks.h"

#include "backup/BackupErrors.h"
#include "backup/CopySteps.h"
#include "db/db.h"
#include "platform/Error.h"
#include "platform/FileErrors.h"
#include "platform/FileSystem.h"
#include "platform/WinPath.h"

#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace backup {

namespace {

QString megabytes(qint64 bytes)
{
    return QString::number(double(bytes) / (1024.0 * 1024.0), 'f', 1);
}

#ifndef Q_OS_WIN
// Whether an open file lies on the volume; true when the volume is unknown.
bool onVolume(int fd, const Volume& volume)
{
    struct stat st
    {};
    return !volume.known || (::fstat(fd, &st) == 0 && quint64(st.st_dev) == volume.device);
}
#endif

} // namespace

Volume volumeOf(const QString& folder)
{
#ifndef Q_OS_WIN
    struct stat st
    {};
    if (::stat(QFile::encodeName(folder).constData(), &st) == 0)
        return {quint64(st.st_dev), true};
#else
    Q_UNUSED(folder);
#endif
    return {};
}

void requireOnVolume(const QString& hostPath, const Volume& volume, const QString& what)
{
#ifndef Q_OS_WIN
    const int fd = ::open(QFile::encodeName(hostPath).constData(), O_RDONLY | O_CLOEXEC);
    // Gone with its volume or with its folder; any other refusal is said by
    // the step that uses the file.
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            throw failure(noMedium, what);
        return;
    }
    const bool same = onVolume(fd, volume);
    ::close(fd);
    if (!same)
        throw failure(noMedium, what);
#else
    Q_UNUSED(hostPath);
    Q_UNUSED(volume);
    Q_UNUSED(what);
#endif
}

qint64 roomFor(qint64 bytes, qint64 blockSize)
{
    const qint64 block = std::max<qint64>(blockSize, 512);
    const qint64 blocks = (bytes + block - 1) / block;
    return (blocks + blocks / (block / 4) + 4) * block;
}

void checkRoom(const QString& folder, const QString& target, const QString& windowsTarget,
               qint64 bytes)
{
    const QStorageInfo volume(folder);
    if (!volume.isValid())
        return;
    const qint64 needed = roomFor(bytes, volume.blockSize());
    const qint64 available = volume.bytesAvailable();
    if (available < 0 || available >= needed)
        return;
    const QFileInfo old(target);
    const qint64 block = std::max<qint64>(volume.blockSize(), 512);
    const qint64 freedByMoving =
        old.isFile() ? (old.size() + block - 1) / block * block : qint64(0);
    QString text = QStringLiteral("%1 に書き込めません。\nＵＳＢメモリの空き領域が足りません。"
                                  "新しいバックアップには %2 MB 必要ですが、空きは %3 MB です。\n")
                       .arg(windowsTarget, megabytes(needed), megabytes(available));
    if (freedByMoving > 0 && available + freedByMoving >= needed)
        text += QStringLiteral("新しいバックアップは、書き終わるまで今の %1 と並べて置かれます。"
                               "今の %1 を別の場所へ移すか、容量の大きいＵＳＢメモリを"
                               "使ってください。")
                    .arg(windowsTarget);
    else if (volume.bytesTotal() > 0 && volume.bytesTotal() < needed)
        text +=
            QStringLiteral("このＵＳＢメモリは全体でも %1 MB しかなく、バックアップが入りません。"
                           "容量の大きいＵＳＢメモリを使ってください。")
                .arg(megabytes(volume.bytesTotal()));
    else
        text += QStringLiteral("不要なファイルを別の場所へ移すか、容量の大きいＵＳＢメモリを"
                               "使ってください。");
    throw platform::Error(platform::Error::DiskFull, text, platform::Error::Cause::DiskFull);
}

void probeWritable(const QString& partial, const Volume& volume, const QString& what)
{
#ifndef Q_OS_WIN
    const int fd = ::open(QFile::encodeName(partial).constData(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        throw failure(errno, what);
    const bool same = onVolume(fd, volume);
    ::close(fd);
    if (!same)
        throw failure(noMedium, what);
#else
    Q_UNUSED(volume);
    QFile probe(partial);
    if (!probe.open(QIODevice::WriteOnly)) {
        const platform::FileFailure f = platform::fileFailure(probe);
        throw platform::Error(f.number, QStringLiteral("%1\n%2").arg(what, f.reason));
    }
#endif
}

void refuseInstallFolder(const QString& target, const QString& windowsTarget)
{
    for (const QString& install : {installDatabasePath(), installDatabasePathX86()}) {
        const QString live = platform::hostPath(install);
        if (platform::sameNode(folderOf(target), folderOf(live)) ||
            platform::sameNode(target, live))
            throw platform::Error(
                platform::Error::PermissionDenied,
                QStringLiteral("%1 に書き込めません。\n%1 はインストールフォルダーの %2 そのもの"
                               "です。バックアップをここに置くと使用中のデータベースが"
                               "置き換わってしまいます。\nＵＳＢメモリのドライブを選び直して"
                               "ください。")
                    .arg(windowsTarget, install));
    }
}

void refuseRestoreFromInstallFolder(const QString& source, const QString& windowsSource)
{
    const QString install = installDatabasePath();
    const QString live = platform::hostPath(install);
    if (platform::sameNode(folderOf(source), folderOf(live)) || platform::sameNode(source, live))
        throw platform::Error(
            platform::Error::PermissionDenied,
            QStringLiteral("%1 から戻せません。\n%1 はインストールフォルダーの %2 そのもの"
                           "です。ここから戻すと使用中のデータベースがそれ自身で置き換わり、"
                           "前回戻す前のデータを残した %2.before-restore も失われます。\n"
                           "ＵＳＢメモリのドライブを選び直してください。")
                .arg(windowsSource, install),
            platform::Error::Cause::WriteProtected);
}

} // namespace backup
