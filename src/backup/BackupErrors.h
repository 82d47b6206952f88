#pragma once

#include "platform/Error.h"

#include <QString>
#include <cerrno>

// How a failed backup or restore is told: the file as the operator knows it
// (f:\DB.mdb), then why and what to do, with the runtime's number.
namespace backup {

#ifdef ENOMEDIUM
constexpr int noMedium = ENOMEDIUM;
#else
constexpr int noMedium = ENODEV;
#endif

// An error as the operator is told it: what could not be done, with the
// Windows path, then why and what to do, with the runtime's number. Its cause
// is the kind of failure the system error stands for.
platform::Error failure(int systemError, const QString& what);

// What kind of failure an error is: the cause its raiser set, else the kind
// its runtime number stands for.
platform::Error::Cause causeOf(const platform::Error& e);

// The system error that a failure stands for, to say it again with the path
// the operator knows instead of a host or temporary name.
int systemErrorOf(const platform::Error& e);

platform::Error lockFailure(const QString& what, const QString& windowsPath);

// Says a failed write to the drive the way the operator can act on it. The
// medium is looked at again: a stick pulled or locked meanwhile is told as
// such, whatever the call that met it reported.
platform::Error onDrive(const platform::Error& e, const QString& driveText, const QString& folder,
                        qint64 bytes, const QString& what, const QString& sourceWindowsPath);

} // namespace backup
