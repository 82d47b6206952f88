#include "common/TempInstall.h"
#include "db/Schema.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QtTest>

class TestSchema : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fileOnTheStick_data();
    void fileOnTheStick();
};

namespace {

enum class Make
{
    Sound,
    ZeroBytes,
    Truncated,
    RandomBytes,
    TextFile,
    Sql, // a database made from the row's sql alone
    WalMode,
    WalModeTruncated,
};

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

} // namespace

void TestSchema::fileOnTheStick_data()
{
    QTest::addColumn<int>("make");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<QStringList>("missing");

    QTest::newRow("product's database") << int(Make::Sound) << QString() << true << QStringList();
    QTest::newRow("zero bytes") << int(Make::ZeroBytes) << QString() << false << QStringList();
    QTest::newRow("truncated") << int(Make::Truncated) << QString() << false << QStringList();
    QTest::newRow("random bytes") << int(Make::RandomBytes) << QString() << false << QStringList();
    // Found by fuzz_schema: a read-only open of a file in WAL mode left its
    // -wal and -shm on the stick.
    QTest::newRow("product's database in WAL mode")
        << int(Make::WalMode) << QString() << true << QStringList();
    QTest::newRow("truncated in WAL mode")
        << int(Make::WalModeTruncated) << QString() << false << QStringList();
    QTest::newRow("text file") << int(Make::TextFile) << QString() << false << QStringList();
    QTest::newRow("another program's database")
        << int(Make::Sql) << "create table customers(id integer)" << true
        << QStringList{"list", "log"};
    QTest::newRow("columns missing")
        << int(Make::Sql)
        << "create table LIST(barcode, 名前, KANA, email, 備考, 状況, time, time2);"
           "create table log([date], [time], 状況, 名前)"
        << true << QStringList{"list.在室時間", "log.備考2"};
}

void TestSchema::fileOnTheStick()
{
    QFETCH(int, make);
    QFETCH(QString, sql);
    QFETCH(bool, readable);
    QFETCH(QStringList, missing);

    TempInstall install;
    // A stick's folder with the characters a file URI treats specially.
    const QString stick = install.driveC() + QStringLiteral("/USB 100% #1?");
    QVERIFY(QDir().mkpath(stick));
    const QString path = stick + QStringLiteral("/DB.mdb");
    switch (Make(make)) {
    case Make::Sound:
        install.createDatabase(path, QStringLiteral("insert into list(barcode) values('1')"));
        break;
    case Make::ZeroBytes:
        writeBytes(path, {});
        break;
    case Make::WalMode:
        install.createDatabase(path, QStringLiteral("insert into list(barcode) values('1')"));
        TempInstall::execute(path, QStringLiteral("pragma journal_mode=wal"));
        break;
    case Make::WalModeTruncated:
    case Make::Truncated: {
        install.createDatabase(path);
        if (Make(make) == Make::WalModeTruncated)
            TempInstall::execute(path, QStringLiteral("pragma journal_mode=wal"));
        // Enough rows that the tables reach beyond the first pages.
        QString rows;
        for (int i = 0; i < 400; ++i)
            rows +=
                QStringLiteral("insert into log values('2024-04-01','10:00:00','入室','%1','');")
                    .arg(QString(200, QChar(u'名')));
        TempInstall::execute(path, rows);
        const QByteArray whole = TempInstall::readAll(path);
        writeBytes(path, whole.left(whole.size() / 2));
        break;
    }
    case Make::RandomBytes: {
        QByteArray bytes(16384, '\0');
        QRandomGenerator generator(7);
        for (char& c : bytes)
            c = char(generator.bounded(256));
        writeBytes(path, bytes);
        break;
    }
    case Make::TextFile:
        writeBytes(path, QByteArrayLiteral("barcode,name\r\n1,yamada\r\n"));
        break;
    case Make::Sql:
        writeBytes(path, {}); // the engine takes an empty file for a new database
        TempInstall::execute(path, sql);
        break;
    }
    if (QTest::currentTestFailed())
        return;
    const QByteArray before = TempInstall::readAll(path);

    const SchemaCheck check = checkSchema(path);

    QCOMPARE(check.unreadable.isEmpty(), readable);
    QCOMPARE(check.missing, missing);
    QCOMPARE(check.ok(), readable && missing.isEmpty());
    QCOMPARE(check.describe().isEmpty(), check.ok());
    QCOMPARE(TempInstall::readAll(path), before);
    QCOMPARE(QDir(stick).entryList(QDir::Files), QStringList{"DB.mdb"});
}

QTEST_GUILESS_MAIN(TestSchema)
#include "tst_schema.moc"
