#include "maintenance/RosterMaintenance.h"

#include "platform/Error.h"

void checkOutAllStudents()
{
    throw platform::Error(platform::Error::Generic, QStringLiteral("未実装です。"));
}

void deleteAllStudents()
{
    throw platform::Error(platform::Error::Generic, QStringLiteral("未実装です。"));
}
