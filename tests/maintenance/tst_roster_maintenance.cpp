#include "common/SeamRecorders.h"
#include "common/TempInstall.h"
#include "db/db.h"
#include "maintenance/RosterMaintenance.h"
#include "platform/Error.h"

#include <QtTest>

namespace {

// A roster like a classroom's at the end of a day: two still in, one who left,
// one never came, and a status the tool does not know.
const QString roster = QStringLiteral(
    "insert into list values "
    "('1001','佐藤 花子','さとう はなこ','h@example.jp','二年生','入室','2024-04-01 "
    "09:15:00','09:15:00',NULL),"
    "('1002','髙橋 ①郎','たかはし いちろう',NULL,'','入室','2024-04-01 "
    "10:02:00','10:02:00','10:30:00'),"
    "('1004','O\"Neil','おにーる',' ','','退室','2024-03-31 08:00:00','08:00:00','08:30:00'),"
    "('1005','鈴木 一郎','すずき いちろう','','','空き',NULL,NULL,NULL),"
    "('1006','吉田 葵','よしだ あおい','','','休み','2024-03-30 08:00:00',NULL,'09:00:00');"
    "insert into log values ('2024-04-01','10:00:00','入室','佐藤 花子',NULL),"
    "('2024-04-01','15:00:00','退室','佐藤 花子','帰宅');");

const QString everyRow =
    QStringLiteral("select barcode,[状況],[在室時間],time,time2 from list order by barcode");
const QString history = QStringLiteral("select * from log order by rowid");

const QString checkoutPrompt =
    QStringLiteral("前回、退室時に認証を忘れた生徒を退室にします。　\r\nよろしいですか？　　");
const QString deletePrompt =
    QStringLiteral("全ての登録生徒を一括削除します。　　\r\n復活できませんがよろしいですか？　　");

} // namespace

class TestRosterMaintenance : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void declinedChangesNothing_data();
    void declinedChangesNothing();
    void checkOutEveryStudent();
    void checkOutEmptyRoster();
    void deleteEveryStudent();
    void onlyX86Installation();
    void failedCheckOutChangesNothing_data();
    void failedCheckOutChangesNothing();

private:
    std::unique_ptr<TempInstall> m_install;
};

void TestRosterMaintenance::init()
{
    db_reset();
    engine::Connection::setBusyTimeout(300);
    m_install = std::make_unique<TempInstall>();
}

void TestRosterMaintenance::cleanup()
{
    db_reset();
    m_install.reset();
    engine::Connection::setBusyTimeout(5000);
}

void TestRosterMaintenance::declinedChangesNothing_data()
{
    QTest::addColumn<bool>("checkOut");
    QTest::addColumn<int>("answer");

    QTest::newRow("check-out-no") << true << int(platform::vbNo);
    QTest::newRow("check-out-box-closed") << true << int(platform::vbCancel);
    QTest::newRow("delete-no") << false << int(platform::vbNo);
    QTest::newRow("delete-box-closed") << false << int(platform::vbCancel);
}

void TestRosterMaintenance::declinedChangesNothing()
{
    QFETCH(bool, checkOut);
    QFETCH(int, answer);
    m_install->createDatabase(m_install->database(), roster);
    db_open();
    const QByteArray before = TempInstall::readAll(m_install->database());

    MessageBoxRecorder boxes({answer});
    checkOut ? checkOutAllStudents() : deleteAllStudents();

    QCOMPARE(boxes.boxes().size(), 1);
    const auto& box = boxes.boxes().first();
    QCOMPARE(box.prompt, checkOut ? checkoutPrompt : deletePrompt);
    QCOMPARE(box.style, 52);
    QCOMPARE(box.title,
             checkOut ? QStringLiteral("退室処理") : QStringLiteral("全登録生徒の一括削除"));
    QCOMPARE(TempInstall::readAll(m_install->database()), before);
}

void TestRosterMaintenance::checkOutEveryStudent()
{
    m_install->createDatabase(m_install->database(), roster);
    db_open();
    const QStringList logBefore = TempInstall::query(m_install->database(), history);

    MessageBoxRecorder boxes({platform::vbYes});
    checkOutAllStudents();

    QCOMPARE(TempInstall::query(m_install->database(), everyRow),
             QStringList({
                 QStringLiteral("1001|空き|NULL|NULL|NULL"),
                 QStringLiteral("1002|空き|NULL|NULL|NULL"),
                 QStringLiteral("1004|空き|2024-03-31 08:00:00|NULL|NULL"),
                 QStringLiteral("1005|空き|NULL|NULL|NULL"),
                 QStringLiteral("1006|空き|2024-03-30 08:00:00|NULL|NULL"),
             }));
    QCOMPARE(TempInstall::query(m_install->database(), history), logBefore);
    QCOMPARE(boxes.boxes().size(), 2);
    QCOMPARE(boxes.boxes().at(1).prompt,
             QStringLiteral("全ての生徒が退室したことになりました。　　"));
    QCOMPARE(boxes.boxes().at(1).style, 6);
    QCOMPARE(boxes.boxes().at(1).title, QStringLiteral("退室処理"));
    QCOMPARE(db_sql, QStringLiteral("update list set [time2]= NULL"));
}

void TestRosterMaintenance::checkOutEmptyRoster()
{
    m_install->createDatabase(m_install->database());
    db_open();
    MessageBoxRecorder boxes({platform::vbYes});
    checkOutAllStudents();
    QCOMPARE(boxes.boxes().size(), 2);
    QCOMPARE(boxes.boxes().at(1).style, 6);
}

void TestRosterMaintenance::deleteEveryStudent()
{
    m_install->createDatabase(m_install->database(), roster);
    db_open();
    const QStringList logBefore = TempInstall::query(m_install->database(), history);

    MessageBoxRecorder boxes({platform::vbYes});
    deleteAllStudents();

    QCOMPARE(TempInstall::query(m_install->database(), QStringLiteral("select count(*) from list")),
             QStringList{QStringLiteral("0")});
    QCOMPARE(TempInstall::query(m_install->database(), history), logBefore);
    QCOMPARE(boxes.boxes().size(), 2);
    QCOMPARE(boxes.boxes().at(1).prompt, QStringLiteral("全ての登録生徒を一括削除しました。　　"));
    QCOMPARE(boxes.boxes().at(1).style, 6);
    QCOMPARE(boxes.boxes().at(1).title, QStringLiteral("全登録生徒の一括削除"));
    QCOMPARE(db_sql, QStringLiteral("delete from list"));
}

void TestRosterMaintenance::onlyX86Installation()
{
    m_install->createDatabase(m_install->databaseX86(), roster);
    db_open();
    const QStringList before = TempInstall::query(m_install->databaseX86(), everyRow);

    {
        MessageBoxRecorder boxes({platform::vbYes});
        checkOutAllStudents();
        QCOMPARE(boxes.boxes().size(), 1);
        QCOMPARE(
            boxes.boxes().first().prompt,
            QStringLiteral("【ご注意】\r\nインストールが正しくなかったため、修復ができません。\r\n"
                           "正しく再インストールする必要があります。"));
        QCOMPARE(boxes.boxes().first().style, 6);
        QCOMPARE(boxes.boxes().first().title, QStringLiteral("退室処理"));
        QCOMPARE(TempInstall::query(m_install->databaseX86(), everyRow), before);
    }
    MessageBoxRecorder boxes({platform::vbYes});
    deleteAllStudents();
    QCOMPARE(boxes.boxes().size(), 2);
    QCOMPARE(
        TempInstall::query(m_install->databaseX86(), QStringLiteral("select count(*) from list")),
        QStringList{QStringLiteral("0")});
}

void TestRosterMaintenance::failedCheckOutChangesNothing_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("named");

    // The third statement is refused by the database itself.
    QTest::newRow("third-statement-fails") << "trigger"
                                           << "update list set [time]= NULL";
    // The product holds the write lock longer than the tool waits.
    QTest::newRow("write-lock-held") << "lock"
                                     << "ロック";
    // The product reads throughout: every update succeeds, the commit cannot.
    QTest::newRow("read-lock-held-at-commit") << "read"
                                              << "ロック";
}

void TestRosterMaintenance::failedCheckOutChangesNothing()
{
    QFETCH(QString, fault);
    QFETCH(QString, named);
    m_install->createDatabase(m_install->database(), roster);
    if (fault == QLatin1String("trigger"))
        TempInstall::execute(m_install->database(),
                             QStringLiteral("create trigger refuse before update of time on list "
                                            "begin select raise(abort, 'time is read-only'); end"));
    db_open();
    const QByteArray before = TempInstall::readAll(m_install->database());

    std::unique_ptr<HeldWriteLock> product;
    if (fault == QLatin1String("lock")) {
        product = std::make_unique<HeldWriteLock>(m_install->database());
        QVERIFY(product->isHeld());
    }
    std::unique_ptr<HeldReadLock> reader;
    if (fault == QLatin1String("read")) {
        reader = std::make_unique<HeldReadLock>(m_install->database());
        QVERIFY(reader->isHeld());
    }

    MessageBoxRecorder boxes({platform::vbYes});
    QString message;
    try {
        checkOutAllStudents();
    } catch (const platform::Error& e) {
        message = e.description();
    }
    product.reset();
    reader.reset();
    // While the error is reported, the product can write again: the tool
    // holds no lock.
    QVERIFY(HeldWriteLock(m_install->database()).isHeld());
    QVERIFY2(message.contains(named), qPrintable(message));
    QCOMPARE(boxes.boxes().size(), 1); // no completion notice
    QCOMPARE(TempInstall::readAll(m_install->database()), before);

    // The connection is still usable afterwards: no transaction was left open.
    db_execute(QStringLiteral("update list set kana = kana"));
}

QTEST_GUILESS_MAIN(TestRosterMaintenance)
#include "tst_roster_maintenance.moc"
