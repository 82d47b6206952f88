// The restore's check of a file on the stick, on arbitrary bytes as the file.

#include "db/Schema.h"
#include "fuzz/FuzzInput.h"

#include <QFile>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = fuzz::writeScratchFile(QStringLiteral("DB.mdb"), data, size);
    const SchemaCheck check = checkSchema(path);
    if (!check.ok() && check.describe().isEmpty())
        fuzz::fault("a failed check without a reason");
    // The check only reads: the file stays as it was, and nothing is left beside it.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.readAll() != fuzz::asBytes(data, size))
        fuzz::fault("the check changed the file");
    if (QFile::exists(path + QStringLiteral("-journal")) ||
        QFile::exists(path + QStringLiteral("-wal")))
        fuzz::fault("the check left a file beside the database");
    return 0;
}
