#include "db/result_table.h"
#include "export/RosterWriter.h"
#include "platform/Error.h"

#include <QBuffer>
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

QByteArray checkLine(const QString& name)
{
    result_table table = result_table::forRoster();
    const QStringList cells{QStringLiteral("1"), name, QStringLiteral("k"), QString(), QString()};
    for (int column = 0; column < 5; ++column)
        table.store(column, 1, cells[column]);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    RosterWriter writer(buffer, RosterLayout::Check, QStringLiteral("list.csv"));
    writer.appendRows(table, 1);
    writer.close();
    return buffer.data();
}

} // namespace

class TestExportWriter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void failingDevice_data();
    void failingDevice();
    void writesCharactersAsWindows_data();
    void writesCharactersAsWindows();
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
        writer.appendRows(oneStudent(), 2);
        writer.close();
        QFAIL("a failed write was taken for success");
    } catch (const platform::Error& e) {
        QVERIFY2(e.description().contains(QStringLiteral("c:\\x\\list.csv")),
                 qPrintable(e.description()));
        QVERIFY2(e.description().contains(QStringLiteral("device is full")),
                 qPrintable(e.description()));
    }
}

void TestExportWriter::writesCharactersAsWindows_data()
{
    QTest::addColumn<QString>("character");
    QTest::addColumn<QByteArray>("expected");

    // Every best fit of the table the writer is built from, read here afresh.
    QFile bestFit(QStringLiteral(TAVENRO_BESTFIT_TSV));
    QVERIFY2(bestFit.open(QIODevice::ReadOnly | QIODevice::Text),
             qPrintable(bestFit.fileName() + QStringLiteral(": ") + bestFit.errorString()));
    const QList<QByteArray> lines = bestFit.readAll().split('\n');
    int rows = 0;
    for (const QByteArray& line : lines.mid(1)) {
        if (line.isEmpty())
            continue;
        const QList<QByteArray> fields = line.split('\t');
        QCOMPARE(fields.size(), 3);
        bool ok = false;
        const char16_t unit = char16_t(fields[0].mid(2).toUInt(&ok, 16));
        QVERIFY2(ok && fields[0].startsWith("U+"), line.constData());
        // The character column spells the code point, so a damaged row shows.
        QCOMPARE(QString::fromUtf8(fields[2]), QString(QChar(unit)));
        QTest::addRow("best fit %s %s", fields[0].constData(), fields[2].constData())
            << QString(QChar(unit)) << QByteArray::fromHex(fields[1]);
        ++rows;
    }
    QCOMPARE(rows, 84);

    QTest::newRow("𠮷 outside the BMP, one ? per unit") << QStringLiteral("𠮷") << QByteArray("??");
    QTest::newRow("😀 outside the BMP, one ? per unit") << QStringLiteral("😀") << QByteArray("??");
    QTest::newRow("‖ U+2016 not mapped") << QStringLiteral("\u2016") << QByteArray("?");
    QTest::newRow("− U+2212 not mapped") << QStringLiteral("\u2212") << QByteArray("?");
    QTest::newRow("〜 U+301C not mapped") << QStringLiteral("\u301C") << QByteArray("?");
}

void TestExportWriter::writesCharactersAsWindows()
{
    QFETCH(QString, character);
    QFETCH(QByteArray, expected);

    const QByteArray line = checkLine(QLatin1Char('A') + character + QLatin1Char('B'));

    QCOMPARE(line, "\"1\",\"A" + expected + "B\",\"k\",\"\",\"\"\r\n");
}

QTEST_GUILESS_MAIN(TestExportWriter)
#include "tst_export_writer.moc"
