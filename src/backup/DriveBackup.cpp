#include "DriveBackup.h"

#include "db/Schema.h"
#include "db/db.h"
#include "platform/Connection.h"
#include "platform/DatabaseFormat.h"
#include "platform/Drives.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/WinPath.h"

#include <QFile>
#include <QFileInfo>
#include <exception>
#include <memory>
#include <new>

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

// Gives a finished, flushed temporary file its final name and makes the new
// entry of the folder durable, so that a pulled stick or a power cut finds
// the old file or the new one.
void putInPlace(const QString& partial, const QString& final)
{
    platform::replaceFile(partial, final);
    if (!platform::flushFolder(folderOf(final)))
        throw platform::Error(platform::Error::DeviceIO,
                              QStringLiteral("%1 をディスクに書き込めません。").arg(final));
}

// Opens a database the way the product shares it; null when the engine
// cannot read the file. A file another program holds locked past the wait is
// no damaged file: its bytes may be mid-write, and the program still has it
// open, so the error goes on rather than the bytes being copied or the file
// replaced under it.
std::unique_ptr<platform::Connection> openShared(const QString& hostPath)
{
    auto connection = std::make_unique<platform::Connection>();
    try {
        connection->setMode(platform::Connection::ModeShareDenyNone);
        connection->open(QStringLiteral("Data Source=") + hostPath);
    } catch (const platform::Error& e) {
        if (e.cause() == platform::Error::Cause::LockTimeout)
            throw;
        return nullptr;
    }
    return connection;
}

bool sameFile(const QString& a, const QString& b)
{
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}

// Writes the source to partial: a consistent snapshot of a database the
// engine reads, the bytes as they are of one it cannot. The copy is checked
// before it may replace anything: it must be as sound as its source.
void writeCopy(const QString& source, const QString& partial)
{
    const std::unique_ptr<platform::Connection> connection = openShared(source);
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
    throw platform::Error(
        platform::Error::DeviceIO,
        QStringLiteral("書き込んだ %1 を確かめられません。\n%2").arg(partial, copy.describe()));
}

void throwIfNoFolder(const QString& hostPath, const QString& windowsPath)
{
    if (!QFileInfo(folderOf(hostPath)).isDir())
        throw platform::Error(platform::Error::PathNotFound,
                              QStringLiteral("パスが見つかりません: %1").arg(windowsPath));
}

// A stick pulled from a fixed mount point leaves its folder behind on the
// system disk. Copying there would report a backup the stick does not hold,
// or restore an old file that was never on it; it is a drive that is gone.
void throwIfNotMounted(const QString& driveText, const QString& windowsPath)
{
    if (!platform::driveIsMounted(driveText))
        throw platform::Error(platform::Error::PathNotFound,
                              QStringLiteral("パスが見つかりません: %1").arg(windowsPath));
}

void restoreFromFile(const QString& driveFile)
{
    const QString target = platform::hostPath(installDatabasePath());
    const QString safety = target + safetySuffix;
    const QString staging = partialName(target);
    const QString safetyPartial = partialName(safety);
    throwIfNoFolder(target, installDatabasePath());
    const PartialFiles partials{staging, safetyPartial};

    // The drive's file is read once, into the install folder: what is checked
    // is what goes in, and a stick pulled from here on changes nothing. A file
    // the engine reads is read under its lock, so that a program writing it
    // cannot hand over a torn copy; one it cannot read is copied for the
    // check to refuse.
    if (const std::unique_ptr<platform::Connection> drive = openShared(driveFile))
        drive->snapshotTo(staging);
    else
        platform::copyAndFlush(driveFile, staging);
    const SchemaCheck check = checkSchema(staging);
    if (!check.ok())
        throw platform::Error(platform::Error::Generic, check.describe());

    platform::Connection* live = nullptr;
    std::unique_ptr<platform::Connection> own;
    if (db_connection && db_connection->isOpen() && sameFile(db_connection->filePath(), target)) {
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
    const bool inPlace =
        live && !live->isJet() &&
        platform::detectDatabaseFormat(staging) == platform::DatabaseFormat::Sqlite;

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
    throwIfNotMounted(driveText, windowsTarget);
    const QString target = platform::hostPath(windowsTarget);
    throwIfNoFolder(target, windowsTarget);
    const QString partial = partialName(target);
    const PartialFiles partials{partial};
    writeCopy(platform::hostPath(sourcePath), partial);
    putInPlace(partial, target);
    return BackupOutcome::Copied;
}

RestoreResult restoreDatabase(const QString& driveText)
{
    try {
        const QString driveFile = driveDatabasePath(driveText);
        throwIfNotMounted(driveText, driveFile);
        if (!platform::fileExists(driveFile))
            return {RestoreOutcome::NoFileOnDrive, {}};
        restoreFromFile(platform::hostPath(driveFile));
        return {RestoreOutcome::Restored, {}};
    } catch (const platform::Error& e) {
        return {RestoreOutcome::Failed, e.description()};
    } catch (const std::bad_alloc&) {
        return {RestoreOutcome::Failed, QStringLiteral("メモリが不足しています。")};
    } catch (const std::exception& e) {
        return {RestoreOutcome::Failed, QString::fromUtf8(e.what())};
    }
}
