#include "backup/DriveBackup.h"
#include "common/GuiTestBase.h"
#include "db/db.h"
#include "export/RosterExport.h"
#include "maintenance/RosterMaintenance.h"
#include "platform/Error.h"
#include "shiftjis/ShiftJis.h"
#include "viewer/Adodc.h"
#include "viewer/SnapshotModel.h"

#include <QCryptographicHash>
#include <QDir>
#include <QtTest>

// A genuine Jet DB.mdb, as a classroom PC keeps it, under every operation of
// the tool: it reads as the product's own file does, and nothing writes it.
class TestJetInstall : public GuiTestBase
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void exportMatchesTheSameRosterInSqlite_data();
    void exportMatchesTheSameRosterInSqlite();
    void changesAreRefusedAndTheFileStays_data();
    void changesAreRefusedAndTheFileStays();
    void viewerReadsTheWholeHistoryInOrder();
    void backupIsByteForByteAndRestoresAcrossEngines();
};

namespace {

// edge.mdb's roster, as its README lists it, in the SQLite engine.
const QString edgeRoster =
    QStringLiteral("insert into list(barcode,[名前],kana,email,[備考],[状況]) values "
                   "('1003','佐藤 花子','さとう はなこ','hanako@example.jp','二年生','入室'),"
                   "('1001','N1','K1','M1','','空き'),"
                   "('1002','髙橋 ①郎','たかはし いちろう',NULL,'～在籍中～','入室'),"
                   "('1004','O\"Neil, Jr','おにーる',' ','quote\"and,comma','退室'),"
                   "('1005','鈴木 一郎','すずき いちろう','<ichiro@example.jp>','メモ: ' || "
                   "replace(hex(zeroblob(3000)),'00','あ'),'空き'),"
                   "('1006','𠮷田 葵','よしだ あおい','',NULL,'空き');");

QByteArray sha256(const QString& path)
{
    return QCryptographicHash::hash(TempInstall::readAll(path), QCryptographicHash::Sha256).toHex();
}

QByteArray listCsv(const TempInstall& install)
{
    return TempInstall::readAll(install.installFolder() + QStringLiteral("/list.csv"));
}

} // namespace

void TestJetInstall::init()
{
    GuiTestBase::init();
    if (QTest::currentTestFailed())
        return;
    QVERIFY(QDir().mkpath(install().installFolder()));
}

void TestJetInstall::exportMatchesTheSameRosterInSqlite_data()
{
    QTest::addColumn<int>("layout");
    QTest::newRow("check") << int(RosterLayout::Check);
    QTest::newRow("convert") << int(RosterLayout::Convert);
    QTest::newRow("convert with <address>") << int(RosterLayout::ConvertBracketed);
}

void TestJetInstall::exportMatchesTheSameRosterInSqlite()
{
    QFETCH(int, layout);
    install().createDatabase(install().database(), edgeRoster);
    db_open();
    exportRoster(RosterLayout(layout));
    const QByteArray fromSqlite = listCsv(install());
    db_reset();
    QVERIFY(QFile::remove(install().database()));

    COPY_FIXTURE_OR_SKIP(QStringLiteral("jet4/edge.mdb"), install().database());
    db_open();
    QVERIFY(db_connection->format() == engine::DatabaseFormat::Jet);
    exportRoster(RosterLayout(layout));
    const QByteArray fromJet = listCsv(install());

    QCOMPARE(fromJet, fromSqlite);
    QCOMPARE(fromJet.count("\r\n"), 6);
    // The student outside the BMP, written as Windows writes it.
    QVERIFY(fromJet.contains("\"1006\",\"??" + shiftjis::toShiftJis(u"田 葵") + "\""));
}

void TestJetInstall::changesAreRefusedAndTheFileStays_data()
{
    QTest::addColumn<bool>("checkOut");
    QTest::newRow("check-out") << true;
    QTest::newRow("deletion") << false;
}

void TestJetInstall::changesAreRefusedAndTheFileStays()
{
    QFETCH(bool, checkOut);
    COPY_FIXTURE_OR_SKIP(QStringLiteral("jet4/edge.mdb"), install().database());
    const QByteArray before = sha256(install().database());
    db_open();
    MessageBoxRecorder boxes({platform::vbYes});
    try {
        checkOut ? checkOutAllStudents() : deleteAllStudents();
        QFAIL("the change was not refused");
    } catch (const platform::Error& e) {
        QVERIFY2(e.description().contains(QStringLiteral("Jet")), qPrintable(e.description()));
        QVERIFY2(e.description().contains(QStringLiteral("読み取り専用")),
                 qPrintable(e.description()));
    }
    QCOMPARE(sha256(install().database()), before);
    // The connection still serves the reads.
    result_table table = result_table::forRoster();
    int rows = 0;
    db_select(QStringLiteral("select [barcode] from list order by [barcode]"), table, 1, rows);
    QCOMPARE(rows, 6);
}

void TestJetInstall::viewerReadsTheWholeHistoryInOrder()
{
    const QString folder = install().driveC() + QStringLiteral("/viewer");
    QVERIFY(QDir().mkpath(folder));
    COPY_FIXTURE_OR_SKIP(QStringLiteral("jet4/history.mdb"), folder + QStringLiteral("/DB.mdb"));
    QDir::setCurrent(folder);
    Adodc control;
    control.setRecordSource(QStringLiteral(
        "select [date],[time],[状況],[名前],[備考2] from log order by [date],[time] DESC"));
    control.refresh();
    const SnapshotModel* model = control.model();
    QVERIFY(model);
    // The fixture's README says 27,403; every reader of the file, libmdb's
    // own tools and an independent one included, counts 27,404 rows.
    QCOMPARE(model->rowCount(), 27404);
    QCOMPARE(model->columnCount(), 5);
    QString previous;
    for (int row = 0; row < model->rowCount(); ++row) {
        const QString date = model->index(row, 0).data().toString();
        const QString time = model->index(row, 1).data().toString();
        // Dates ascending, and within a day the times descending.
        const QString key = date + QLatin1Char('|') + time.rightJustified(8, QLatin1Char('0'));
        if (row > 0 && date == previous.section(QLatin1Char('|'), 0, 0))
            QVERIFY2(key.section(QLatin1Char('|'), 1) <= previous.section(QLatin1Char('|'), 1),
                     qPrintable(key));
        else if (row > 0)
            QVERIFY2(date > previous.section(QLatin1Char('|'), 0, 0), qPrintable(key));
        previous = key;
    }
}

void TestJetInstall::backupIsByteForByteAndRestoresAcrossEngines()
{
    const QString stick = install().addDrive(QLatin1Char('e'));
    COPY_FIXTURE_OR_SKIP(QStringLiteral("jet4/edge.mdb"), install().database());
    const QByteArray jetBytes = TempInstall::readAll(install().database());
    db_open();

    // Jet install → stick: the bytes as they are.
    QCOMPARE(backUpDatabase(BackupSource::Install, QStringLiteral("e:")), BackupOutcome::Copied);
    QCOMPARE(TempInstall::readAll(stick + QStringLiteral("/DB.mdb")), jetBytes);

    // An SQLite stick file over the Jet install: the tool goes on with it.
    QFile::remove(stick + QStringLiteral("/DB.mdb"));
    install().createDatabase(stick + QStringLiteral("/DB.mdb"),
                             QStringLiteral("insert into list(barcode) values('7001')"));
    RestoreResult restored = restoreDatabase(QStringLiteral("e:"));
    QCOMPARE(restored.outcome, RestoreOutcome::Restored);
    QVERIFY(db_connection->format() != engine::DatabaseFormat::Jet);
    QCOMPARE(TempInstall::readAll(install().database() + QStringLiteral(".before-restore")),
             jetBytes);
    exportRoster(RosterLayout::Check);
    QVERIFY(listCsv(install()).startsWith("\"7001\""));

    // And back: the Jet file over the SQLite install, byte for byte.
    QFile::remove(stick + QStringLiteral("/DB.mdb"));
    QVERIFY(QFile::copy(install().database() + QStringLiteral(".before-restore"),
                        stick + QStringLiteral("/DB.mdb")));
    restored = restoreDatabase(QStringLiteral("e:"));
    QCOMPARE(restored.outcome, RestoreOutcome::Restored);
    QVERIFY(db_connection->format() == engine::DatabaseFormat::Jet);
    QCOMPARE(TempInstall::readAll(install().database()), jetBytes);
    exportRoster(RosterLayout::Check);
    QVERIFY(listCsv(install()).startsWith("\"1001\""));
}

QTEST_MAIN(TestJetInstall)
#include "tst_jet_install.moc"
