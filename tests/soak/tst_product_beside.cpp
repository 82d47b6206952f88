// Every operation of the tool while the product writes to the same database
// from a process of its own: nothing fails beyond a "busy" after the bounded
// wait, the product never fails a write, and no row it committed is lost
// except those a restore replaces on purpose.

#include "backup/DriveBackup.h"
#include "common/SeamRecorders.h"
#include "common/TempInstall.h"
#include "db/db.h"
#include "export/RosterExport.h"
#include "mail/Bsmtp.h"
#include "maintenance/RosterMaintenance.h"
#include "platform/Error.h"
#include "soak/ProductSim.h"
#include "soak/SupportServers.h"
#include "support/SupportAccount.h"
#include "support/SupportRequest.h"
#include "viewer/Adodc.h"
#include "viewer/SnapshotModel.h"

#include <QDir>
#include <QTest>
#include <functional>
#include <memory>

namespace {

const QString historyStatement = QStringLiteral(
    "select [date],[time],[状況],[名前],[備考2] from log order by [date],[time] DESC");

// Forty students, and a history of a few weeks.
const QString classroom = QStringLiteral(
    "with recursive n(i) as (select 1 union all select i + 1 from n where i < 40) "
    "insert into list([barcode],[名前],[kana],[email],[状況]) select 1000 + i, '生徒 ' || i, "
    "'せいと', 'p' || i || '@example.jp', '空き' from n;"
    "with recursive n(i) as (select 1 union all select i + 1 from n where i < 3000) "
    "insert into log select '2024-04-' || (10 + i % 20), '09:00:00', '入室', '生徒 ' || (i % 40), "
    "NULL from n;");

struct Tally
{
    int ran = 0;
    int busy = 0;
    int failed = 0;
};

} // namespace

class TestProductBeside : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void everyOperationWhileTheProductWrites_data();
    void everyOperationWhileTheProductWrites();

private:
    void run(const char* name, const std::function<void()>& operation);
    void runEveryOperation(Adodc& viewer, bool withBackup);
    void runUntilLogged(Adodc& viewer, const QString& database, qint64 firstNumber, int rows);

    std::unique_ptr<SupportServers> m_servers;
    std::unique_ptr<TempInstall> m_install;
    std::unique_ptr<ShellRecorder> m_shell;
    QString m_stick;
    Tally m_tally;
    QStringList m_summary;
};

void TestProductBeside::initTestCase()
{
    m_servers = std::make_unique<SupportServers>();
    QVERIFY2(m_servers->started(), qPrintable(m_servers->error()));
}

void TestProductBeside::cleanupTestCase()
{
    m_servers.reset();
    for (const QString& line : std::as_const(m_summary))
        qInfo("%s", qPrintable(line));
}

void TestProductBeside::init()
{
    db_reset();
    m_install = std::make_unique<TempInstall>();
    m_stick = m_install->addDrive(QLatin1Char('e'));
    m_shell = std::make_unique<ShellRecorder>();
    m_tally = {};
}

void TestProductBeside::cleanup()
{
    db_reset();
    m_shell.reset();
    QDir::setCurrent(QDir::tempPath());
    m_install.reset();
}

// One operation: a failure is tolerated only as the busy report of a lock
// held past the bounded wait.
void TestProductBeside::run(const char* name, const std::function<void()>& operation)
{
    ++m_tally.ran;
    try {
        operation();
    } catch (const platform::Error& e) {
        if (e.cause() == platform::Error::Cause::LockTimeout) {
            ++m_tally.busy;
            return;
        }
        ++m_tally.failed;
        qWarning("%s failed: %s", name, e.what());
    }
}

void TestProductBeside::runEveryOperation(Adodc& viewer, bool withBackup)
{
    MessageBoxRecorder boxes({}, platform::vbYes);
    run("check export", [] { exportRoster(RosterLayout::Check); });
    run("convert export", [] { exportRoster(RosterLayout::Convert); });
    run("bracketed export", [] { exportRoster(RosterLayout::ConvertBracketed); });
    run("check-out", [] { checkOutAllStudents(); });
    run("deletion", [] { deleteAllStudents(); });
    run("viewer", [&viewer] { viewer.refresh(); });
    if (withBackup) {
        run("backup", [] {
            if (backUpDatabase(BackupSource::Install, QStringLiteral("e:")) !=
                BackupOutcome::Copied)
                throw platform::Error(platform::Error::Generic, QStringLiteral("not copied"));
        });
    }
    run("support mail", [] {
        const SupportRequestResult sent = send_support_request();
        if (sent.outcome != SupportRequestResult::Outcome::Sent)
            throw platform::Error(platform::Error::Generic,
                                  supportFailureReason(sent.failure) + sent.detail);
    });
}

// Runs every operation round after round until the product has logged rows
// events numbered from firstNumber, so that each phase lasts as many of its
// writes whatever the machine's speed.
void TestProductBeside::runUntilLogged(Adodc& viewer, const QString& database, qint64 firstNumber,
                                       int rows)
{
    const QString count = QStringLiteral("select count(*) from log where [備考2] like 'sim %' and "
                                         "cast(substr([備考2], 5) as integer) >= %1")
                              .arg(firstNumber);
    for (int round = 0; round < 400; ++round) {
        runEveryOperation(viewer, true);
        if (TempInstall::query(database, count).value(0).toInt() >= rows)
            return;
    }
    QTest::qFail("the product logged too few events", __FILE__, __LINE__);
}

void TestProductBeside::everyOperationWhileTheProductWrites_data()
{
    QTest::addColumn<int>("intervalUs");
    // Events the product logs in each phase.
    QTest::addColumn<int>("events");
    // A scan every few seconds, scaled down; and a write every millisecond.
    QTest::newRow("realistic") << 20000 << 100;
    QTest::newRow("heavy") << 1000 << 1000;
}

void TestProductBeside::everyOperationWhileTheProductWrites()
{
    QFETCH(int, intervalUs);
    QFETCH(int, events);
    const QString database = m_install->createDatabase(m_install->database(), classroom);
    QDir::setCurrent(m_install->installFolder());
    db_open();
    QVERIFY(db_connection->isOpen());
    Adodc viewer;
    viewer.setRecordSource(historyStatement);

    // The first phase: everything but the restore; every committed row stays.
    ProductSim first;
    QVERIFY2(first.start(database, intervalUs, 1), qPrintable(first.error()));
    runUntilLogged(viewer, database, 1, events);
    if (QTest::currentTestFailed())
        return;
    QVERIFY2(first.stop(), qPrintable(first.error()));
    const QSet<qint64> afterFirst = ProductSim::loggedNumbers(database);
    int lostFirst = 0;
    for (const ProductSim::Event& event : first.committed())
        lostFirst += afterFirst.contains(event.number) ? 0 : 1;

    // The second: a restore of the last backup while the product writes.
    // What the backup holds stays, and so does every row written after the
    // restore; rows written between the backup and the restore are replaced
    // on purpose.
    const QString stickFile = m_stick + QStringLiteral("/DB.mdb");
    const QSet<qint64> onStick = ProductSim::loggedNumbers(stickFile);
    ProductSim second;
    QVERIFY2(second.start(database, intervalUs, 1000000), qPrintable(second.error()));
    runEveryOperation(viewer, false);
    runEveryOperation(viewer, false);
    const qint64 restoreBegan = ProductSim::nowUs();
    RestoreResult restored;
    run("restore", [&restored] {
        restored = restoreDatabase(QStringLiteral("e:"));
        if (restored.outcome != RestoreOutcome::Restored)
            throw platform::Error(platform::Error::Generic, restored.reason);
    });
    const qint64 restoreEnded = ProductSim::nowUs();
    runUntilLogged(viewer, database, 1000000, events);
    if (QTest::currentTestFailed())
        return;
    QVERIFY2(second.stop(), qPrintable(second.error()));

    const QSet<qint64> afterSecond = ProductSim::loggedNumbers(database);
    int lostSecond = 0;
    for (qint64 number : onStick)
        lostSecond += afterSecond.contains(number) ? 0 : 1;
    int replaced = 0, uncertain = 0, kept = 0;
    for (const ProductSim::Event& event : second.committed()) {
        const bool there = afterSecond.contains(event.number);
        if (event.beganUs > restoreEnded)
            lostSecond += there ? 0 : 1;
        else if (event.beganUs < restoreBegan)
            replaced += there ? 0 : 1;
        else
            uncertain += 1;
        kept += there ? 1 : 0;
    }

    const QString row = QString::fromLatin1(QTest::currentDataTag());
    m_summary << QStringLiteral(
                     "%1: operations run %2, busy %3, failed %4; simulator writes %5, failed %6, "
                     "longest stall %7 ms; log rows committed %8 + %9, lost %10 + %11, replaced "
                     "by the restore %12 + %13, written during the restore %14")
                     .arg(row)
                     .arg(m_tally.ran)
                     .arg(m_tally.busy)
                     .arg(m_tally.failed)
                     .arg(first.attempted() + second.attempted())
                     .arg(first.failed() + second.failed())
                     .arg(double(std::max(first.longestStallUs(), second.longestStallUs())) /
                              1000.0,
                          0, 'f', 1)
                     .arg(first.committed().size())
                     .arg(second.committed().size())
                     .arg(lostFirst)
                     .arg(lostSecond)
                     .arg(first.committed().size() - onStick.size())
                     .arg(replaced)
                     .arg(uncertain);

    QCOMPARE(m_tally.failed, 0);
    QCOMPARE(first.failed() + second.failed(), 0);
    QVERIFY2(first.failures().isEmpty() && second.failures().isEmpty(),
             (first.failures() + second.failures()).constData());
    QCOMPARE(lostFirst, 0);
    QCOMPARE(lostSecond, 0);
    // The product did write all through, and after the restore too.
    QVERIFY(first.committed().size() >= events);
    QVERIFY(kept >= events);
    QCOMPARE(restored.outcome, RestoreOutcome::Restored);
}

QTEST_GUILESS_MAIN(TestProductBeside)
#include "tst_product_beside.moc"
