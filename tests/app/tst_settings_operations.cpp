// The operations started from the settings window's buttons, driven as an
// operator would: a click, the boxes answered, the database looked at.

#include "app/ProgramEnd.h"
#include "app/StartUp.h"
#include "common/GuiTestBase.h"

#include <QTest>

namespace {

const QString roster = QStringLiteral(
    "insert into list values "
    "('1001','佐藤 花子','さとう はなこ','h@example.jp','','入室','2024-04-01 "
    "09:15:00','09:15:00',NULL),"
    "('1004','O\"Neil','おにーる',' ','','退室','2024-03-31 08:00:00','08:00:00','08:30:00');"
    "insert into log values ('2024-04-01','10:00:00','入室','佐藤 花子',NULL);");

const QString everyRow =
    QStringLiteral("select barcode,[状況],[在室時間],time,time2 from list order by barcode");

} // namespace

class TestSettingsOperations : public GuiTestBase
{
    Q_OBJECT

private Q_SLOTS:
    void maintenanceButtons_data();
    void maintenanceButtons();
    void failedCheckOutIsReportedAndUndone();
    void exportButtons_data();
    void exportButtons();
    void exportWithoutInstallFolderIsReported();
};

void TestSettingsOperations::maintenanceButtons_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QStringList>("rowsAfter");
    QTest::addColumn<QStringList>("titles");

    const QStringList untouched{QStringLiteral("1001|入室|2024-04-01 09:15:00|09:15:00|NULL"),
                                QStringLiteral("1004|退室|2024-03-31 08:00:00|08:00:00|08:30:00")};
    QTest::newRow("check-out-yes")
        << "Command6" << int(platform::vbYes)
        << QStringList{QStringLiteral("1001|空き|NULL|NULL|NULL"),
                       QStringLiteral("1004|空き|2024-03-31 08:00:00|NULL|NULL")}
        << QStringList{QStringLiteral("退室処理"), QStringLiteral("退室処理")};
    QTest::newRow("check-out-no") << "Command6" << int(platform::vbNo) << untouched
                                  << QStringList{QStringLiteral("退室処理")};
    QTest::newRow("delete-yes") << "Command3" << int(platform::vbYes) << QStringList{}
                                << QStringList{QStringLiteral("全登録生徒の一括削除"),
                                               QStringLiteral("全登録生徒の一括削除")};
    QTest::newRow("delete-no") << "Command3" << int(platform::vbNo) << untouched
                               << QStringList{QStringLiteral("全登録生徒の一括削除")};
}

void TestSettingsOperations::maintenanceButtons()
{
    QFETCH(QString, button);
    QFETCH(int, answer);
    QFETCH(QStringList, rowsAfter);
    QFETCH(QStringList, titles);

    install().createDatabase(install().database(), roster);
    const QStringList history =
        TempInstall::query(install().database(), QStringLiteral("select * from log"));
    startUp();
    MessageBoxRecorder boxes({answer, platform::vbCancel});
    QVERIFY(clickButton(button));

    QStringList shownTitles;
    for (const auto& box : boxes.boxes())
        shownTitles << box.title;
    QCOMPARE(shownTitles, titles);
    QCOMPARE(TempInstall::query(install().database(), everyRow), rowsAfter);
    QCOMPARE(TempInstall::query(install().database(), QStringLiteral("select * from log")),
             history);
    QVERIFY(!programEnded());
}

void TestSettingsOperations::failedCheckOutIsReportedAndUndone()
{
    install().createDatabase(install().database(), roster);
    // The database refuses the third of the four statements.
    TempInstall::execute(install().database(),
                         QStringLiteral("create trigger refuse before update of time on list "
                                        "begin select raise(abort, 'time is read-only'); end"));
    const QStringList before = TempInstall::query(install().database(), everyRow);
    startUp();
    MessageBoxRecorder boxes({platform::vbYes});
    QVERIFY(clickButton("Command6"));

    QCOMPARE(boxes.boxes().size(), 2);
    const auto& report = boxes.boxes().at(1);
    QCOMPARE(report.title, QStringLiteral("各種設定"));
    QCOMPARE(report.style, 16);
    QVERIFY2(report.prompt.contains(QStringLiteral("update list set [time]= NULL")),
             qPrintable(report.prompt));
    QVERIFY(programEnded());
    QVERIFY(programEndStatus() != 0);
    QCOMPARE(TempInstall::query(install().database(), everyRow), before);
}

void TestSettingsOperations::exportButtons_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QByteArray>("secondLine");

    QTest::newRow("Command1-check")
        << "Command1" << QByteArray("\"1004\",\"O\"Neil\",\"\xa8\xa8\",\" \",\"\"\r\n");
    QTest::newRow("Command2-convert")
        << "Command2" << QByteArray("\"1004\",\"O\"Neil\",\"\xa8\xa8\",\" \",\"\",0,1\r\n");
    QTest::newRow("Command8-brackets")
        << "Command8" << QByteArray("\"1004\",\"O\"Neil\",\"\xa8\xa8\",\"< >\",\"\",0,1\r\n");
}

void TestSettingsOperations::exportButtons()
{
    QFETCH(QString, button);
    QFETCH(QByteArray, secondLine);
    install().createDatabase(install().database(), roster);
    TempInstall::execute(install().database(),
                         QStringLiteral("update list set kana='ｨｨ' where barcode='1004'"));
    startUp();
    MessageBoxRecorder boxes;
    ShellRecorder starts;
    QVERIFY(clickButton(button));

    const QByteArray csv =
        TempInstall::readAll(install().installFolder() + QStringLiteral("/list.csv"));
    QVERIFY2(csv.endsWith(secondLine), csv.constData());
    QCOMPARE(csv.count("\r\n"), 2);
    QCOMPARE(starts.starts().size(), 1);
    QCOMPARE(starts.starts().first().commandLine,
             QStringLiteral("notepad.exe c:\\Program Files\\Tavenro\\list.csv"));
    QCOMPARE(starts.starts().first().windowStyle, 1);
    QVERIFY(boxes.boxes().isEmpty());
    QVERIFY(!programEnded());
}

void TestSettingsOperations::exportWithoutInstallFolderIsReported()
{
    // The product lies under the "(x86)" folder only: there is nowhere to write.
    install().createDatabase(install().databaseX86(), roster);
    startUp();
    MessageBoxRecorder boxes;
    ShellRecorder starts;
    QVERIFY(clickButton("Command2"));
    QCOMPARE(boxes.boxes().size(), 1);
    QVERIFY2(boxes.boxes().first().prompt.contains(QStringLiteral("list.csv")),
             qPrintable(boxes.boxes().first().prompt));
    QVERIFY(starts.starts().isEmpty());
    QVERIFY(programEnded());
}

QTEST_MAIN(TestSettingsOperations)
#include "tst_settings_operations.moc"
