#include "common/TempInstall.h"
#include "tools/DemoDatabase.h"

#include <QTemporaryDir>
#include <QtTest>

class TestDemoDatabase : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sameSeedSameFile();
    void shapeOfAClassroom();
};

void TestDemoDatabase::sameSeedSameFile()
{
    QTemporaryDir dir;
    demo::Options options;
    options.events = 2000;
    options.seed = 7;
    demo::generate(dir.filePath(QStringLiteral("a.mdb")), options);
    demo::generate(dir.filePath(QStringLiteral("b.mdb")), options);
    options.seed = 8;
    demo::generate(dir.filePath(QStringLiteral("c.mdb")), options);
    const QByteArray a = TempInstall::readAll(dir.filePath(QStringLiteral("a.mdb")));
    QVERIFY(!a.isEmpty());
    QCOMPARE(TempInstall::readAll(dir.filePath(QStringLiteral("b.mdb"))), a);
    QVERIFY(TempInstall::readAll(dir.filePath(QStringLiteral("c.mdb"))) != a);
}

void TestDemoDatabase::shapeOfAClassroom()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("DB.mdb"));
    demo::Options options;
    options.events = 60000;
    demo::generate(file, options);
    auto one = [&](const char* sql) {
        return TempInstall::query(file, QString::fromUtf8(sql)).value(0).toInt();
    };
    QCOMPARE(one("select count(*) from list"), 120);
    QCOMPARE(one("select count(distinct barcode) from list"), 120);
    QCOMPARE(one("select count(*) from log"), 60000);
    QVERIFY(one("select count(*) from list where email is null") > 0);
    QVERIFY(one("select count(*) from list where email = ''") > 0);
    QVERIFY(one("select count(*) from list where [状況] = '入室' and [在室時間] is not null") > 0);
    QCOMPARE(one("select count(*) from list where [状況] not in ('入室','空き')"), 0);
    // Every event belongs to a student of the roster, and no day is a Sunday.
    QCOMPARE(one("select count(*) from log where [名前] not in (select [名前] from list)"), 0);
    QCOMPARE(one("select count(*) from log where strftime('%w', date) = '0'"), 0);
    QVERIFY(one("select count(*) from log where [備考2] = 'お迎え'") > 0);
}

QTEST_GUILESS_MAIN(TestDemoDatabase)
#include "tst_demo_database.moc"
