// The column-wise snapshot of a result: each kind of cell as the grid shows
// it, nulls among values, text outside the BMP, dates before 1900, texts
// across and beyond one arena, the date-time parser, and no lock left behind.

#include "common/TempInstall.h"
#include "engine/Command.h"
#include "engine/Connection.h"
#include "engine/FieldKind.h"
#include "engine/ResultSnapshot.h"
#include "platform/Error.h"

#include <QtTest>

using engine::ResultSnapshot;
using Kind = ResultSnapshot::CellKind;

namespace {

QString installSource()
{
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=c:\\Program "
                          "Files\\Tavenro\\DB.mdb");
}

QStringList texts(const ResultSnapshot& s, int column)
{
    QStringList out;
    for (int row = 0; row < s.rowCount(); ++row)
        out << s.text(column, row);
    return out;
}

QList<int> kinds(const ResultSnapshot& s, int column)
{
    QList<int> out;
    for (int row = 0; row < s.rowCount(); ++row)
        out << int(s.kind(column, row));
    return out;
}

} // namespace

class TestResultSnapshot : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void cells_data();
    void cells();
    void emptyResultKeepsItsFields();
    void textsAcrossAndBeyondAnArena();
    void readLeavesNoLock_data();
    void readLeavesNoLock();
    void dateTimeParser_data();
    void dateTimeParser();

private:
    std::unique_ptr<TempInstall> m_install;
    std::unique_ptr<engine::Connection> m_connection;
    void open(const QString& sql);
};

void TestResultSnapshot::init()
{
    engine::Connection::setBusyTimeout(5000);
    m_install = std::make_unique<TempInstall>();
}

void TestResultSnapshot::cleanup()
{
    m_connection.reset();
    m_install.reset();
}

void TestResultSnapshot::open(const QString& sql)
{
    m_install->createDatabase(m_install->database(), sql);
    m_connection = std::make_unique<engine::Connection>();
    m_connection->open(installSource());
}

void TestResultSnapshot::cells_data()
{
    QTest::addColumn<QString>("declared");
    QTest::addColumn<QStringList>("stored"); // SQL literals, one row each
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QList<int>>("kinds");

    const int T = int(Kind::Text), N = int(Kind::Null), I = int(Kind::Integer),
              R = int(Kind::Number), D = int(Kind::DateTime), B = int(Kind::Boolean);
    QTest::newRow("text") << "VARCHAR(50)" << QStringList{"'佐藤 花子'", "''", "'<b>x</b>'"}
                          << QStringList{"佐藤 花子", "", "<b>x</b>"} << QList<int>{T, T, T};
    QTest::newRow("text outside the BMP")
        << "VARCHAR(50)" << QStringList{"'𠮷野 😀'", "'a😀'"}
        << QStringList{QString::fromUtf8("𠮷野 😀"), QString::fromUtf8("a😀")} << QList<int>{T, T};
    QTest::newRow("nulls among text")
        << "VARCHAR(50)" << QStringList{"NULL", "'a'", "NULL", "''", "'b'"}
        << QStringList{"", "a", "", "", "b"} << QList<int>{N, T, N, T, T};
    QTest::newRow("integers, a null and a text")
        << "INTEGER" << QStringList{"NULL", "5", "-7", "'abc'", "9007199254740993"}
        << QStringList{"", "5", "-7", "abc", "9007199254740993"} << QList<int>{N, I, I, T, I};
    QTest::newRow("numbers") << "DOUBLE" << QStringList{"2.5", "3", "0.1 + 0.2", "'x'"}
                             << QStringList{"2.5", "3", "0.3", "x"} << QList<int>{R, R, R, T};
    QTest::newRow("dates and times")
        << "DATETIME"
        << QStringList{"'2024-04-01 09:15:00'", "'2024-04-01'", "'10:02:00'",
                       "'1899-12-30'",          "45383.5",      "'2024-04-01 00:00:00'"}
        << QStringList{"2024/04/01 9:15:00",  "2024/04/01", "10:02:00", "0:00:00",
                       "2024/04/01 12:00:00", "2024/04/01"}
        << QList<int>{D, D, D, D, D, D};
    QTest::newRow("dates before 1900")
        << "DATETIME"
        << QStringList{"'1850-03-01'", "'1899-12-29 23:59:59'", "'0800-01-01 12:00:00'", "-1.5"}
        << QStringList{"1850/03/01", "1899/12/29 23:59:59", "0800/01/01 12:00:00",
                       "1899/12/29 12:00:00"}
        << QList<int>{D, D, D, D};
    QTest::newRow("date texts that are no dates")
        << "DATETIME" << QStringList{"'someday'", "'2023-02-29'", "NULL", "'2024-02-29'"}
        << QStringList{"someday", "2023-02-29", "", "2024/02/29"} << QList<int>{T, T, N, D};
    // A damaged or foreign file: numbers no date can be stay numbers.
    QTest::newRow("date numbers out of range")
        << "DATETIME" << QStringList{"1e300", "-1e300", "2958466", "2958465.5"}
        << QStringList{"1e+300", "-1e+300", "2958466", "9999/12/31 12:00:00"}
        << QList<int>{R, R, R, D};
    QTest::newRow("true and false")
        << "BIT" << QStringList{"-1", "0", "'True'", "'maybe'"}
        << QStringList{"True", "False", "True", "maybe"} << QList<int>{B, B, B, T};
    // The second text ends on the last byte of the first 64 KiB arena.
    QTest::newRow("text ending at an arena's end")
        << "LONGTEXT"
        << QStringList{"replace(hex(zeroblob(40000)), '00', 'a')",
                       "replace(hex(zeroblob(25536)), '00', 'b')", "'c'"}
        << QStringList{QString(40000, QLatin1Char('a')), QString(25536, QLatin1Char('b')), "c"}
        << QList<int>{T, T, T};
    QTest::newRow("no declared type") << "" << QStringList{"5", "'x'", "2.5", "NULL"}
                                      << QStringList{"5", "x", "2.5", ""} << QList<int>{I, T, R, N};
}

void TestResultSnapshot::cells()
{
    QFETCH(QString, declared);
    QFETCH(QStringList, stored);
    QFETCH(QStringList, shown);
    QFETCH(QList<int>, kinds);

    QString sql = QStringLiteral("create table t ([値] %1);").arg(declared);
    for (const QString& literal : stored)
        sql += QStringLiteral("insert into t values (%1);").arg(literal);
    open(sql);
    const ResultSnapshot s =
        ResultSnapshot::read(*m_connection, QStringLiteral("select [値] from t order by rowid"));
    QCOMPARE(s.columnCount(), 1);
    QCOMPARE(s.columnName(0), QStringLiteral("値"));
    QCOMPARE(texts(s, 0), shown);
    QCOMPARE(::kinds(s, 0), kinds);
}

void TestResultSnapshot::emptyResultKeepsItsFields()
{
    open({});
    const ResultSnapshot s = ResultSnapshot::read(
        *m_connection,
        QStringLiteral(
            "select [date],[time],[状況],[名前],[備考2] from log order by [date],[time] DESC"));
    QCOMPARE(s.rowCount(), 0);
    QStringList names;
    for (int i = 0; i < s.columnCount(); ++i)
        names << s.columnName(i);
    QCOMPARE(names, QStringList({"date", "time", "状況", "名前", "備考2"}));
    QVERIFY_THROWS_EXCEPTION(platform::Error, s.text(0, 0));
}

void TestResultSnapshot::textsAcrossAndBeyondAnArena()
{
    // Arenas hold 64 KiB: the second and third texts each start a new one,
    // the fourth is too long for any and is kept apart.
    const QStringList stored{QString(40000, QLatin1Char('a')),
                             QString(40000, QLatin1Char('b')),
                             QStringLiteral("ん").repeated(13000),
                             QString(70000, QLatin1Char('d')),
                             QString(),
                             QStringLiteral("e")};
    QString sql = QStringLiteral("create table t (v LONGTEXT);");
    for (const QString& text : stored)
        sql += QStringLiteral("insert into t values ('%1');").arg(text);
    open(sql);
    const ResultSnapshot s =
        ResultSnapshot::read(*m_connection, QStringLiteral("select v from t order by rowid"));
    QCOMPARE(texts(s, 0), stored);
    QVERIFY(s.allocatedBytes() < 5 * 65536 + 70000 + 65536);
}

void TestResultSnapshot::readLeavesNoLock_data()
{
    QTest::addColumn<QString>("statement");
    QTest::addColumn<bool>("fails");
    QTest::newRow("whole history") << "select * from log order by [date],[time] DESC" << false;
    QTest::newRow("missing table") << "select * from nowhere" << true;
    QTest::newRow("failing midway") << "select abs(-9223372036854775807 - [n]) from n" << true;
}

void TestResultSnapshot::readLeavesNoLock()
{
    QFETCH(QString, statement);
    QFETCH(bool, fails);
    open(QStringLiteral("create table n (n INTEGER);"
                        "insert into n values (0), (0), (1);"
                        "insert into log values ('2024-04-01','10:00:00','入室','佐藤',NULL);"));
    try {
        const ResultSnapshot s = ResultSnapshot::read(*m_connection, statement, 2);
        QVERIFY(!fails);
        QCOMPARE(s.rowCount(), 1);
    } catch (const platform::Error& e) {
        QVERIFY2(fails, qPrintable(e.description()));
        QVERIFY(e.description().contains(statement));
    }
    // The product writes at once, with a short wait only.
    engine::Connection::setBusyTimeout(50);
    engine::Connection product;
    product.open(installSource());
    engine::Command insert;
    insert.setActiveConnection(&product);
    insert.setCommandText(QStringLiteral("insert into log values ('2024-04-02','09:00:00','入室','"
                                         "鈴木',NULL)"));
    QCOMPARE(insert.execute(), 1);
}

void TestResultSnapshot::dateTimeParser_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("date"); // invalid: no date-time
    QTest::addColumn<QTime>("time");

    const QDate zero(1899, 12, 30);
    QTest::newRow("date and time") << "2024-04-01 09:15:00" << QDate(2024, 4, 1) << QTime(9, 15);
    QTest::newRow("T, short fields, blanks")
        << "  2024-4-1T9:15 " << QDate(2024, 4, 1) << QTime(9, 15);
    QTest::newRow("blanks between") << "2024-04-01  \t10:00" << QDate(2024, 4, 1) << QTime(10, 0);
    QTest::newRow("date only") << "2024-04-01" << QDate(2024, 4, 1) << QTime(0, 0);
    QTest::newRow("time only") << "09:15:30" << zero << QTime(9, 15, 30);
    QTest::newRow("product's time, last second") << "23:59:59" << zero << QTime(23, 59, 59);
    QTest::newRow("time after T") << "T23:59" << zero << QTime(23, 59);
    QTest::newRow("fraction dropped") << "10:00:01.999" << zero << QTime(10, 0, 1);
    QTest::newRow("leap day") << "2000-02-29" << QDate(2000, 2, 29) << QTime(0, 0);
    QTest::newRow("year 1") << "0001-01-01" << QDate(1, 1, 1) << QTime(0, 0);
    for (const char* bad : {"",
                            " ",
                            "someday",
                            "2024-02-30",
                            "1900-02-29",
                            "0000-01-01",
                            "2024-13-01",
                            "24:00",
                            "9:60",
                            "9:5",
                            "12024-04-01",
                            "2024-04-01T",
                            "2024-04-0110:00",
                            "2024-04-01 10:00x",
                            "10:00:00.",
                            "10:00:60",
                            "24:00:00",
                            "2024-00-10",
                            "2024-0a-01",
                            "12:3a:00",
                            "２０２４-04-01",
                            "2024/04/01"})
        QTest::newRow(bad[0] ? bad : "empty") << QString::fromUtf8(bad) << QDate() << QTime();
}

void TestResultSnapshot::dateTimeParser()
{
    QFETCH(QString, text);
    QFETCH(QDate, date);
    QFETCH(QTime, time);
    QCOMPARE(engine::DateTime::zeroDay().toJulianDay(), engine::detail::zeroDayJulian);
    engine::DateTime parsed;
    const bool ok = engine::detail::parseDateTime(text, &parsed);
    QCOMPARE(ok, date.isValid());
    if (ok)
        QCOMPARE(parsed, (engine::DateTime{date, time}));
}

QTEST_MAIN(TestResultSnapshot)
#include "tst_result_snapshot.moc"
