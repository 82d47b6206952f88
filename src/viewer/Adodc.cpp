#include "Adodc.h"

#include "SnapshotModel.h"
#include "platform/Connection.h"
#include "platform/ResultSnapshot.h"

#include <QThread>
#include <algorithm>

QString Adodc::designedConnectionString()
{
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=DB.mdb;Mode=ReadWrite;"
                          "Persist Security Info=False");
}

Adodc::Adodc(QObject* parent)
    : QObject(parent), m_connectionString(designedConnectionString()),
      m_recordSource(QStringLiteral("select * from list order by kana")),
      // One helper per further core: the sort of the history runs on every
      // core while this thread collects the rows (measured in bench/viewer).
      m_sorterThreads(std::clamp(QThread::idealThreadCount() - 1, 0, 4)),
      m_connection(std::make_unique<platform::Connection>()), m_model(new SnapshotModel(this))
{
    setObjectName(QStringLiteral("Adodc1"));
}

Adodc::~Adodc() = default;

void Adodc::refresh()
{
    if (!m_connection->isOpen())
        m_connection->open(m_connectionString);
    // The old rows go first, so that a re-read never holds two histories at
    // once. A failed read leaves the grid without rows; the error report
    // follows anyway.
    m_model->clearRows();
    m_model->setSnapshot(
        platform::ResultSnapshot::read(*m_connection, m_recordSource, m_sorterThreads));
    Q_EMIT refreshed(m_recordSource);
}

bool Adodc::isConnected() const
{
    return m_connection->isOpen();
}

QString Adodc::databaseFile() const
{
    return m_connection->isOpen() ? m_connection->filePath() : QString();
}
