#pragma once

#include "engine/Database.h"
#include "engine/jet/MdbFile.h"

namespace engine::jet {

// A genuine Jet file through the facade: opened read-only, its SELECTs run,
// and every statement that would change it is refused, as are transactions'
// writes.
class JetDatabase final : public Database
{
public:
    // Opens the file; throws for one libmdb cannot read.
    explicit JetDatabase(const QString& hostPath);

    DatabaseFormat format() const override { return DatabaseFormat::Jet; }
    std::unique_ptr<Cursor> select(const QString& statement) override;
    int execute(const QString& statement) override;
    // Nothing can change a Jet file here: the statements inside are refused
    // one by one, each naming itself.
    void beginTrans() override {}
    void commitTrans() override {}
    void rollbackTrans() override {}
    void snapshotTo(const QString& hostPath) override;
    bool canReplaceFrom(const QString&) const override { return false; }
    void replaceFrom(const QString& hostPath) override;
    void readSnapshot(const QString& statement, int sorterThreads,
                      ResultSnapshot::Builder& into) override;
    std::optional<QStringList> columnsOf(const QString& table) override;
    // A Jet file has no quick check of its own: every row of the tables is
    // read once instead, which is what the tool will do with it.
    std::optional<QString> integrityProblem(const QStringList& tables) override;
    qint64 contentBytes() override { return 0; }

private:
    MdbFile m_database;
};

} // namespace engine::jet
