#pragma once

#include <QList>
#include <QProcess>
#include <QSet>
#include <QString>
#include <QTemporaryDir>

// The product simulator (tools/product_sim.cpp) run beside a test: it keeps
// one database open and writes to it until stop().
class ProductSim
{
public:
    struct Event
    {
        qint64 number;
        // steady_clock microseconds when its write began.
        qint64 beganUs;
    };

    ProductSim() = default;
    ~ProductSim();
    ProductSim(const ProductSim&) = delete;
    ProductSim& operator=(const ProductSim&) = delete;

    // Starts writing every intervalUs, event numbers from firstNumber; false
    // with error() telling why when it did not start.
    bool start(const QString& database, int intervalUs, qint64 firstNumber);
    // Stops it and reads its figures; false with error() set when it did not
    // end as it should.
    bool stop();

    const QString& error() const { return m_error; }
    qint64 attempted() const { return m_attempted; }
    qint64 failed() const { return m_failed; }
    qint64 longestStallUs() const { return m_longestStallUs; }
    // Every event whose write committed, in order.
    const QList<Event>& committed() const { return m_committed; }
    // What it wrote to standard error: one line per failed write.
    const QByteArray& failures() const { return m_failures; }

    // steady_clock microseconds now, on the simulator's clock.
    static qint64 nowUs();
    // The event numbers in a database's log.
    static QSet<qint64> loggedNumbers(const QString& database);

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_error;
    qint64 m_attempted = 0;
    qint64 m_failed = 0;
    qint64 m_longestStallUs = 0;
    QList<Event> m_committed;
    QByteArray m_failures;
};
