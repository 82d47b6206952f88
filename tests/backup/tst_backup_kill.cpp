// The backup and the restore killed (SIGKILL) at random moments in a helper
// process: after every trial the drive holds its previous or its new backup,
// whole; the install database is sound with its old or its new data; what a
// killed run left under a temporary name is cleared by the next run.

#include "backup/BackupFixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>
#include <chrono>
#include <thread>

namespace {

// Under the sanitizers every start of the helper costs several times as much:
// fewer trials keep the run well inside its time limit on a busy machine.
#if defined(__SANITIZE_ADDRESS__)
#define TAVENRO_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TAVENRO_SANITIZED 1
#endif
#endif
#ifdef TAVENRO_SANITIZED
constexpr int trialsPerRow = 25;
constexpr const char* trialsNote = ", fewer under the sanitizers";
#else
constexpr int trialsPerRow = 200;
constexpr const char* trialsNote = "";
#endif

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
    for (const char* mode : {"delete", "wal"}) {
        for (const char* op : {"backup", "restore"})
            QTest::addRow("%s-%s", op, mode)
                << QString::fromLatin1(op) << QString::fromLatin1(mode);
    }
    // Start-up could not open the install file: the new one takes its name.
    QTest::newRow("restore-unreadable")
        << QStringLiteral("restore") << QStringLiteral("unreadable");
}

void TestBackupKill::killedAtRandom()
{
    QFETCH(QString, operation);
    QFETCH(QString, journalMode);
    const bool backup = operation == QLatin1String("backup");
    const QString live = m_machine->install.database();
    const QString stick = m_machine->stickDatabase();
    const QString folder = backup ? m_machine->stick : m_machine->install.installFolder();
    const QByteArray unreadable =
        journalMode == QLatin1String("unreadable")
            ? QByteArray("SQLite format 3").append(QByteArray(200000, '\x5a'))
            : QByteArray();
    // What a file holds: a sound database's content, "unreadable" for the
    // untouched unreadable file, else the engine's complaint.
    auto version = [&](const QString& path) {
        if (!unreadable.isEmpty() && TempInstall::readAll(path) == unreadable)
            return QStringLiteral("unreadable");
        const DatabaseState state = stateOf(path);
        return state.sound() ? state.content : QStringLiteral("unsound: ") + state.integrity;
    };
    // Makes the install side differ from the drive's file again.
    auto changeLive = [&](const QString& note) {
        if (unreadable.isEmpty()) {
            TempInstall::execute(live,
                                 QStringLiteral("insert into log (備考2) values ('%1')").arg(note));
            return;
        }
        for (const char* companion : {"-journal", "-wal", "-shm"})
            QFile::remove(live + QLatin1String(companion));
        QFile f(live);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(unreadable);
    };
    QDir().mkpath(m_machine->install.installFolder());
    if (unreadable.isEmpty())
        makeDatabase(live, QStringLiteral("A"), 3000, journalMode);
    else
        changeLive(QString());
    makeDatabase(stick, QStringLiteral("B"), 2000, QStringLiteral("delete"));

    // How long one run takes here, so the kills spread over all of it.
    qint64 longest = 0;
    for (int i = 0; i < 3; ++i) {
        const Outcome o = runAndKill(operation, -1);
        QCOMPARE(o.exitCode, 0);
        longest = std::max(longest, o.micros);
        changeLive(QStringLiteral("warm-up"));
    }

    QRandomGenerator random(20261207);
    int killed = 0, finished = 0, newData = 0, oldData = 0, leftovers = 0;
    QString stickBefore = version(stick);
    for (int trial = 0; trial < trialsPerRow; ++trial) {
        // Each trial starts with the two sides different.
        if (version(live) == version(stick))
            changeLive(QString::number(trial));
        const QString liveBefore = version(live);
        const QString expectedNew = backup ? liveBefore : stickBefore;
        const QString expectedOld = backup ? stickBefore : liveBefore;

        const Outcome o = runAndKill(operation, qint64(random.bounded(double(longest) * 1.2)));
        (o.killed ? killed : finished)++;

        const QString changed = version(backup ? stick : live);
        QVERIFY2(changed == expectedNew || changed == expectedOld,
                 qPrintable(QStringLiteral("trial %1 holds neither version: %2")
                                .arg(trial)
                                .arg(changed.left(80))));
        (changed == expectedNew ? newData : oldData)++;
        if (!o.killed) {
            QCOMPARE(o.exitCode, 0);
            QCOMPARE(changed, expectedNew);
        }
        // The side that is only read stays as it was.
        QCOMPARE(version(backup ? live : stick), backup ? liveBefore : stickBefore);
        const QString safety = live + QStringLiteral(".before-restore");
        if (!backup && QFileInfo::exists(safety))
            QVERIFY2(!version(safety).startsWith(QLatin1String("unsound")),
                     qPrintable(QStringLiteral("trial %1").arg(trial)));

        const QStringList files = filesIn(folder);
        bool leftover = false;
        for (const QString& name : files)
            leftover = leftover || isLeftover(name);
        QVERIFY2(o.killed || !leftover, qPrintable(files.join(QLatin1Char(' '))));
        leftovers += leftover;
        if (backup)
            stickBefore = changed;
    }

    // A run after the last kill clears whatever the killed ones left.
    changeLive(QStringLiteral("last"));
    QCOMPARE(runAndKill(operation, -1).exitCode, 0);
    for (const QString& name : filesIn(folder))
        QVERIFY2(!isLeftover(name), qPrintable(name));

    qInfo("%s: %d trials (kills spread over %lld µs%s): %d killed, %d finished first; %d hold the "
          "new data, %d the old; %d left a temporary file for the next run; 0 invariant failures",
          QTest::currentDataTag(), trialsPerRow, longest, trialsNote, killed, finished, newData,
          oldData, leftovers);
}

QTEST_GUILESS_MAIN(TestBackupKill)
#include "tst_backup_kill.moc"
