#pragma once

#include <QString>
#include <exception>
#include <string>

namespace platform {

// An error raised by a platform piece or by the tool's own checks. It carries a
// number in the Windows runtime's numbering where one applies (9 for a subscript
// out of range, 53 for a missing file), so the standard error report can name it
// the way operators and the support desk know it.
class Error : public std::exception
{
public:
    enum Number
    {
        Generic = 5, // invalid procedure call
        OutOfMemory = 7,
        SubscriptOutOfRange = 9,
        FileNotFound = 53,
        FileAlreadyOpen = 55,
        DeviceIO = 57, // a write the device refused, other than for want of space
        FileAlreadyExists = 58,
        DiskFull = 61,
        DiskNotReady = 71,
        PermissionDenied = 70,
        PathNotFound = 76,
        ObjectClosed = 3704,  // operation not allowed when the object is closed
        ObjectOpen = 3705,    // operation not allowed when the object is open
        ItemNotFound = 3265,  // no field at that position
        Engine = -2147467259, // the database engine's own failure
    };

    // What went wrong, set where the failure is first seen, for the callers
    // that act on it: the number keeps the designed engine's numbering and
    // the description is for the operator, so neither is read to decide.
    enum class Cause
    {
        Other,
        // Another program held its lock past the bounded wait: worth trying
        // again later, unlike a damaged file.
        LockTimeout,
        // The medium has no room left for what was written.
        DiskFull,
        // The medium is not there: a pulled stick, a mount point without
        // its volume.
        MediumNotReady,
        // The medium or the file refuses writing: a locked stick, a file
        // marked read-only.
        WriteProtected,
        // The file to be copied or read could not be read; said already
        // with the path the operator knows.
        SourceUnreadable,
        // The file or its folder does not exist.
        NotFound,
        // Any other failure of the device.
        DeviceFailure,
    };

    Error(int number, QString description, Cause cause = Cause::Other);

    int number() const { return m_number; }
    Cause cause() const { return m_cause; }
    const QString& description() const { return m_description; }
    const char* what() const noexcept override { return m_utf8.c_str(); }

private:
    int m_number;
    Cause m_cause;
    QString m_description;
    std::string m_utf8;
};

} // namespace platform
