// Backups taken while another process writes: a writer inserts numbered
// history rows, about one a millisecond, during K backups. Every backup is
// sound and holds an unbroken run of the writer's numbers from 1; the writer
// never fails. A raw byte copy of the live file taken at a stick's pace under
// the same writer is the control: it does not hold.

#include "backup/BackupFixture.h"
#include "backup/DriveBackup.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <sqlite3.h>
#include <thread>

namespace {

constexpr int backups = 50;

// Empty when the copy is sound and holds the numbers 1 … n without a gap;
// else what is wrong. n is the highest number found.
QString checkNumbers(const QString& hostPath, qint64& n)
{
    const DatabaseState state = stateOf(hostPath);
    if (!state.sound())
        return state.integrity;
    QStringList row;
    try {
        row = TempInstall::query(hostPath,
                                 QStringLiteral("select count(*), min(cast([備考2] as integer)), "
                                                "max(cast([備考2] as integer)), count(distinct "
                                                "[備考2]) from log where [名前] = 'writer'"));
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
    const QStringList f = row.value(0).split(QLatin1Char('|'));
    if (f.size() != 4)
        return QStringLiteral("no rows");
    n = f[2].toLongLong();
    if (f[0] != f[2] || f[0] != f[3] || f[1] != QLatin1String("1"))
        return QStringLiteral("not a run from 1: count %1, min %2, max %3").arg(f[0], f[1], f[2]);
    return {};
}

// A copy as a file manager makes it, page-sized pieces at the pace of a
// slow stick, with no regard for the engine's locks.
bool rawCopy(const QString& from, const QString& to)
{
    QFile in(from), out(to);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    while (!in.atEnd()) {
        out.write(in.read(4096));
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

// The live database of both the backups and the control. The index on the
// writer's numbers (as text, so they land all over it) makes each insert
// change pages in the middle of the file, as the product's check-ins do;
// pure appends leave old pages alone and would hide a torn copy.
void makeLiveDatabase(const QString& hostPath, const QString& journalMode)
{
    makeDatabase(hostPath, QStringLiteral("A"), 1000, journalMode);
    TempInstall::execute(hostPath, QStringLiteral("create index log_note on log([備考2])"));
}

class Writer
{
public:
    Writer(const QString& database, const QString& stopFile) : m_stopFile(stopFile)
    {
        m_process.setProcessEnvironment(childEnvironment());
        m_process.start(childProgram(), {QStringLiteral("writer"), database, stopFile});
    }
    bool waitUntilWriting()
    {
        return m_process.waitForReadyRead(10000) && m_process.readLine() == "ready\n";
    }
    // Rows, failures and the longest stall in microseconds; empty when the
    // writer did not end as it should.
    QList<qint64> stop()
    {
        QFile(m_stopFile).open(QIODevice::WriteOnly);
        if (!m_process.waitForFinished(30000))
            return {};
        QList<qint64> figures;
        for (const QByteArray& f : m_process.readAll().trimmed().split(' '))
            figures << f.toLongLong();
        return figures.size() == 3 && m_process.exitCode() == 0 ? figures : QList<qint64>{};
    }

private:
    QProcess m_process;
    QString m_stopFile;
};

} // namespace

class TestBackupConcurrent : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void backupsUnderWriterAreWhole_data();
    void backupsUnderWriterAreWhole();
    void rawCopyUnderWriterIsNot();
};

void TestBackupConcurrent::backupsUnderWriterAreWhole_data()
{
    QTest::addColumn<QString>("journalMode");
    QTest::addColumn<bool>("slowStick");
    QTest::newRow("rollback-journal") << QStringLiteral("delete") << false;
    QTest::newRow("wal") << QStringLiteral("wal") << false;
    // A copy at a stick's pace, in a helper process with the fault shim:
    // without the engine's lock the writer is sure to change pages under it.
    QTest::newRow("rollback-journal, slow stick") << QStringLiteral("delete") << true;
}

void TestBackupConcurrent::backupsUnderWriterAreWhole()
{
    QFETCH(QString, journalMode);
    QFETCH(bool, slowStick);
    BackupMachine machine;
    const QString live = machine.install.database();
    makeLiveDatabase(live, journalMode);
    Writer writer(live, machine.install.prefix() + QStringLiteral("/stop"));
    QVERIFY(writer.waitUntilWriting());

    qint64 previous = 0, first = 0;
    for (int k = 0; k < backups; ++k) {
        if (slowStick) {
            QProcess child;
            QProcessEnvironment env = childEnvironment();
            env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(FAULT_SHIM));
            env.insert(QStringLiteral("FAULT_PREFIX"),
                       QFileInfo(machine.stick).canonicalFilePath());
            env.insert(QStringLiteral("FAULT_SLOW"), QStringLiteral("1000"));
            child.setProcessEnvironment(env);
            child.start(childProgram(), {QStringLiteral("backup"), QStringLiteral("e:")});
            QVERIFY(child.waitForFinished(30000));
            QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
                     qPrintable(QStringLiteral("backup %1: %2")
                                    .arg(k)
                                    .arg(QString::fromLocal8Bit(child.readAllStandardError()))));
        } else {
            QCOMPARE(backUpDatabase(BackupSource::Install, QStringLiteral("e:")),
                     BackupOutcome::Copied);
        }
        qint64 n = 0;
        const QString problem = checkNumbers(machine.stickDatabase(), n);
        QVERIFY2(problem.isEmpty(),
                 qPrintable(QStringLiteral("backup %1: %2").arg(k).arg(problem)));
        QVERIFY(n >= previous);
        previous = n;
        if (k == 0)
            first = n;
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    const QList<qint64> figures = writer.stop();
    QCOMPARE(figures.size(), 3);
    QCOMPARE(figures[1], 0);
    QVERIFY2(previous > first, "the writer made no progress during the backups");
    qInfo("%s: %d backups, each sound and gap-free (rows %lld … %lld); writer: %lld rows, "
          "%lld failures, longest stall %lld µs",
          QTest::currentDataTag(), backups, first, previous, figures[0], figures[1], figures[2]);
}

void TestBackupConcurrent::rawCopyUnderWriterIsNot()
{
    BackupMachine machine;
    const QString live = machine.install.database();
    makeLiveDatabase(live, QStringLiteral("delete"));
    Writer writer(live, machine.install.prefix() + QStringLiteral("/stop"));
    QVERIFY(writer.waitUntilWriting());

    int bad = 0;
    QString example;
    for (int k = 0; k < backups; ++k) {
        QVERIFY(rawCopy(live, machine.stickDatabase()));
        qint64 n = 0;
        const QString problem = checkNumbers(machine.stickDatabase(), n);
        if (!problem.isEmpty()) {
            ++bad;
            example = problem;
        }
    }
    const QList<qint64> figures = writer.stop();
    QCOMPARE(figures.size(), 3);
    qInfo("raw copies: %d of %d fail the check (e.g. %s)", bad, backups, qPrintable(example));
    QVERIFY2(bad > 0, "every raw copy happened to be whole");
}

QTEST_GUILESS_MAIN(TestBackupConcurrent)
#include "tst_backup_concurrent.moc"
