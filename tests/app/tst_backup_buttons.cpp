// The backup section of the settings window, driven as an operator would:
// pick a drive, click, read the status line, look at the files.

#include "app/DriveList.h"
#include "app/ProgramEnd.h"
#include "app/StartUp.h"
#include "app/export_frm.h"
#include "common/GuiTestBase.h"
#include "db/db.h"
#include "engine/Connection.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTest>
#include <sqlite3.h>

namespace {

const QString copiedToDrive = QStringLiteral("ＵＳＢメモリにコピーしました。");
const QString restored = QStringLiteral("ＰＣにデータをコピーしました。");
const QString notRestored = QStringLiteral("保存できませんでした。");

QString rosterOf(const QString& barcode)
{
    return QStringLiteral("insert into list values ('%1','名前%1','なまえ','a@example.jp','',"
                          "'退室',NULL,NULL,NULL);"
                          "insert into log values ('2024-04-01','10:00:00','入室','名前%1',NULL);")
        .arg(barcode);
}

QStringList barcodes(const QString& hostPath)
{
    return TempInstall::query(hostPath, QStringLiteral("select barcode from list order by 1"));
}

// Every file of a folder, so a test sees any temporary name left behind.
QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

} // namespace

class TestBackupButtons : public GuiTestBase
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void backupReplacesDriveFile_data();
    void backupReplacesDriveFile();
    void bothInstallFolders_data();
    void bothInstallFolders();
    void onlyX86FolderShowsHintThenWarns();
    void unreadableDatabaseIsCopiedAsItIs();
    void backupToVanishedDriveIsReported_data();
    void backupToVanishedDriveIsReported();
    void restoreFromUnmountedDriveIsRefused();
    void restoreWithoutInstallFolderFails();
    void restoreWithoutFileOnDriveDoesNothing();
    void badDriveFilesAreRefused_data();
    void badDriveFilesAreRefused();
    void restoreReachesOpenConnections_data();
    void restoreReachesOpenConnections();
    void restoreOverUnreadableDatabaseReopens();
    void driveInsertedAfterStartUpCanBeChosen();
    void backupLeavesOutUncommittedWrites();
    void restoreWhileProductWritesChangesNothing();

private:
    QString m_stick;
};

void TestBackupButtons::init()
{
    GuiTestBase::init();
    if (QTest::currentTestFailed())
        return;
    m_stick = install().addDrive(QLatin1Char('e'));
}

void TestBackupButtons::backupReplacesDriveFile_data()
{
    QTest::addColumn<QString>("journalMode");
    QTest::newRow("rollback-journal") << QStringLiteral("delete");
    QTest::newRow("wal") << QStringLiteral("wal");
}

void TestBackupButtons::backupReplacesDriveFile()
{
    QFETCH(QString, journalMode);
    install().createDatabase(install().database(), rosterOf(QStringLiteral("1001")));
    TempInstall::execute(install().database(),
                         QStringLiteral("PRAGMA journal_mode=%1").arg(journalMode));
    install().createDatabase(m_stick + QStringLiteral("/DB.mdb"), rosterOf(QStringLiteral("9")));
    startUp();
    export_frm* window = settings();
    QVERIFY(window);
    MessageBoxRecorder boxes;
    QVERIFY(chooseDrive("Drive1", "e:"));
    QVERIFY(clickButton("Command4"));

    QCOMPARE(window->label12()->text(), copiedToDrive);
    QCOMPARE(barcodes(m_stick + QStringLiteral("/DB.mdb")), QStringList{QStringLiteral("1001")});
    // One self-contained file, whatever mode the live one is in.
    QCOMPARE(filesIn(m_stick), QStringList{QStringLiteral("DB.mdb")});
    QCOMPARE(TempInstall::query(m_stick + QStringLiteral("/DB.mdb"),
                                QStringLiteral("PRAGMA journal_mode")),
             QStringList{QStringLiteral("delete")});
    QVERIFY(boxes.boxes().isEmpty());
    QVERIFY(window->label13()->text().isEmpty());
    QVERIFY(!programEnded());
}

void TestBackupButtons::bothInstallFolders_data()
{
    QTest::addColumn<bool>("fromX86");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("boxCount");
    QTest::newRow("Command4 copies Program Files") << false << QStringLiteral("1001") << 0;
    QTest::newRow("Label18 copies Program Files (x86)") << true << QStringLiteral("8086") << 1;
}

void TestBackupButtons::bothInstallFolders()
{
    QFETCH(bool, fromX86);
    QFETCH(QString, expected);
    QFETCH(int, boxCount);
    install().createDatabase(install().database(), rosterOf(QStringLiteral("1001")));
    install().createDatabase(install().databaseX86(), rosterOf(QStringLiteral("8086")));
    startUp();
    export_frm* window = settings();
    QVERIFY(window);
    MessageBoxRecorder boxes;
    QVERIFY(chooseDrive("Drive1", "e:"));
    if (fromX86)
        QVERIFY(clickLabel("Label18"));
    else
        QVERIFY(clickButton("Command4"));
    QCOMPARE(window->label12()->text(), copiedToDrive);
    QCOMPARE(barcodes(m_stick + QStringLiteral("/DB.mdb")), QStringList{expected});
    QCOMPARE(boxes.boxes().size(), boxCount);
}

void TestBackupButtons::onlyX86FolderShowsHintThenWarns()
{
    install().createDatabase(install().databaseX86(), rosterOf(QStringLiteral("8086")));
    startUp();
    export_frm* window = settings();
    QVERIFY(window);
    MessageBoxRecorder boxes;
    QVERIFY(chooseDrive("Drive1", "e:"));
    QVERIFY(clickButton("Command4"));
    QCOMPARE(window->label12()->text(), QStringLiteral("↓ここをクリックしてください。"));
    QVERIFY(filesIn(m_stick).isEmpty());
    QVERIFY(boxes.boxes().isEmpty());

    QVERIFY(clickLabel("Label18"));
    QCOMPARE(window->label12()->text(), copiedToDrive);
    QCOMPARE(barcodes(m_stick + QStringLiteral("/DB.mdb")), QStringList{QStringLiteral("8086")});
    QCOMPARE(boxes.boxes().size(), 1);
    const auto& box = boxes.boxes().first();
    QCOMPARE(box.prompt, QStringLiteral("【ご注意】\r\nＵＳＢメモリにコピーはできましたが、\r\n"
                                        "いまインストールが正しくない状態で利用されています。\r\n"
                                        "正しく再インストールする必要があります。"));
    QCOMPARE(box.style, 0);
    QCOMPARE(box.title, QStringLiteral("各種設定"));
    QVERIFY(!programEnded());
}

void TestBackupButtons::unreadableDatabaseIsCopiedAsItIs()
{
    // A damaged file: start-up leaves the connection closed without a word,
    // and the operator can still take it to the support desk.
    QDir().mkpath(install().installFolder());
    QByteArray damaged("SQLite format 3");
    damaged.append(QByteArray(8192, '\x5a'));
    QFile file(install().database());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(damaged);
    file.close();
    startUp();
    export_frm* window = settings();
    QVERIFY(window);
    MessageBoxRecorder boxes;
    QVERIFY(chooseDrive("Drive1", "e:"));
    QVERIFY(clickButton("Command4"));
    QCOMPARE(window->label12()->text(), copiedToDrive);
    QCOMPARE(TempInstall::readAll(m_stick + QStringLiteral("/DB.mdb")), damaged);
    QCOMPARE(filesIn(m_stick), QStringList{QStringLiteral("DB.mdb")});
    QVERIFY(boxes.boxes().isEmpty());
}

namespace {

// A mount point the list offered while the stick was in, now a plain folder
// of the system disk; the list keeps a chosen drive that is gone.
QString chooseUnmountedDrive(DriveList* list, const QString& prefix)
{
    const QString folder = prefix + QStringLiteral("/mnt/usb");
    if (!list || !QDir().mkpath(folder))
        return {};
    list->addItem(folder, folder);
    list->setCurrentIndex(list->findData(folder));
    return folder;
}

} // namespace

void TestBackupButtons::backupToVanishedDriveIsReported_data()
{
    QTest::addColumn<bool>("mountPoint");
    QTest::addColumn<QString>("report");
    QTest::newRow("letter whose folder is gone") << false << QStringLiteral("実行時エラー '76':");
    // Disk not ready: the folder is there, its volume is not.
    QTest::newRow("mount point left without its volume")
        << true << QStringLiteral("実行時エラー '71':");
}

void TestBackupButtons::backupToVanishedDriveIsReported()
{
    QFETCH(bool, mountPoint);
    QFETCH(QString, report);
    install().createDatabase(install().database(), rosterOf(QStringLiteral("1001")));
    // Drive f: is known to the machine but its medium is gone.
    const QString gone = install().addDrive(QLatin1Char('f'));
    startUp();
    export_frm* window = settings();
    QVERIFY(window);
    MessageBoxRecorder boxes;
    QString leftBehind;
    if (mountPoint) {
        leftBehind = chooseUnmountedDrive(window->drive1(), install().prefix());
        QVERIFY(!leftBehind.isEmpty());
    } else {
        QVERIFY(chooseDrive("Drive1", "f:"));
        QVERIFY(QDir(gone).removeRecursively());
    }
    QVERIFY(clickButton("Command4"));
    QCOMPARE(boxes.boxes().size(), 1);
    QVERIFY2(boxes.boxes().first().prompt.startsWith(report),
             qPrintable(boxes.boxes().first().prompt));
    QVERIFY(programEnded());
    QVERIFY(window->label12()->text().isEmpty());
    if (mountPoint)
        QVERIFY(filesIn(leftBehind).isEmpty());
}

void TestBackupButtons::restoreFromUnmountedDriveIsRefused()
{
    install().createDatabase(install().database(), rosterOf(QStringLiteral("1001")));
    startUp();
    export_frm* window = settings();
    QVERIFY(window);
    MessageBoxRecorder boxes;
    const QString leftBehind = chooseUnmountedDrive(window->drive2(), install().prefix());
    QVERIFY(!leftBehind.isEmpty());
    // An old copy once written there while the stick was out.
    install().createDatabase(leftBehind + QStringLiteral("/DB.mdb"), rosterOf(QStringLiteral("9")));
    QVERIFY(clickButton("Command5"));
    QCOMPARE(window->label13()->text(), notRestored);
    QCOMPARE(barcodes(install().database()), QStringList{QStringLiteral("1001")});
    QCOMPARE(filesIn(install().installFolder()), QStringList{QStringLiteral("DB.mdb")});
    QVERIFY(boxes.boxes().isEmpty());
    QVERIFY(!programEnded());
}

void TestBackupButtons::restoreWithoutInstallFolderFails()
{
    install().createDatabase(install().databaseX86(), rosterOf(QStringLiteral("8086")));
    install().createDatabase(m_stick + QStringLiteral("/DB.mdb"), rosterOf(QStringLiteral("9")));
    startUp();
    export_frm* window = settings();
    QVERIFY(window);
    MessageBoxRecorder boxes;
    QVERIFY(chooseDrive("Drive2", "e:"));
    QVERIFY(clickButton("Command5"));
    QCOMPARE(window->label13()->text(), notRestored);
    QVERIFY(boxes.boxes().isEmpty());
    QVERIFY(!QFileInfo::exists(install().installFolder()));
    QVERIFY(!programEnded());
}

void TestBackupButtons::restoreWithoutFileOnDriveDoesNothing()
{
    install().createDatabase(install().database(), rosterOf(QStringLiteral("1001")));
    startUp();
    export_frm* window = settings();
    QVERIFY(window);
    MessageBoxRecorder boxes;
    QVERIFY(chooseDrive("Drive2", "e:"));
    window->label13()->setText(restored);
    QVERIFY(clickButton("Command5"));
    QCOMPARE(window->label13()->text(), restored);
    QCOMPARE(filesIn(install().installFolder()), QStringList{QStringLiteral("DB.mdb")});
    QVERIFY(boxes.boxes().isEmpty());
}

void TestBackupButtons::badDriveFilesAreRefused_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("sql"); // when the file is a database

    QTest::newRow("zero bytes") << QByteArray() << QString();
    QTest::newRow("random bytes") << QByteArray::fromHex("8f3a11c0ffee00421337").repeated(900)
                                  << QString();
    QTest::newRow("text file") << QByteArray("\"1001\",\"佐藤\",\"さとう\",\"\",\"\",0,1\r\n")
                               << QString();
    QTest::newRow("truncated") << QByteArray("truncate") << QString();
    QTest::newRow("no list") << QByteArray() << QStringLiteral("drop table list");
    QTest::newRow("no log") << QByteArray() << QStringLiteral("drop table log");
    QTest::newRow("list without kana")
        << QByteArray() << QStringLiteral("alter table list drop column kana");
}

void TestBackupButtons::badDriveFilesAreRefused()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, sql);
    install().createDatabase(install().database(), rosterOf(QStringLiteral("1001")));
    const QByteArray before = TempInstall::readAll(install().database());
    const QString driveFile = m_stick + QStringLiteral("/DB.mdb");
    if (!sql.isEmpty() || content == "truncate") {
        install().createDatabase(driveFile, rosterOf(QStringLiteral("9")));
        for (int i = 0; i < 200; ++i)
            TempInstall::execute(driveFile, rosterOf(QString::number(i)));
        if (!sql.isEmpty())
            TempInstall::execute(driveFile, sql);
        if (content == "truncate") {
            QFile f(driveFile);
            QVERIFY(f.resize(f.size() / 2));
        }
    } else {
        QFile f(driveFile);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    startUp();
    export_frm* window = settings();
    QVERIFY(window);
    MessageBoxRecorder boxes;
    QVERIFY(chooseDrive("Drive2", "e:"));
    QVERIFY(clickButton("Command5"));
    QCOMPARE(window->label13()->text(), notRestored);
    const QString reason = window->label13()->toolTip();
    QVERIFY2(
        reason.startsWith(QStringLiteral("e:\\DB.mdb は Tavenro のデータベースとして使えません。")),
        qPrintable(reason));
    QVERIFY(boxes.boxes().isEmpty());
    QCOMPARE(TempInstall::readAll(install().database()), before);
    QCOMPARE(filesIn(install().installFolder()), QStringList{QStringLiteral("DB.mdb")});
    QVERIFY(!programEnded());
}

void TestBackupButtons::restoreReachesOpenConnections_data()
{
    QTest::addColumn<QString>("journalMode");
    QTest::newRow("rollback-journal") << QStringLiteral("delete");
    QTest::newRow("wal") << QStringLiteral("wal");
}

void TestBackupButtons::restoreReachesOpenConnections()
{
    QFETCH(QString, journalMode);
    install().createDatabase(install().database(), rosterOf(QStringLiteral("1001")));
    TempInstall::execute(install().database(),
                         QStringLiteral("PRAGMA journal_mode=%1").arg(journalMode));
    install().createDatabase(m_stick + QStringLiteral("/DB.mdb"),
                             rosterOf(QStringLiteral("2001")) + rosterOf(QStringLiteral("2002")));
    startUp();
    export_frm* window = settings();
    QVERIFY(window);
    // The product's connection, open and idle before the restore.
    int rc = SQLITE_OK;
    const engine::detail::SqliteHandle product = engine::detail::openSqliteHandle(
        QFile::encodeName(install().database()).constData(), SQLITE_OPEN_READWRITE, &rc);
    QCOMPARE(rc, SQLITE_OK);
    QCOMPARE(sqlite3_exec(product.get(), "select count(*) from list", nullptr, nullptr, nullptr),
             SQLITE_OK);

    MessageBoxRecorder boxes;
    ShellRecorder starts;
    QVERIFY(chooseDrive("Drive2", "e:"));
    QVERIFY(clickButton("Command5"));
    QCOMPARE(window->label13()->text(), restored);
    QVERIFY(boxes.boxes().isEmpty());

    // The safety copy holds what was there, as one file of its own.
    const QString safety = install().database() + QStringLiteral(".before-restore");
    QCOMPARE(barcodes(safety), QStringList{QStringLiteral("1001")});
    QVERIFY(!QFileInfo::exists(install().database() + QStringLiteral(".tmp")));
    QVERIFY(!QFileInfo::exists(safety + QStringLiteral(".tmp")));

    // The product reads the restored roster and can write.
    QCOMPARE(sqlite3_exec(product.get(),
                          "insert into list (barcode) select '2003' where "
                          "(select count(*) from list where barcode like '200%') = 2",
                          nullptr, nullptr, nullptr),
             SQLITE_OK);
    QCOMPARE(sqlite3_changes(product.get()), 1);
    QCOMPARE(barcodes(install().database()),
             (QStringList{QStringLiteral("2001"), QStringLiteral("2002"), QStringLiteral("2003")}));

    // An export right after shows the restored roster, through db_connection.
    QVERIFY(clickButton("Command1"));
    const QByteArray csv =
        TempInstall::readAll(install().installFolder() + QStringLiteral("/list.csv"));
    QVERIFY2(csv.startsWith("\"2001\"") && csv.count("\r\n") == 3, csv.constData());
    QCOMPARE(starts.starts().size(), 1);
    QVERIFY(!programEnded());
}

void TestBackupButtons::restoreOverUnreadableDatabaseReopens()
{
    QDir().mkpath(install().installFolder());
    const QByteArray damaged = QByteArray("not a database at all ").repeated(400);
    QFile file(install().database());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(damaged);
    file.close();
    install().createDatabase(m_stick + QStringLiteral("/DB.mdb"), rosterOf(QStringLiteral("2001")));
    startUp();
    export_frm* window = settings();
    QVERIFY(window);
    QVERIFY(!db_open_failure().isEmpty());
    MessageBoxRecorder boxes;
    ShellRecorder starts;
    QVERIFY(chooseDrive("Drive2", "e:"));
    QVERIFY(clickButton("Command5"));
    QCOMPARE(window->label13()->text(), restored);
    QCOMPARE(TempInstall::readAll(install().database() + QStringLiteral(".before-restore")),
             damaged);
    QCOMPARE(barcodes(install().database()), QStringList{QStringLiteral("2001")});
    QVERIFY(clickButton("Command1"));
    const QByteArray csv =
        TempInstall::readAll(install().installFolder() + QStringLiteral("/list.csv"));
    QVERIFY2(csv.startsWith("\"2001\""), csv.constData());
    QVERIFY(boxes.boxes().isEmpty());
    QVERIFY(!programEnded());
}

void TestBackupButtons::driveInsertedAfterStartUpCanBeChosen()
{
    install().createDatabase(install().database(), rosterOf(QStringLiteral("1001")));
    startUp();
    export_frm* window = settings();
    QVERIFY(window);
    DriveList* list = window->drive1();
    QVERIFY(list);
    QVERIFY(chooseDrive("Drive1", "e:"));
    window->label12()->setText(copiedToDrive);
    QCOMPARE(list->findData(QStringLiteral("g:")), -1);

    const QString stick = install().addDrive(QLatin1Char('g'));
    list->showPopup();
    list->hidePopup();
    QVERIFY(list->findData(QStringLiteral("g:")) >= 0);
    // Reading the list again is no change of drive.
    QCOMPARE(list->drive(), QStringLiteral("e:"));
    QCOMPARE(window->label12()->text(), copiedToDrive);

    QVERIFY(chooseDrive("Drive1", "g:"));
    QVERIFY(window->label12()->text().isEmpty());
    QVERIFY(clickButton("Command4"));
    QCOMPARE(barcodes(stick + QStringLiteral("/DB.mdb")), QStringList{QStringLiteral("1001")});
}

void TestBackupButtons::backupLeavesOutUncommittedWrites()
{
    install().createDatabase(install().database(), rosterOf(QStringLiteral("1001")));
    startUp();
    export_frm* window = settings();
    QVERIFY(window);
    // The product is mid-transaction: its row is not data yet.
    HeldWriteLock product(install().database());
    QVERIFY(product.isHeld());
    QVERIFY(product.execute("insert into list (barcode) values ('1002')"));
    MessageBoxRecorder boxes;
    QVERIFY(chooseDrive("Drive1", "e:"));
    QVERIFY(clickButton("Command4"));
    QCOMPARE(window->label12()->text(), copiedToDrive);
    QCOMPARE(barcodes(m_stick + QStringLiteral("/DB.mdb")), QStringList{QStringLiteral("1001")});
    // And the product goes on to commit it.
    QVERIFY(product.execute("COMMIT"));
    QCOMPARE(barcodes(install().database()),
             (QStringList{QStringLiteral("1001"), QStringLiteral("1002")}));
}

void TestBackupButtons::restoreWhileProductWritesChangesNothing()
{
    install().createDatabase(install().database(), rosterOf(QStringLiteral("1001")));
    install().createDatabase(m_stick + QStringLiteral("/DB.mdb"), rosterOf(QStringLiteral("2001")));
    startUp();
    export_frm* window = settings();
    QVERIFY(window);
    engine::Connection::setBusyTimeout(300);
    {
        HeldWriteLock product(install().database());
        QVERIFY(product.isHeld());
        QVERIFY(product.execute("insert into list (barcode) values ('1002')"));
        MessageBoxRecorder boxes;
        QVERIFY(chooseDrive("Drive2", "e:"));
        QVERIFY(clickButton("Command5"));
        QCOMPARE(window->label13()->text(), notRestored);
        // Why, for the operator who points at it and for a screen reader.
        const QString reason = window->label13()->toolTip();
        QVERIFY2(reason.contains(QStringLiteral("c:\\Program Files\\Tavenro\\DB.mdb")) &&
                     reason.contains(QStringLiteral("ロック")),
                 qPrintable(reason));
        QCOMPARE(window->label13()->accessibleDescription(), reason);
        QVERIFY(boxes.boxes().isEmpty());
        QVERIFY(product.execute("COMMIT"));
    }
    engine::Connection::setBusyTimeout(5000);
    QCOMPARE(barcodes(install().database()),
             (QStringList{QStringLiteral("1001"), QStringLiteral("1002")}));
    for (const QString& name : filesIn(install().installFolder()))
        QVERIFY2(!name.endsWith(QLatin1String(".tmp")), qPrintable(name));
    QVERIFY(!programEnded());
}

QTEST_MAIN(TestBackupButtons)
#include "tst_backup_buttons.moc"
