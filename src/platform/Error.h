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

    // What callers may act on beyond the number, which keeps the designed
    // engine's numbering: a lock that another program held past the bounded
    // wait is worth trying again later, unlike a damaged file.
    enum class Cause
    {
        Other,
        LockTimeout,
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
