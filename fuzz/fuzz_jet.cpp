// The read-only Jet engine on arbitrary bytes as a DB.mdb: every table, every
// column, every row.

#include "engine/jet/MdbFile.h"
#include "fuzz/FuzzInput.h"
#include "platform/Error.h"

#include <numeric>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = fuzz::writeScratchFile(QStringLiteral("DB.mdb"), data, size);
    try {
        engine::jet::MdbFile db;
        db.open(path);
        for (const QString& table : db.tableNames()) {
            std::vector<int> wanted(db.columns(table).size());
            std::iota(wanted.begin(), wanted.end(), 0);
            const auto values = db.readRows(table, wanted);
            if (!wanted.empty() && values.size() % wanted.size() != 0)
                fuzz::fault("rows of unequal length");
        }
    } catch (const platform::Error&) {
        // A damaged file is told, not a crash.
    }
    return 0;
}
