#pragma once

#include <QObject>
#include <QString>
#include <memory>

namespace engine {
class Connection;
}
class SnapshotModel;

// The data control a window reads the database through, on a connection of
// its own. refresh() runs the record source and hands the whole result, read
// in one pass, to model(), which a grid shows; the engine holds no lock on
// the file once it returns, so the product goes on writing while the grid is
// open. The connection opens at the first refresh and ends with the control.
class Adodc : public QObject
{
    Q_OBJECT
public:
    // The viewer's designed connection string: DB.mdb of the current
    // directory, opened for reading and writing.
    static QString designedConnectionString();

    explicit Adodc(QObject* parent = nullptr);
    ~Adodc() override;

    // Takes effect at the next opening of the connection.
    void setConnectionString(const QString& text) { m_connectionString = text; }
    const QString& connectionString() const { return m_connectionString; }
    void setRecordSource(const QString& statement) { m_recordSource = statement; }
    const QString& recordSource() const { return m_recordSource; }
    // Helper threads the engine's sorter may use for the record source; 0
    // leaves the engine's default.
    void setSorterThreads(int threads) { m_sorterThreads = threads; }
    int sorterThreads() const { return m_sorterThreads; }

    // Opens the connection if needed and replaces the model's rows by the
    // record source's result. Throws platform::Error; the model is left
    // without rows then.
    void refresh();

    SnapshotModel* model() const { return m_model; }
    // Whether the control's connection is open, and on which file.
    bool isConnected() const;
    QString databaseFile() const;

Q_SIGNALS:
    // After each refresh that succeeded, with the statement it ran.
    void refreshed(const QString& statement);

private:
    QString m_connectionString;
    QString m_recordSource;
    int m_sorterThreads;
    std::unique_ptr<engine::Connection> m_connection;
    SnapshotModel* m_model;
};
