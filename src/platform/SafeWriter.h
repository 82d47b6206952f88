#pragma once

#include "platform/FileErrors.h"

#include <QByteArrayView>
#include <QString>
#include <functional>
#include <optional>

class QIODevice;

namespace platform {

// Hands every byte to the device, trying a short write again for the rest, so
// that a full medium ends in a failing call and its reason rather than in a
// silently short file. Returns 0 when the device took all; else the system's
// code of the failure (ENOSPC for a file that took nothing without saying why,
// EIO for a device that is not a file).
int writeEveryByte(QIODevice& device, QByteArrayView bytes);

// The next bytes of what a whole-file write writes, valid until the next call:
// empty at the end, nothing when the source cannot be read.
using ByteSource = std::function<std::optional<QByteArrayView>()>;

// Writes a whole file or nothing. The bytes go to a temporary name beside the
// file, every write's count checked; the file is flushed, checked for an error
// and pushed to the medium, and only then renamed over the old one, whose
// folder is then flushed too. Until the rename the old file stays as it was;
// on a failure the temporary file is removed.
//
// Refused before anything is written, the way Windows refuses it: a missing
// folder, a read-only medium, a file marked read-only (isReadOnlyFile) or a
// folder of that name. A link is followed: the file it names is replaced. A
// device (not a file) is written in place; there is nothing to replace.
//
// Returns nothing when the file was written; else why not, by its cause
// (SourceUnreadable when source said it could not be read).
std::optional<FileFailure> writeWholeFile(const QString& hostPath, const ByteSource& source);
std::optional<FileFailure> writeWholeFile(const QString& hostPath, QByteArrayView bytes);

} // namespace platform
