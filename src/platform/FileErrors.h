#pragma once

#include "platform/Error.h"

#include <QString>

class QFileDevice;

namespace platform {

// Why a file could not be read or written, the way the operator is told: a
// number in the runtime's numbering (61 disk full, 70 permission denied,
// 71 disk not ready, 76 path not found, 57 any other device error) and a
// Japanese reason that says what to do. Never the system's own English text.
// The cause is what a caller acts on.
struct FileFailure
{
    int number;
    QString reason;
    Error::Cause cause = Error::Cause::Other;

    // The error that says what could not be done, then why.
    Error error(const QString& what) const;
};

// From the system's error code (errno) of the call that failed.
FileFailure fileFailure(int systemError);

// From a Qt file whose last call failed, asked right after it: the system's
// code that call left behind, else what Qt's error kind says.
FileFailure fileFailure(const QFileDevice& file);

// A host path in the form the operator knows it: the drive letter that maps
// to the folder holding it ("f:\list.csv"), else the removable drive's mount
// point, else the host path itself.
QString windowsPathOf(const QString& hostPath);

} // namespace platform
