#include "engine/Database.h"
#include "engine/jet/JetDatabase.h"
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
        return std::make_unique<jet::JetDatabase>(hostPath);
    return std::make_unique<sqlite::SqliteDatabase>(hostPath, options, what);
}

std::span<const CompanionFile> companionFiles()
{
    // A Jet file is only read here, and libmdb leaves nothing beside it.
    return sqlite::companionFiles;
}

std::optional<QByteArray> readFileHead(const QString& hostPath, qsizetype length)
{
    // Only the SQLite engine takes locks on files, and only its own handle on
    // a file can be closed without dropping them.
    return sqlite::readFileHead(hostPath, length);
}

} // namespace engine
