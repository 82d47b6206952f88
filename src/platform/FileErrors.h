#pragma once

#include <QString>

class QFileDevice;

namespace platform {

// Why a file could not be read or written, the way the operator is told: a
// number in the runtime's numbering (61 disk full, 70 permission denied,
// 71 disk not ready, 76 path not found, 57 any other device error) and a
// Japanese reason that says what to do. Never the system's own English text.
struct FileFailure
{
    int number;
    QString reason;
};

// From the system's error code (errno) of the call that failed.
FileFailure fileFailure(int systemError);

// From a Qt file that failed: the system's code where Qt kept it, else what
// Qt's error kind says.
FileFailure fileFailure(const QFileDevice& file);

// A host path in the form the operator knows it: the drive letter that maps
// to the folder holding it ("f:\list.csv"), else the removable drive's mount
// point, else the host path itself.
QString windowsPathOf(const QString& hostPath);

} // namespace platform
