#include "backup/DriveBackup.h"

#include "db/Schema.h"
#include "db/db.h"
#include "engine/Connection.h"
#include "platform/Drives.h"
#include "platform/Error.h"
#include "platform/FileErrors.h"
#include "platform/FileSystem.h"
#include "platform/WinPath.h"

#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <cerrno>
#include <exception>
#include <memory>
#include <new>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

const QString safetySuffix = QStringLiteral(".before-restore");

QString folderOf(const QString& hostPath)
{
    return QFileInfo(hostPath).absolutePath();
}

// The engine's companions of a database file: a temporary copy killed while
// the engine wrote it may have left them, and they must not outlive it.
void removeWithCompanions(const QString& hostPath)
{
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
        QFile::remove(hostPath + QLatin1String(suffix));
}

// Removes the temporary files named when it goes, whatever ended the run.
class PartialFiles
{
public:
    explicit PartialFiles(std::initializer_list<QString> paths) : m_paths(paths)
    {
        for (const QString& p : m_paths)
            removeWithCompanions(p);
    }
    ~PartialFiles()
    {
        for (const QString& p : m_paths)
            removeWithCompanions(p);
    }
    PartialFiles(const PartialFiles&) = delete;
    PartialFiles& operator=(const PartialFiles&) = delete;

private:
    QList<QString> m_paths;
};

#ifdef ENOMEDIUM
constexpr int noMedium = ENOMEDIUM;
#else
constexpr int noMedium = ENODEV;
#endif

// An error as the operator is told it: what could not be done, with the
// Windows path, then why and what to do, with the runtime's number.
platform::Error failure(int systemError, const QString& what)
{
    const platform::FileFailure f = platform::fileFailure(systemError);
    return platform::Error(f.number, QStringLiteral("%1\n%2").arg(what, f.reason));
}

// The system error that a runtime number stands for, to say it again with
// the path the operator knows instead of a host or temporary name.
int systemErrorOf(int number)
{
    switch (number) {
    case platform::Error::DiskFull:
        return ENOSPC;
    case platform::Error::PermissionDenied:
        return EACCES;
    case platform::Error::DiskNotReady:
        return noMedium;
    case platform::Error::PathNotFound:
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
        platform::Error::Cause::LockTimeout);
}

// Gives a finished, flushed temporary file its final name and makes the new
// entry of the folder durable, so that a pulled stick or a power cut finds
// the old file or the new one.
void putInPlace(const QString& partial, const QString& final)
{
    platform::replaceFile(partial, final);
    if (!platform::flushFolder(folderOf(final))) {
        const int error = errno;
        throw failure(
            error,
            QStringLiteral("%1 をディスクに書き込めません。").arg(platform::windowsPathOf(final)));
    }
}

// Opens a database the way the product shares it; null when the engine
// cannot read the file. A file another program holds locked past the wait is
// no damaged file: its bytes may be mid-write, and the program still has it
// open, so the error goes on rather than the bytes being copied or the file
// replaced under it.
std::unique_ptr<engine::Connection> openShared(const QString& hostPath)
{
    auto connection = std::make_unique<engine::Connection>();
    try {
        connection->setMode(engine::Connection::ModeShareDenyNone);
        connection->open(QStringLiteral("Data Source=") + hostPath);
    } catch (const platform::Error& e) {
        if (e.cause() == platform::Error::Cause::LockTimeout)
            throw;
        return nullptr;
    }
    return connection;
}

// The bytes a copy of the source takes: the engine's pages of a database it
// reads (its log may hold pages the file does not yet), else the file.
qint64 sizeOfCopy(engine::Connection* connection, const QString& source)
{
    qint64 bytes = QFileInfo(source).size();
    if (!connection)
        return bytes;
    try {
        bytes = std::max(bytes, connection->contentBytes());
    } catch (const platform::Error& e) {
        if (e.cause() == platform::Error::Cause::LockTimeout)
            throw;
    }
    return bytes;
}

// What a file of that many bytes takes on a medium: whole blocks, and the
// blocks the file system keeps to find them.
qint64 roomFor(qint64 bytes, qint64 blockSize)
{
    const qint64 block = std::max<qint64>(blockSize, 512);
    const qint64 blocks = (bytes + block - 1) / block;
    return (blocks + blocks / (block / 4) + 4) * block;
}

QString megabytes(qint64 bytes)
{
    return QString::number(double(bytes) / (1024.0 * 1024.0), 'f', 1);
}

// The old backup stays until the new one is whole beside it: a drive that
// cannot hold both is refused before anything is written.
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
    const bool old = QFileInfo(target).isFile();
    QString text = QStringLiteral("%1 に書き込めません。\nＵＳＢメモリの空き領域が足りません。"
                                  "新しいバックアップには %2 MB 必要ですが、空きは %3 MB です。\n")
                       .arg(windowsTarget, megabytes(needed), megabytes(available));
    text += old ? QStringLiteral("新しいバックアップは、書き終わるまで今の %1 と並べて置かれます。"
                                 "今の %1 を別の場所へ移すか、容量の大きいＵＳＢメモリを"
                                 "使ってください。")
                      .arg(windowsTarget)
                : QStringLiteral("不要なファイルを別の場所へ移すか、容量の大きいＵＳＢメモリを"
                                 "使ってください。");
    throw platform::Error(platform::Error::DiskFull, text);
}

// Makes the temporary file empty, so that a medium that cannot take a file at
// all is told by the system's own reason before the copy starts.
void probeWritable(const QString& partial, const QString& what)
{
#ifndef Q_OS_WIN
    const int fd = ::open(QFile::encodeName(partial).constData(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        throw failure(errno, what);
    ::close(fd);
#else
    QFile probe(partial);
    if (!probe.open(QIODevice::WriteOnly)) {
        const platform::FileFailure f = platform::fileFailure(probe);
        throw platform::Error(f.number, QStringLiteral("%1\n%2").arg(what, f.reason));
    }
#endif
}

// Writes the source to partial: a consistent snapshot of a database the
// engine reads, the bytes as they are of one it cannot. The copy is checked
// before it may replace anything: it must be as sound as its source.
void writeCopy(engine::Connection* connection, const QString& source, const QString& partial)
{
    if (!connection) {
        platform::copyAndFlush(source, partial);
        return;
    }
    connection->snapshotTo(partial);
    connection->close();
    const SchemaCheck copy = checkSchema(partial);
    if (copy.ok())
        return;
    // A source that fails the same check is copied as it is: the support
    // desk may want the damaged file. A sound source with a bad copy means
    // the medium lost bytes.
    if (!checkSchema(source).ok())
        return;
    throw platform::Error(platform::Error::DeviceIO,
                          QStringLiteral("書き込んだコピーを確かめられません。"));
}

// Says a failed write to the drive the way the operator can act on it. The
// medium is looked at again: a stick pulled or locked meanwhile is told as
// such, whatever the call that met it reported.
platform::Error onDrive(const platform::Error& e, const QString& driveText, const QString& folder,
                        qint64 bytes, const QString& what, const QString& sourceWindowsPath)
{
    if (e.cause() == platform::Error::Cause::LockTimeout)
        return lockFailure(what, sourceWindowsPath);
    // The source itself could not be read: that is said already.
    if (e.description().startsWith(sourceWindowsPath + QStringLiteral(" を読み取れません")))
        return e;
    if (!platform::driveIsMounted(driveText) || !QFileInfo(folder).isDir())
        return failure(noMedium, what);
    const QStorageInfo volume(folder);
    if (volume.isReadOnly())
        return failure(EROFS, what);
    if (e.number() == platform::Error::Engine) {
        // The engine says "full" in its own words.
        const bool full = engine::Connection::saysDiskFull(e);
        if (full || (volume.bytesAvailable() >= 0 &&
                     volume.bytesAvailable() < roomFor(bytes, volume.blockSize())))
            return failure(ENOSPC, what);
        return failure(EIO, what);
    }
    return failure(systemErrorOf(e.number()), what);
}

// The files that hold the live database may never be a backup's target: a
// rename there would put the copy in place of the file the product has open.
// Told by the file system's identity of folder and file, not by their names.
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

bool engineSaysFull(const platform::Error& e)
{
    return engine::Connection::saysDiskFull(e);
}

// Puts the checked staging file's content in place of the install database.
void replaceLive(const QString& target, const QString& staging)
{
    const QString safety = target + safetySuffix;
    const QString safetyPartial = partialName(safety);
    engine::Connection* live = nullptr;
    std::unique_ptr<engine::Connection> own;
    if (db_connection && db_connection->isOpen() &&
        platform::sameNode(db_connection->filePath(), target)) {
        live = db_connection.get();
    } else if (QFileInfo(target).isFile()) {
        own = openShared(target);
        live = own.get();
    }
    // Should the new file fail to take the name once db_connection let go of
    // the old one, the tool goes on with the old one.
    struct ReopenOnFailure
    {
        bool armed = false;
        int exceptions = std::uncaught_exceptions();
        ~ReopenOnFailure()
        {
            if (armed && std::uncaught_exceptions() > exceptions) {
                try {
                    db_reopen();
                } catch (const platform::Error&) {
                }
            }
        }
    } reopenOnFailure;

    // The engine can pour one of its own files into another in place; a
    // genuine Jet file on either side takes the file's place instead.
    const bool inPlace = live && live->canReplaceFrom(staging);

    if (inPlace) {
        live->snapshotTo(safetyPartial);
        putInPlace(safetyPartial, safety);
        // In one transaction of the engine, through the connection, so that
        // every connection open on the file stays valid.
        live->replaceFrom(staging);
    } else {
        // Missing, unreadable or of the other engine: a new file takes the
        // name. A companion left beside the old file belongs to it: rolled
        // into the new file by the next opener, it would damage it.
        if (live) {
            // The snapshot holds what was committed; the companions hold
            // nothing it lacks.
            live->snapshotTo(safetyPartial);
            putInPlace(safetyPartial, safety);
            live->close();
            reopenOnFailure.armed = live == db_connection.get();
            for (const char* companion : {"-journal", "-wal", "-shm"})
                QFile::remove(target + QLatin1String(companion));
        } else if (QFileInfo(target).isFile()) {
            platform::copyAndFlush(target, safetyPartial);
            putInPlace(safetyPartial, safety);
            // Beside the byte copy a journal still rolls that copy back.
            for (const char* companion : {"-journal", "-wal"}) {
                const QString old = target + QLatin1String(companion);
                if (QFileInfo::exists(old))
                    platform::replaceFile(old, safety + QLatin1String(companion));
            }
            QFile::remove(target + QLatin1String("-shm"));
        }
        putInPlace(staging, target);
    }
    // db_connection goes on with the restored file even when it was closed,
    // open on the "(x86)" twin, or open on the file that was replaced.
    if (!inPlace || live != db_connection.get()) {
        own.reset();
        db_reopen();
    }
}

// Reads the drive's file once, into the install folder: what is checked is
// what goes in, and a stick pulled from then on changes nothing. A file the
// engine reads is read under its lock, so that a program writing it cannot
// hand over a torn copy; one it cannot read is copied for the check to
// refuse.
void restoreFromFile(const QString& driveText, const QString& driveFile)
{
    const QString installPath = installDatabasePath();
    const QString target = platform::hostPath(installPath);
    const QString staging = partialName(target);
    const QString unreadable = QStringLiteral("%1 を読み取れません。").arg(driveFile);
    const QString unwritable = QStringLiteral("%1 に書き込めません。").arg(installPath);
    if (!QFileInfo(folderOf(target)).isDir())
        throw failure(ENOENT, unwritable);
    const PartialFiles partials{staging, partialName(target + safetySuffix)};

    const QString source = platform::hostPath(driveFile);
    try {
        if (const std::unique_ptr<engine::Connection> drive = openShared(source))
            drive->snapshotTo(staging);
        else
            platform::copyAndFlush(source, staging);
    } catch (const platform::Error& e) {
        if (e.cause() == platform::Error::Cause::LockTimeout)
            throw lockFailure(unreadable, driveFile);
        if (!platform::driveIsMounted(driveText) || !QFileInfo(source).isFile())
            throw failure(noMedium, unreadable);
        const QStorageInfo volume(folderOf(target));
        const bool noRoom =
            volume.bytesAvailable() >= 0 &&
            volume.bytesAvailable() < roomFor(QFileInfo(source).size(), volume.blockSize());
        if (e.number() == platform::Error::DiskFull || engineSaysFull(e) || noRoom)
            throw failure(ENOSPC, unwritable);
        // Said already, as the operator knows the stick's file.
        if (e.description().startsWith(unreadable))
            throw e;
        if (e.number() != platform::Error::Engine)
            throw failure(systemErrorOf(e.number()), unwritable);
        // The engine does not say which side failed.
        throw failure(EIO,
                      QStringLiteral("%1 を %2 にコピーできません。").arg(driveFile, installPath));
    }
    const SchemaCheck check = checkSchema(staging);
    if (!check.ok()) {
        const QString why =
            check.missing.isEmpty()
                ? QStringLiteral("壊れているか、データベースのファイルではありません。")
                : QStringLiteral("必要な表または列がありません: %1")
                      .arg(check.missing.join(QStringLiteral(", ")));
        throw platform::Error(platform::Error::Generic,
                              QStringLiteral("%1 は Tavenro のデータベースとして使えません。\n%2\n"
                                             "同じ Tavenro のバージョンで保存した DB.mdb か"
                                             "確かめてください。")
                                  .arg(driveFile, why));
    }
    try {
        replaceLive(target, staging);
    } catch (const platform::Error& e) {
        if (e.cause() == platform::Error::Cause::LockTimeout)
            throw lockFailure(unwritable, installPath);
        if (engineSaysFull(e))
            throw failure(ENOSPC, unwritable);
        throw failure(systemErrorOf(e.number()), unwritable);
    }
}

} // namespace

QString driveDatabasePath(const QString& driveText)
{
    return driveText + QLatin1Char('\\') + databaseFile;
}

QString partialName(const QString& hostPath)
{
    return hostPath + QStringLiteral(".tmp");
}

BackupOutcome backUpDatabase(BackupSource source, const QString& driveText)
{
    const QString sourcePath =
        source == BackupSource::Install ? installDatabasePath() : installDatabasePathX86();
    if (!platform::fileExists(sourcePath))
        return BackupOutcome::SourceMissing;
    const QString windowsTarget = driveDatabasePath(driveText);
    const QString what = QStringLiteral("%1 に書き込めません。").arg(windowsTarget);
    // A stick pulled from a fixed mount point leaves its folder behind on the
    // system disk: a copy there would report a backup the stick does not hold.
    if (!platform::driveIsMounted(driveText))
        throw failure(noMedium, what);
    const QString target = platform::hostPath(windowsTarget);
    const QString folder = folderOf(target);
    if (!QFileInfo(folder).isDir())
        throw failure(ENOENT, what);
    refuseInstallFolder(target, windowsTarget);
    // As Windows would: a read-only medium or file is not written over, even
    // by a user the system would let do it.
    if (QStorageInfo(folder).isReadOnly())
        throw failure(EROFS, what);
    if (platform::isReadOnlyFile(target))
        throw platform::Error(platform::Error::PermissionDenied,
                              QStringLiteral("%1\n%2 は読み取り専用のため、上書きできません。"
                                             "読み取り専用の設定を外すか、別の場所へ移してから"
                                             "もう一度お試しください。")
                                  .arg(what, windowsTarget));

    const QString hostSource = platform::hostPath(sourcePath);
    const QString partial = partialName(target);
    const PartialFiles partials{partial};
    probeWritable(partial, what);
    std::unique_ptr<engine::Connection> connection;
    qint64 bytes = 0;
    try {
        connection = openShared(hostSource);
        bytes = sizeOfCopy(connection.get(), hostSource);
    } catch (const platform::Error& e) {
        throw onDrive(e, driveText, folder, bytes, what, sourcePath);
    }
    checkRoom(folder, target, windowsTarget, bytes);
    try {
        writeCopy(connection.get(), hostSource, partial);
        putInPlace(partial, target);
    } catch (const platform::Error& e) {
        throw onDrive(e, driveText, folder, bytes, what, sourcePath);
    }
    return BackupOutcome::Copied;
}

RestoreResult restoreDatabase(const QString& driveText)
{
    try {
        const QString driveFile = driveDatabasePath(driveText);
        // A folder left behind by a pulled stick may hold an old file that
        // was never on the stick.
        if (!platform::driveIsMounted(driveText))
            throw failure(noMedium, QStringLiteral("%1 を読み取れません。").arg(driveFile));
        if (!platform::fileExists(driveFile))
            return {RestoreOutcome::NoFileOnDrive, {}};
        restoreFromFile(driveText, driveFile);
        return {RestoreOutcome::Restored, {}};
    } catch (const platform::Error& e) {
        return {RestoreOutcome::Failed, e.description()};
    } catch (const std::bad_alloc&) {
        return {RestoreOutcome::Failed, QStringLiteral("メモリが不足しています。")};
    } catch (const std::exception& e) {
        return {RestoreOutcome::Failed, QString::fromUtf8(e.what())};
    }
}
