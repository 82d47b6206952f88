#include "soak/ProductSim.h"

#include "common/TempInstall.h"

#include <QFile>
#include <QRegularExpression>
#include <chrono>

ProductSim::~ProductSim()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool ProductSim::start(const QString& database, int intervalUs, qint64 firstNumber)
{
    m_process.setProgram(QStringLiteral(PRODUCT_SIM));
    m_process.setArguments({database, QString::number(intervalUs), QString::number(firstNumber),
                            m_dir.filePath(QStringLiteral("record"))});
    m_process.start();
    if (!m_process.waitForReadyRead(20000) ||
        m_process.readLine().trimmed() != QByteArrayLiteral("started")) {
        m_error = QStringLiteral("the simulator did not start: ") +
                  QString::fromLocal8Bit(m_process.readAllStandardError());
        return false;
    }
    return true;
}

bool ProductSim::stop()
{
    m_process.write("stop\n");
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(30000) || m_process.exitCode() != 0) {
        m_error = QStringLiteral("the simulator did not end: ") +
                  QString::fromLocal8Bit(m_process.readAllStandardError());
        return false;
    }
    m_failures = m_process.readAllStandardError();
    const QString summary = QString::fromLatin1(m_process.readAllStandardOutput());
    const QRegularExpressionMatch figures =
        QRegularExpression(
            QStringLiteral(
                R"(attempted=(\d+) failed=(\d+) longest_stall_us=(\d+) log_committed=(\d+))"))
            .match(summary);
    if (!figures.hasMatch()) {
        m_error = QStringLiteral("no figures from the simulator: ") + summary;
        return false;
    }
    m_attempted = figures.captured(1).toLongLong();
    m_failed = figures.captured(2).toLongLong();
    m_longestStallUs = figures.captured(3).toLongLong();

    QFile record(m_dir.filePath(QStringLiteral("record")));
    if (!record.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("no record from the simulator");
        return false;
    }
    m_committed.clear();
    while (!record.atEnd()) {
        const QList<QByteArray> fields = record.readLine().trimmed().split(' ');
        if (fields.size() == 2)
            m_committed.append({fields[0].toLongLong(), fields[1].toLongLong()});
    }
    if (m_committed.size() != figures.captured(4).toLongLong()) {
        m_error = QStringLiteral("the record lacks events");
        return false;
    }
    return true;
}

qint64 ProductSim::nowUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QSet<qint64> ProductSim::loggedNumbers(const QString& database)
{
    QSet<qint64> numbers;
    const QStringList rows = TempInstall::query(
        database, QStringLiteral("select substr([備考2], 5) from log where [備考2] like 'sim %'"));
    for (const QString& row : rows)
        numbers.insert(row.toLongLong());
    return numbers;
}
