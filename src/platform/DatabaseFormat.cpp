#include "DatabaseFormat.h"

#include "SqliteHandles.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <optional>

namespace platform {

namespace {

// The file's first bytes, read through the engine's own handle on it. Locks
// on a file belong to the process, and closing any handle on it drops them
// all, among them the shared lock by which an open connection in WAL mode
// keeps another program from checkpointing and removing its -wal and -shm
// under it. The engine keeps its handle open for as long as a connection of
// this process holds a lock on the file.
std::optional<QByteArray> readHead(const QString& hostPath, qsizetype length)
{
    int rc = SQLITE_OK;
    const detail::Database db = detail::openDatabase(
        QFile::encodeName(hostPath).constData(), SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, &rc);
    sqlite3_file* file = nullptr;
    if (rc != SQLITE_OK ||
        sqlite3_file_control(db.get(), "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK ||
        !file || !file->pMethods)
        return std::nullopt;
    QByteArray head(length, '\0');
    rc = file->pMethods->xRead(file, head.data(), int(length), 0);
    // A short read fills the rest with zeros; the file's size says where its
    // bytes end.
    if (rc != SQLITE_OK && rc != SQLITE_IOERR_SHORT_READ)
        return std::nullopt;
    head.truncate(std::min(length, qsizetype(QFileInfo(hostPath).size())));
    return head;
}

} // namespace

DatabaseFormat detectDatabaseFormat(const QString& hostPath)
{
    if (!QFileInfo(hostPath).isFile())
        return DatabaseFormat::Unreadable;
    const std::optional<QByteArray> read = readHead(hostPath, 32);
    if (!read)
        return DatabaseFormat::Unreadable;
    const QByteArray& head = *read;
    static constexpr char sqlite[] = "SQLite format 3"; // the terminating NUL belongs to it
    static constexpr char jet[] = "Standard Jet DB";
    if (head.size() >= qsizetype(sizeof sqlite) &&
        head.first(sizeof sqlite) == QByteArray(sqlite, sizeof sqlite))
        return DatabaseFormat::Sqlite;
    if (head.size() >= 4 + qsizetype(sizeof jet) - 1 &&
        head.sliced(4, sizeof jet - 1) == QByteArray(jet, sizeof jet - 1))
        return DatabaseFormat::Jet;
    return DatabaseFormat::Other;
}

} // namespace platform
