#pragma once

#include <QString>

// What the backup asks of a drive before it writes there.
namespace backup {

// What a file of that many bytes takes on a medium: whole blocks, and the
// blocks the file system keeps to find them.
qint64 roomFor(qint64 bytes, qint64 blockSize);

// The old backup stays until the new one is whole beside it: a drive that
// cannot hold both is refused before anything is written.
void checkRoom(const QString& folder, const QString& target, const QString& windowsTarget,
               qint64 bytes);

// The volume a folder lies on, as the checks found it: a stick pulled later
// leaves its folder on the volume below, and a file there is no backup.
struct Volume
{
    quint64 device = 0;
    bool known = false;
};
Volume volumeOf(const QString& folder);

// Throws the pulled stick's error (71) when the file is gone or does not lie
// on that volume, so that nothing more is written to it or taken from it.
void requireOnVolume(const QString& hostPath, const Volume& volume, const QString& what);

// Makes the temporary file empty, so that a medium that cannot take a file at
// all is told by the system's own reason before the copy starts; a file made
// in the folder left by a stick pulled since the checks is told as such.
void probeWritable(const QString& partial, const Volume& volume, const QString& what);

// The files that hold the live database may never be a backup's target: a
// rename there would put the copy in place of the file the product has open.
// Told by the file system's identity of folder and file, not by their names.
void refuseInstallFolder(const QString& target, const QString& windowsTarget);

// A restore reads the drive's file over c:\Program Files\Tavenro\DB.mdb: a
// drive that is that folder would put the live database over itself and the
// safety copy of the last real restore over that copy.
void refuseRestoreFromInstallFolder(const QString& source, const QString& windowsSource);

} // namespace backup
