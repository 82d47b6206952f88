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

// Makes the temporary file empty, so that a medium that cannot take a file at
// all is told by the system's own reason before the copy starts.
void probeWritable(const QString& partial, const QString& what);

// The files that hold the live database may never be a backup's target: a
// rename there would put the copy in place of the file the product has open.
// Told by the file system's identity of folder and file, not by their names.
void refuseInstallFolder(const QString& target, const QString& windowsTarget);

} // namespace backup
