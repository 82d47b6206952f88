#pragma once

#include <QString>

namespace engine {

// What kind of database a file holds, told by its first bytes only: an SQLite
// file begins with "SQLite format 3\0"; a Jet file (Access 97 to 2003) carries
// "Standard Jet DB" at byte 4. The choice of engine follows from it; the file
// name says nothing (both kinds are called DB.mdb).
enum class DatabaseFormat
{
    Unreadable, // missing, a folder, or not readable
    Other,      // readable, but neither signature
    Sqlite,
    Jet,
};

DatabaseFormat detectDatabaseFormat(const QString& hostPath);

} // namespace engine
