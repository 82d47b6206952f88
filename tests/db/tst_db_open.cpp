#include "common/SeamRecorders.h"
#include "common/TempInstall.h"
#include "db/db.h"
#include "platform/Error.h"

#include <QDir>
#include <QFile>
#include <QtTest>

class TestDbOpen : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { db_reset(); }
    void cleanup() { db_reset(); }
    void opensTheRightFile_data();
    void opensTheRightFile();
    void unopenableFirstFolderIsSilentAndStillBinds_data();
    void unopenableFirstFolderIsSilentAndStillBinds();
    void neitherFolderRaises();
    void sameFileFromAnyCurrentDirectory();
};

void TestDbOpen::opensTheRightFile_data()
{
    QTest::addColumn<bool>("first");
    QTest::addColumn<bool>("x86");
    QTest::addColumn<QString>("expectedMarker");
    QTest::addColumn<int>("expectedMode");

    QTest::newRow("first-folder-only") << true << false << "first" << 16;
    QTest::newRow("both-folders-first-wins") << true << true << "first" << 16;
    QTest::newRow("x86-folder-only-default-mode") << false << true << "x86" << 0;
}

void TestDbOpen::opensTheRightFile()
{
    QFETCH(bool, first);
    QFETCH(bool, x86);
    QFETCH(QString, expectedMarker);
    QFETCH(int, expectedMode);

    TempInstall install;
    if (first)
        install.createDatabase(install.database(),
                               QStringLiteral("insert into list(barcode) values('first')"));
    if (x86)
        install.createDatabase(install.databaseX86(),
                               QStringLiteral("insert into list(barcode) values('x86')"));
    MessageBoxRecorder boxes;
    db_open();

    QVERIFY(db_connection && db_connection->isOpen());
    QVERIFY(db_open_failure().isEmpty());
    QCOMPARE(db_connection->mode(), expectedMode);
    QCOMPARE(db_command->activeConnection(), db_connection.get());
    QCOMPARE(db_recordset->activeConnection(), db_connection.get());
    const QString base = expectedMarker == QLatin1String("first") ? installBase : installBaseX86;
    QCOMPARE(db_connection->connectionString(),
             QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + base +
                 QStringLiteral("\\Tavenro\\DB.mdb"));

    result_table table = result_table::forRoster();
    int rows = -1;
    db_select(QStringLiteral("select barcode from list"), table, 1, rows);
    QCOMPARE(rows, 1);
    QCOMPARE(table.at(0, 1), engine::Value(expectedMarker));
    QVERIFY(boxes.boxes().isEmpty());
}

void TestDbOpen::unopenableFirstFolderIsSilentAndStillBinds_data()
{
    QTest::addColumn<QString>("damage");
    QTest::newRow("jet-signature-then-garbage") << "jet";
    QTest::newRow("truncated-garbage") << "garbage";
    QTest::newRow("empty-file") << "empty";
}

void TestDbOpen::unopenableFirstFolderIsSilentAndStillBinds()
{
    QFETCH(QString, damage);
    TempInstall install;
    QDir().mkpath(install.installFolder());
    // A healthy twin must not be picked instead: only the first folder is tested.
    install.createDatabase(install.databaseX86());
    {
        QFile f(install.database());
        QVERIFY(f.open(QIODevice::WriteOnly));
        if (damage == QLatin1String("jet"))
            f.write(QByteArray(4, '\0') + QByteArray("Standard Jet DB") + QByteArray(2048, 'x'));
        if (damage == QLatin1String("garbage"))
            f.write("not a database at all");
    }
    const QByteArray before = TempInstall::readAll(install.database());

    MessageBoxRecorder boxes;
    db_open();

    QVERIFY(boxes.boxes().isEmpty());
    QVERIFY(db_connection && !db_connection->isOpen());
    // Silent, yet the reason is kept for the operations that report on the file.
    QVERIFY(db_open_failure().contains(QStringLiteral("DB.mdb")));
    QCOMPARE(db_command->activeConnection(), db_connection.get());
    QCOMPARE(db_recordset->activeConnection(), db_connection.get());
    QCOMPARE(TempInstall::readAll(install.database()), before);

    // Every later use fails on the closed connection, with a clear message.
    result_table table = result_table::forRoster();
    int rows = 0;
    QVERIFY_THROWS_EXCEPTION(platform::Error,
                             db_select(QStringLiteral("select * from list"), table, 5, rows));
    QVERIFY_THROWS_EXCEPTION(platform::Error, db_execute(QStringLiteral("delete from list")));
    QVERIFY_THROWS_EXCEPTION(platform::Error, db_close());
}

void TestDbOpen::neitherFolderRaises()
{
    TempInstall install;
    MessageBoxRecorder boxes;
    try {
        db_open();
        QFAIL("db_open did not raise");
    } catch (const platform::Error& e) {
        QVERIFY2(
            e.description().contains(QStringLiteral("c:\\Program Files (x86)\\Tavenro\\DB.mdb")),
            qPrintable(e.description()));
    }
    QVERIFY(boxes.boxes().isEmpty());
    QVERIFY(!db_connection || !db_connection->isOpen());
}

void TestDbOpen::sameFileFromAnyCurrentDirectory()
{
    TempInstall install;
    install.createDatabase(install.database());
    QTemporaryDir elsewhere;
    // A DB.mdb of the current directory must not be taken for the installed one.
    install.createDatabase(elsewhere.filePath(QStringLiteral("DB.mdb")));
    const QString saved = QDir::currentPath();
    QDir::setCurrent(elsewhere.path());
    db_open();
    QDir::setCurrent(saved);
    QCOMPARE(QFileInfo(db_connection->filePath()).canonicalFilePath(),
             QFileInfo(install.database()).canonicalFilePath());
}

QTEST_GUILESS_MAIN(TestDbOpen)
#include "tst_db_open.moc"
