#include "export/RosterExport.h"

#include "platform/Error.h"

void exportRoster(RosterLayout)
{
    throw platform::Error(platform::Error::Generic, QStringLiteral("未実装です。"));
}
