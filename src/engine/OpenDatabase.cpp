#include "engine/Database.h"
#include "engine/jet/JetEngine.h"
#include "engine/sqlite/SqliteDatabase.h"

namespace engine {

std::optional<QByteArrayView> Cursor::textField(int) const
{
    return std::nullopt;
}

// The one place that knows every engine: the file's signature chooses. The
// file name says nothing (both kinds are called DB.mdb), and SQLite stays the
// engine of every file that is not Jet, its errors telling what is wrong.
std::unique_ptr<Database> openDatabase(const QString& hostPath, const OpenOptions& options,
                                       const QString& what)
{
    if (detectDatabaseFormat(hostPath) == DatabaseFormat::Jet)
        return std::make_unique<jet::JetEngine>(hostPath);
    return std::make_unique<sqlite::SqliteDatabase>(hostPath, options, what);
}

bool saysDiskFull(const platform::Error& error)
{
    // Only the SQLite engine writes.
    return sqlite::saysDiskFull(error);
}

} // namespace engine
