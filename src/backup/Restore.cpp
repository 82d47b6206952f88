#include "backup/DriveBackup.h"

#include "backup/BackupErrors.h"
#include "backup/CopySteps.h"
#include "backup/MediumChecks.h"
#include "db/Schema.h"
#include "db/db.h"
#include "engine/Connection.h"
#include "engine/DatabaseFiles.h"
#include "platform/Drives.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/WinPath.h"

#include <QFileInfo>
#include <QStorageInfo>
#include <exception>
#include <memory>
#include <new>

using namespace backup;

namespace {

const QString safetySuffix = QStringLiteral(".before-restore");

// Puts the checked staging file's content in place of the install database.
void replaceLive(const QString& target, const QString& staging)
{
    const QString safety = target + safetySuffix;
    const QString safetyPartial = partialName(safety);
    engine::Connection* live = db_connection_on(target);
    const bool shared = live != nullptr;
    std::unique_ptr<engine::Connection> own;
    if (!live && QFileInfo(target).isFile()) {
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
            reopenOnFailure.armed = shared;
            engine::removeCompanionFiles(target);
        } else if (QFileInfo(target).isFile()) {
            platform::copyAndFlush(target, safetyPartial);
            putInPlace(safetyPartial, safety);
            // Beside the byte copy a journal still rolls that copy back.
            engine::moveCompanionFiles(target, safety);
        }
        putInPlace(staging, target);
    }
    // db_connection goes on with the restored file even when it was closed,
    // open on the "(x86)" twin, or open on the file that was replaced.
    if (!inPlace || !shared) {
        own.reset();
        db_reopen();
    }
}

// Reads the drive's file once, into the install folder: what is checked is
// what goes in, and a stick pulled from then on changes nothing. A file the
// engine reads is read under its lock, so that a program writing it cannot
// hand over a torn copy; one it cannot read is copied for the check to
// refuse.
void restoreFromFile(const QString& driveText, const QString& driveFile, const Volume& volume)
{
    const QString installPath = installDatabasePath();
    const QString target = platform::hostPath(installPath);
    const QString staging = partialName(target);
    const QString unreadable = QStringLiteral("%1 を読み取れません。").arg(driveFile);
    const QString unwritable = QStringLiteral("%1 に書き込めません。").arg(installPath);
    if (!QFileInfo(folderOf(target)).isDir())
        throw failure(ENOENT, unwritable);
    refuseRestoreFromInstallFolder(platform::hostPath(driveFile), driveFile);
    const PartialFiles partials{staging, partialName(target + safetySuffix)};

    const QString source = platform::hostPath(driveFile);
    // What is read must be the file on the volume that was checked, not one
    // in the folder a stick pulled since then left behind.
    requireOnVolume(source, volume, unreadable);
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
        if (causeOf(e) == platform::Error::Cause::DiskFull || noRoom)
            throw failure(ENOSPC, unwritable);
        // Said already, as the operator knows the stick's file.
        if (e.cause() == platform::Error::Cause::SourceUnreadable)
            throw e;
        if (e.number() != platform::Error::Engine)
            throw failure(systemErrorOf(e), unwritable);
        // The engine does not say which side failed.
        throw failure(EIO,
                      QStringLiteral("%1 を %2 にコピーできません。").arg(driveFile, installPath));
    }
    requireOnVolume(source, volume, unreadable);
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
        // A full disk, the engine's included, is said as such.
        throw failure(systemErrorOf(e), unwritable);
    }
}

} // namespace

RestoreResult restoreDatabase(const QString& driveText)
{
    try {
        const QString driveFile = driveDatabasePath(driveText);
        // A folder left behind by a pulled stick may hold an old file that
        // was never on the stick.
        if (!platform::driveIsMounted(driveText))
            throw failure(noMedium, QStringLiteral("%1 を読み取れません。").arg(driveFile));
        const Volume volume = volumeOf(folderOf(platform::hostPath(driveFile)));
        if (!platform::fileExists(driveFile))
            return {RestoreOutcome::NoFileOnDrive, {}};
        restoreFromFile(driveText, driveFile, volume);
        return {RestoreOutcome::Restored, {}};
    } catch (const platform::Error& e) {
        return {RestoreOutcome::Failed, e.description()};
    } catch (const std::bad_alloc&) {
        return {RestoreOutcome::Failed, QStringLiteral("メモリが不足しています。")};
    } catch (const std::exception& e) {
        return {RestoreOutcome::Failed, QString::fromUtf8(e.what())};
    }
}
