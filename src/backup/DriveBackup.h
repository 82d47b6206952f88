#pragma once

#include <QString>

// Copies of DB.mdb between the install folder and the root of a drive that
// the operator picks. Each call runs to completion and reports its outcome;
// showing it is the window's business.
//
// Whatever happens on the way (the stick pulled or full, the product writing,
// a wrong file on the stick), neither the install database nor the last good
// backup on the drive is lost or left half-written: every file is written
// under a temporary name, flushed, checked and only then renamed over the
// old one.

enum class BackupSource
{
    Install,    // c:\Program Files\Tavenro\DB.mdb
    InstallX86, // c:\Program Files (x86)\Tavenro\DB.mdb
};

enum class BackupOutcome
{
    Copied,        // <drive>\DB.mdb now holds the database
    SourceMissing, // the source file is not there; nothing was written
};

// The file a drive text names: drive + "\" + "DB.mdb", the text used as the
// drive list reports it.
QString driveDatabasePath(const QString& driveText);

// The temporary names, beside the file each one becomes. A name left by a
// run that was killed is cleared by the next run.
QString partialName(const QString& hostPath);

// Writes a consistent snapshot of the source database to the drive: other
// programs may go on writing it meanwhile. A source the engine cannot read (a
// damaged file, kept for the support desk) is copied byte for byte. Throws
// platform::Error when the copy cannot be made or fails its check; the drive
// then holds its previous DB.mdb and no temporary file. The error names the
// file as the operator knows it (f:\DB.mdb), says why in Japanese and what
// to do, with the runtime's number. Refused before anything is written:
// - a drive whose folder is a mount point left without its volume: disk not
//   ready (71); the folder left behind lies on the system disk;
// - a target that is an install folder or its DB.mdb, however reached (a
//   link, a bind mount, another spelling): permission denied (70);
// - a read-only DB.mdb or medium: permission denied (70), as on Windows;
// - a drive that cannot hold the new copy beside the old one until the
//   rename: disk full (61), with the megabytes needed and free.
BackupOutcome backUpDatabase(BackupSource source, const QString& driveText);

enum class RestoreOutcome
{
    Restored,      // the install database now holds the drive's data
    NoFileOnDrive, // <drive>\DB.mdb is not there; nothing changed
    Failed,        // refused or failed; the install database is as it was
};

struct RestoreResult
{
    RestoreOutcome outcome;
    // Why it failed, in Japanese with the files' Windows paths, for the
    // operator; empty otherwise.
    QString reason;
};

// Replaces the content of c:\Program Files\Tavenro\DB.mdb by <drive>\DB.mdb
// once that file has passed the schema check. The current database is kept
// beside it as DB.mdb.before-restore. db_connection, and every other
// program's connection, stays valid and reads the restored data; when the
// install file was missing or unreadable the new one is put in its place and
// db_connection is opened on it. A drive whose folder is a mount point left
// without its volume fails the restore (not ready), whatever its folder
// holds. Never throws.
RestoreResult restoreDatabase(const QString& driveText);
