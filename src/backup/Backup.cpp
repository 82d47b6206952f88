#include "backup/DriveBackup.h"

#include "backup/BackupErrors.h"
#include "backup/CopySteps.h"
#include "backup/MediumChecks.h"
#include "db/Schema.h"
#include "db/db.h"
#include "engine/Connection.h"
#include "platform/Drives.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/WinPath.h"

#include <QFileInfo>
#include <QStorageInfo>
#include <memory>

using namespace backup;

namespace {

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
    const Volume volume = volumeOf(folder);
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
    probeWritable(partial, volume, what);
    std::unique_ptr<engine::Connection> connection;
    qint64 bytes = 0;
    try {
        connection = openShared(hostSource);
        bytes = sizeOfCopy(connection.get(), hostSource);
    } catch (const platform::Error& e) {
        throw onDrive(e, driveText, folder, bytes, what, sourcePath);
    }
    checkRoom(folder, target, windowsTarget, bytes);
    // The wait for the product's lock may have lasted seconds: a stick pulled
    // meanwhile took the empty file with it, and its folder is left bare.
    requireOnVolume(partial, volume, what);
    try {
        writeCopy(connection.get(), hostSource, partial);
    } catch (const platform::Error& e) {
        throw onDrive(e, driveText, folder, bytes, what, sourcePath);
    }
    requireOnVolume(partial, volume, what);
    try {
        putInPlace(partial, target);
    } catch (const platform::Error& e) {
        throw onDrive(e, driveText, folder, bytes, what, sourcePath);
    }
    return BackupOutcome::Copied;
}
