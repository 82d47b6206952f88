#include "db/result_table.h"
#include "export/RosterWriter.h"
#include "platform/Error.h"

#include <QtTest>

namespace {

// A device that takes `capacity` bytes and then fails, the way a full medium
// or a pulled USB memory does; with `shortWrites` it hands back a short count
// instead of an error.
class FailingDevice : public QIODevice
{
public:
    FailingDevice(qint64 capacity, bool shortWrites) : m_capacity(capacity), m_short(shortWrites)
    {
        open(QIODevice::WriteOnly);
    }
    QByteArray written;

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 length) override
    {
        const qint64 room = m_capacity - written.size();
        if (room >= length) {
            written.append(data, length);
            return length;
        }
        setErrorString(QStringLiteral("device is full"));
        if (!m_short || room <= 0)
            return -1;
        written.append(data, room);
        return room;
    }

private:
    qint64 m_capacity;
    bool m_short;
};

result_table oneStudent()
{
    result_table table = result_table::forRoster();
    const QStringList cells{QStringLiteral("1001"), QStringLiteral("N1"), QStringLiteral("K1"),
                            QStringLiteral("M1"), QString()};
    for (int column = 0; column < 5; ++column) {
        table.store(column, 1, cells[column]);
        table.store(column, 2, cells[column]);
    }
    return table;
}

} // namespace

class TestExportWriter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void failingDevice_data();
    void failingDevice();
};

void TestExportWriter::failingDevice_data()
{
    QTest::addColumn<qint64>("capacity");
    QTest::addColumn<bool>("shortWrites");

    const qint64 line = qstrlen("\"1001\",\"N1\",\"K1\",\"M1\",\"\",0,1\r\n");
    QTest::newRow("full from the start") << qint64(0) << false;
    QTest::newRow("fails inside the first line") << qint64(10) << false;
    QTest::newRow("fails after a whole line") << line << false;
    QTest::newRow("short write inside the first line") << qint64(10) << true;
    QTest::newRow("short write after a whole line") << line + 3 << true;
}

void TestExportWriter::failingDevice()
{
    QFETCH(qint64, capacity);
    QFETCH(bool, shortWrites);
    FailingDevice device(capacity, shortWrites);
    RosterWriter writer(device, RosterLayout::Convert, QStringLiteral("c:\\x\\list.csv"));

    try {
        writer.writeRows(oneStudent(), 2);
        QFAIL("a failed write was taken for success");
    } catch (const platform::Error& e) {
        QVERIFY2(e.description().contains(QStringLiteral("c:\\x\\list.csv")),
                 qPrintable(e.description()));
        QVERIFY2(e.description().contains(QStringLiteral("device is full")),
                 qPrintable(e.description()));
    }
}

QTEST_GUILESS_MAIN(TestExportWriter)
#include "tst_export_writer.moc"
