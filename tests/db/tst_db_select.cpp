#include "common/TempInstall.h"
#include "db/db.h"
#include "platform/Error.h"

#include <QtTest>

using engine::Value;

namespace {

// Inserts students with barcodes 1..count (text), names N1…, one statement.
QString students(int count)
{
    QStringList values;
    for (int i = 1; i <= count; ++i)
        values << QStringLiteral("('%1','N%1','K%1',NULL,'')").arg(i, 4, 10, QLatin1Char('0'));
    return QStringLiteral("insert into list(barcode,[名前],kana,email,[備考]) values ") +
           values.join(QLatin1Char(','));
}

const QString rosterStatement =
    QStringLiteral("select [barcode],[名前],[kana],[email],[備考] from list order by [barcode]");

} // namespace

class TestDbSelect : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void boundsAndCounts_data();
    void boundsAndCounts();
    void nullsBecomeEmptyTextAndTypesStay();
    void tooFewFieldsFails();
    void twoSelectsInARow();
    void executeMatchingNoRowIsNoError();
    void tableWithoutDimensionsFails();

private:
    std::unique_ptr<TempInstall> m_install;
};

void TestDbSelect::init()
{
    db_reset();
    m_install = std::make_unique<TempInstall>();
}

void TestDbSelect::cleanup()
{
    db_reset();
    m_install.reset();
}

void TestDbSelect::boundsAndCounts_data()
{
    QTest::addColumn<int>("students");
    QTest::addColumn<int>("columnCount");
    QTest::addColumn<bool>("fails");
    QTest::addColumn<int>("expectedRowCount");
    QTest::addColumn<int>("lastStoredRow");

    QTest::newRow("no-rows") << 0 << 5 << false << 0 << 0;
    QTest::newRow("one-row") << 1 << 5 << false << 1 << 1;
    QTest::newRow("exactly-800") << 800 << 5 << false << 800 << 800;
    QTest::newRow("801-fails-at-801st") << 801 << 5 << true << 801 << 800;
    QTest::newRow("column-count-0-counts-only") << 3 << 0 << false << 3 << 0;
    QTest::newRow("column-count-past-select-list") << 2 << 6 << true << 1 << 1;
}

void TestDbSelect::boundsAndCounts()
{
    QFETCH(int, students);
    QFETCH(int, columnCount);
    QFETCH(bool, fails);
    QFETCH(int, expectedRowCount);
    QFETCH(int, lastStoredRow);

    m_install->createDatabase(m_install->database(), students ? ::students(students) : QString());
    db_open();
    result_table table = result_table::forRoster();
    int rowCount = -1;
    int number = 0;
    try {
        db_select(rosterStatement, table, columnCount, rowCount);
    } catch (const platform::Error& e) {
        number = e.number();
    }
    QCOMPARE(number != 0, fails);
    QCOMPARE(rowCount, expectedRowCount);
    if (fails && students > 800)
        QCOMPARE(number, int(platform::Error::SubscriptOutOfRange));
    // Row 0 and column 5 are never written; rows past the last stored one
    // keep their empty value.
    for (int row = 0; row <= 800; ++row) {
        const bool stored = row >= 1 && row <= lastStoredRow && columnCount > 0;
        QCOMPARE(std::holds_alternative<engine::Empty>(table.at(0, row)), !stored);
        QVERIFY(std::holds_alternative<engine::Empty>(table.at(5, row)));
    }
    if (lastStoredRow > 0 && columnCount > 0) {
        QCOMPARE(table.at(0, lastStoredRow),
                 Value(QStringLiteral("%1").arg(lastStoredRow, 4, 10, QLatin1Char('0'))));
        QCOMPARE(table.at(1, lastStoredRow),
                 Value(QStringLiteral("N%1").arg(lastStoredRow, 4, 10, QLatin1Char('0'))));
    }
    // A failed run closes the recordset too: left open, it would hold the
    // engine's read lock against the product and fail the next select.
    QVERIFY(!db_recordset->isOpen());
}

void TestDbSelect::nullsBecomeEmptyTextAndTypesStay()
{
    m_install->createDatabase(
        m_install->database(),
        QStringLiteral("create table typed (n INTEGER, d DATETIME, b BIT, r DOUBLE, t VARCHAR(5));"
                       "insert into typed values (1001, '2024-04-01 09:15:00', -1, 1.5, NULL);"
                       "insert into typed values (NULL, NULL, NULL, NULL, 'x');"));
    db_open();
    result_table table = result_table::forRoster();
    int rows = 0;
    db_select(QStringLiteral("select n, d, b, r, t from typed order by rowid"), table, 5, rows);
    QCOMPARE(rows, 2);
    QCOMPARE(table.at(0, 1), Value(qint64(1001)));
    QCOMPARE(table.at(1, 1), Value(engine::DateTime{QDate(2024, 4, 1), QTime(9, 15)}));
    QCOMPARE(table.at(2, 1), Value(true));
    QCOMPARE(table.at(3, 1), Value(1.5));
    QCOMPARE(table.at(4, 1), Value(QString()));
    for (int column = 0; column < 4; ++column)
        QCOMPARE(table.at(column, 2), Value(QString()));
    QCOMPARE(table.at(4, 2), Value(QStringLiteral("x")));
}

void TestDbSelect::tooFewFieldsFails()
{
    m_install->createDatabase(m_install->database(), students(1));
    db_open();
    result_table table = result_table::forRoster();
    int rows = 0;
    try {
        db_select(QStringLiteral("select barcode from list"), table, 5, rows);
        QFAIL("no error");
    } catch (const platform::Error& e) {
        QCOMPARE(e.number(), int(platform::Error::ItemNotFound));
    }
    QCOMPARE(table.at(0, 1), Value(QStringLiteral("0001")));
}

void TestDbSelect::twoSelectsInARow()
{
    m_install->createDatabase(m_install->database(), students(3));
    db_open();
    result_table first = result_table::forRoster();
    int rows = 0;
    db_select(rosterStatement, first, 5, rows);
    QCOMPARE(rows, 3);

    db_execute(QStringLiteral("delete from list where barcode <> '0002'"));
    result_table second = result_table::forRoster();
    db_select(rosterStatement, second, 5, rows);
    QCOMPARE(rows, 1);
    QCOMPARE(second.at(0, 1), Value(QStringLiteral("0002")));
    QVERIFY(std::holds_alternative<engine::Empty>(second.at(0, 2)));
    QVERIFY(!db_recordset->isOpen());
}

void TestDbSelect::executeMatchingNoRowIsNoError()
{
    m_install->createDatabase(m_install->database(), students(2));
    db_open();
    db_execute(QStringLiteral("update list set [在室時間]= NULL where [状況]= '入室' "));
    QCOMPARE(TempInstall::query(m_install->database(), QStringLiteral("select count(*) from list")),
             QStringList{QStringLiteral("2")});
    QVERIFY_THROWS_EXCEPTION(platform::Error, db_execute(QStringLiteral("update nosuch set a=1")));
}

void TestDbSelect::tableWithoutDimensionsFails()
{
    m_install->createDatabase(m_install->database(), students(1));
    db_open();
    result_table none;
    int rows = 0;
    QVERIFY_THROWS_EXCEPTION(platform::Error, db_select(rosterStatement, none, 1, rows));
    QCOMPARE(rows, 1);
}

QTEST_GUILESS_MAIN(TestDbSelect)
#include "tst_db_select.moc"
