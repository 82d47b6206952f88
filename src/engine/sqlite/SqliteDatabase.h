#pragma once

#include "engine/Database.h"
#include "engine/sqlite/SqliteHandles.h"

#include <QByteArray>
#include <QString>
#include <chrono>
#include <optional>

namespace engine::sqlite {

// A database file as SQLite reads and writes it.
class SqliteDatabase final : public Database
{
public:
    // Opens the file and reads its schema; throws naming what.
    SqliteDatabase(const QString& hostPath, const OpenOptions& options, const QString& what);

    DatabaseFormat format() const override { return DatabaseFormat::Sqlite; }
    std::unique_ptr<Cursor> select(const QString& statement) override;
    int execute(const QString& statement) override;
    void beginTrans() override;
    void commitTrans() override;
    void rollbackTrans() override;
    void snapshotTo(const QString& hostPath) override;
    bool canReplaceFrom(const QString& hostPath) const override;
    void replaceFrom(const QString& hostPath) override;
    void readSnapshot(const QString& statement, int sorterThreads,
                      ResultSnapshot::Builder& into) override;
    std::optional<QStringList> columnsOf(const QString& table) override;
    std::optional<QString> integrityProblem(const QStringList& tables) override;
    qint64 contentBytes() override;

private:
    // Prepares one statement; throws naming what, also for an empty text.
    detail::Statement prepare(const QString& statement, const QString& what,
                              const char** tail = nullptr);
    void run(const char* sql, const QString& what);
    bool inWalMode();
    void copyUnderSharedLock(const QString& hostPath);

    QString m_filePath;
    std::chrono::steady_clock::time_point m_lockWaitStarted;
    detail::SqliteHandle m_db;
};

// Throws the engine's last error on db with a message naming what failed.
[[noreturn]] void throwEngineError(sqlite3* db, int code, const QString& what);

// The file's first bytes, read so as to leave every lock of this process on
// it in place; nothing when it cannot be read.
std::optional<QByteArray> readFileHead(const QString& hostPath, qsizetype length);

// The files the engine keeps beside a database: the rollback journal, the
// write-ahead log and the log's index in shared memory, which the next
// opener builds again from the log.
inline constexpr CompanionFile companionFiles[] = {
    {"-journal", true},
    {"-wal", true},
    {"-shm", false},
};

} // namespace engine::sqlite
