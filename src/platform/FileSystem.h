#pragma once

#include <QString>

class QFileDevice;

namespace platform {

// The two file operations the tool uses, on Windows paths.

// True when a file of that path exists; a missing folder or drive gives false.
bool fileExists(const QString& windowsPath);

// Copies one file, whole or not at all (writeWholeFile), so a failure (source
// missing, medium full or removed, destination not writable) leaves any
// earlier destination file as it was. Throws platform::Error.
void copyFile(const QString& sourceWindowsPath, const QString& destinationWindowsPath,
              bool overwrite);

// Pushes what was written to an open file down to the medium (fsync), so a
// later rename cannot expose a file whose bytes are still only in memory; a
// medium that writes behind its cache (a USB memory) reports a full or failing
// disk only here. True for a device with nothing to push out (a pipe, a
// special file). False, with errno telling why, when it cannot.
bool flushToMedium(QFileDevice& file);
// The same for a folder's entries, so a rename inside it survives a power cut
// or a pulled stick. Does nothing where folders cannot be flushed. False,
// with errno telling why, when it cannot.
bool flushFolder(const QString& hostFolder);

// Copies the bytes of one host file to another, created or emptied, and
// flushes the copy to the medium. Throws platform::Error (61 for a failed
// write or flush); a partial copy is removed.
void copyAndFlush(const QString& hostSource, const QString& hostDestination);
// The same without the flush, for a caller that flushes later, outside a lock
// it holds for the copy. Throws platform::Error; a partial copy is removed.
void copyBytes(const QString& hostSource, const QString& hostDestination);
// Flushes a written file to the medium. Throws platform::Error (61).
void flushFile(const QString& hostPath);

// True when both host paths name one file or folder of the file system (the
// same device and inode), however they are spelt: a link, a bind mount, a
// second spelling. False when either is missing.
bool sameNode(const QString& hostA, const QString& hostB);

// True when the file is read-only as Windows sees it: its permission bits deny
// this user writing it, the way Windows' read-only mark refuses an overwrite.
// As root, whom the system lets write anything, a file with no write bit at
// all counts as read-only. The tool's one rule for refusing to replace a file.
bool isReadOnlyFile(const QString& hostPath);

// Gives hostFrom the name hostTo in one step of the file system, replacing a
// file of that name: a reader finds the old file or the new one, never
// neither and never a mix. Both must lie in the same folder. Throws
// platform::Error; hostFrom is then left where it was.
void replaceFile(const QString& hostFrom, const QString& hostTo);
// The same, giving the system's code of a failure (0 when renamed).
int renameOver(const QString& hostFrom, const QString& hostTo);

} // namespace platform
