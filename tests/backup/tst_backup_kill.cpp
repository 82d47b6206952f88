// The backup and the restore killed (SIGKILL) at random moments in a helper
// process: after every trial the drive holds its previous or its new backup,
// whole; the install database is sound with its old or its new data; what a
// killed run left under a temporary name is cleared by the next run.

#include "BackupFixture.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>
#include <chrono>
#include <thread>

namespace {

constexpr int trialsPerRow = 200;

struct Outcome
{
    bool killed = false; // false: it finished before the signal
    int exitCode = -1;
    qint64 micros = 0; // from "go" to its end
};

// Starts the helper, waits for it to begin the operation, and kills it after
// delay microseconds (never, when delay is negative).
Outcome runAndKill(const QString& operation, qint64 delay)
{
    QProcess child;
    child.setProcessEnvironment(childEnvironment());
    child.start(childProgram(), {operation, QStringLiteral("e:")});
    Outcome outcome;
    if (!child.waitForStarted(10000))
        return outcome;
    while (!child.canReadLine() && child.waitForReadyRead(10000)) {
    }
    QElapsedTimer clock;
    clock.start();
    if (delay >= 0) {
        std::this_thread::sleep_for(std::chrono::microseconds(delay));
        child.kill();
    }
    child.waitForFinished(30000);
    outcome.micros = clock.nsecsElapsed() / 1000;
    outcome.killed = child.exitStatus() == QProcess::CrashExit;
    outcome.exitCode = outcome.killed ? -1 : child.exitCode();
    return outcome;
}

bool isLeftover(const QString& name)
{
    return name.startsWith(QLatin1String("DB.mdb.tmp")) ||
           name.startsWith(QLatin1String("DB.mdb.before-restore.tmp"));
}

} // namespace

class TestBackupKill : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void killedAtRandom_data();
    void killedAtRandom();

private:
    std::unique_ptr<BackupMachine> m_machine;
};

void TestBackupKill::init()
{
    m_machine = std::make_unique<BackupMachine>();
    QVERIFY(m_machine->install.isValid());
}

void TestBackupKill::cleanup()
{
    m_machine.reset();
}

void TestBackupKill::killedAtRandom_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("journalMode");
    for (const char* op : {"backup", "restore"}) {
        for (const char* mode : {"delete", "wal"})
            QTest::addRow("%s-%s", op, mode)
                << QString::fromLatin1(op) << QString::fromLatin1(mode);
    }
}

void TestBackupKill::killedAtRandom()
{
    QFETCH(QString, operation);
    QFETCH(QString, journalMode);
    const bool backup = operation == QLatin1String("backup");
    const QString live = m_machine->install.database();
    const QString stick = m_machine->stickDatabase();
    const QString folder = backup ? m_machine->stick : m_machine->install.installFolder();
    makeDatabase(live, QStringLiteral("A"), 3000, journalMode);
    makeDatabase(stick, QStringLiteral("B"), 2000, QStringLiteral("delete"));

    // How long one run takes here, so the kills spread over all of it.
    qint64 longest = 0;
    for (int i = 0; i < 3; ++i) {
        const Outcome o = runAndKill(operation, -1);
        QCOMPARE(o.exitCode, 0);
        longest = std::max(longest, o.micros);
        TempInstall::execute(live, QStringLiteral("insert into log (備考2) values ('warm-up')"));
    }

    QRandomGenerator random(20261207);
    int killed = 0, finished = 0, newData = 0, oldData = 0, leftovers = 0;
    QString stickBefore = stateOf(stick).content;
    for (int trial = 0; trial < trialsPerRow; ++trial) {
        // Each trial starts with the two sides different.
        QString liveBefore = stateOf(live).content;
        if (liveBefore == stateOf(stick).content) {
            TempInstall::execute(
                live, QStringLiteral("insert into log (備考2) values ('%1')").arg(trial));
            liveBefore = stateOf(live).content;
        }
        const QString expectedNew = backup ? liveBefore : stickBefore;
        const QString expectedOld = backup ? stickBefore : liveBefore;

        const Outcome o = runAndKill(operation, qint64(random.bounded(double(longest) * 1.2)));
        (o.killed ? killed : finished)++;

        const DatabaseState changed = stateOf(backup ? stick : live);
        QVERIFY2(changed.sound(),
                 qPrintable(QStringLiteral("trial %1: %2").arg(trial).arg(changed.integrity)));
        QVERIFY2(changed.content == expectedNew || changed.content == expectedOld,
                 qPrintable(QStringLiteral("trial %1 holds neither version").arg(trial)));
        (changed.content == expectedNew ? newData : oldData)++;
        if (!o.killed) {
            QCOMPARE(o.exitCode, 0);
            QCOMPARE(changed.content, expectedNew);
        }
        // The side that is only read stays as it was.
        const DatabaseState other = stateOf(backup ? live : stick);
        QVERIFY(other.sound());
        QCOMPARE(other.content, backup ? liveBefore : stickBefore);
        const QString safety = live + QStringLiteral(".before-restore");
        if (!backup && QFileInfo::exists(safety))
            QVERIFY2(stateOf(safety).sound(), qPrintable(QStringLiteral("trial %1").arg(trial)));

        const QStringList files = filesIn(folder);
        bool leftover = false;
        for (const QString& name : files)
            leftover = leftover || isLeftover(name);
        QVERIFY2(o.killed || !leftover, qPrintable(files.join(QLatin1Char(' '))));
        leftovers += leftover;
        if (backup)
            stickBefore = changed.content;
    }

    // A run after the last kill clears whatever the killed ones left.
    TempInstall::execute(live, QStringLiteral("insert into log (備考2) values ('last')"));
    QCOMPARE(runAndKill(operation, -1).exitCode, 0);
    for (const QString& name : filesIn(folder))
        QVERIFY2(!isLeftover(name), qPrintable(name));

    qInfo("%s: %d trials (kills spread over %lld µs): %d killed, %d finished first; %d hold the "
          "new data, %d the old; %d left a temporary file for the next run; 0 invariant failures",
          QTest::currentDataTag(), trialsPerRow, longest, killed, finished, newData, oldData,
          leftovers);
}

QTEST_GUILESS_MAIN(TestBackupKill)
#include "tst_backup_kill.moc"
