// A failing medium under the backup and the restore: the Nth write, flush
// or rename fails, for every N until the operation gets through, and a real
// "file too large" from a file size limit. After each trial the drive holds
// its previous or its new complete backup, the install database is sound
// with its old or its new data, and no temporary file is left. A stick that
// inverts a byte without a word is caught by the check of the written copy;
// each file is flushed before its rename, and its folder right after.

#include "backup/BackupFixture.h"
#include "common/Mounts.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>

namespace {

enum class Operation
{
    Backup,
    Restore
};

struct Trial
{
    int exitCode = -1;
    long counted = 0;
    bool fired = false;
    QString errors;    // the helper's own messages
    QStringList trace; // the operations the shim counted, in order
};

// " (pwrite64 DB.mdb-shm ×8, fdatasync Tavenro)" for a list of operations.
QString summary(const QStringList& operations)
{
    if (operations.isEmpty())
        return {};
    QStringList parts;
    QStringList seen;
    for (const QString& op : operations) {
        if (seen.contains(op))
            continue;
        seen << op;
        const qsizetype n = operations.count(op);
        parts << (n > 1 ? QStringLiteral("%1 ×%2").arg(op).arg(n) : op);
    }
    return QStringLiteral(" (") + parts.join(QStringLiteral(", ")) + QLatin1Char(')');
}

} // namespace

class TestBackupFaults : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void everyFaultLeavesBothSidesWhole_data();
    void everyFaultLeavesBothSidesWhole();
    void mediumFaultIsReported_data();
    void mediumFaultIsReported();
    void flushedThenRenamedThenFolderFlushed_data();
    void flushedThenRenamedThenFolderFlushed();
    void stickPulledMidCopy_data();
    void stickPulledMidCopy();

private:
    void prepare(const QString& journalMode);
    void reset();
    Trial run(Operation operation, const QProcessEnvironment& env, const QStringList& extra = {},
              const QString& drive = QStringLiteral("e:"));
    // Checks the invariants after one trial; false (with the test failed)
    // when one does not hold.
    bool checkAfter(Operation operation, const Trial& trial);

    std::unique_ptr<BackupMachine> m_machine;
    QTemporaryDir m_pristine;
    QString m_installBefore, m_stickBefore;
    // The install file's bytes when the engine cannot read it, else empty.
    QByteArray m_unreadable;
    // What a file holds: the content of a sound database, the marker
    // "unreadable" for the untouched unreadable file, else the complaint.
    QString versionOf(const QString& hostPath) const;
};

QString TestBackupFaults::versionOf(const QString& hostPath) const
{
    if (!m_unreadable.isEmpty() && TempInstall::readAll(hostPath) == m_unreadable)
        return QStringLiteral("unreadable");
    const DatabaseState state = stateOf(hostPath);
    return state.sound() ? state.content : QStringLiteral("unsound: ") + state.integrity;
}

void TestBackupFaults::init()
{
    m_machine = std::make_unique<BackupMachine>();
    QVERIFY(m_machine->install.isValid());
}

void TestBackupFaults::cleanup()
{
    m_machine.reset();
}

void TestBackupFaults::prepare(const QString& journalMode)
{
    const QString install = m_pristine.filePath(QStringLiteral("install.mdb"));
    if (journalMode == QLatin1String("unreadable")) {
        // Start-up could not open it: the new file takes its place by name.
        m_unreadable = QByteArray("SQLite format 3").append(QByteArray(40000, '\x5a'));
        QFile f(install);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(m_unreadable);
    } else {
        m_unreadable.clear();
        makeDatabase(install, QStringLiteral("A"), 300, journalMode);
    }
    makeDatabase(m_pristine.filePath(QStringLiteral("stick.mdb")), QStringLiteral("B"), 200,
                 QStringLiteral("delete"));
    m_installBefore = versionOf(install);
    m_stickBefore = stateOf(m_pristine.filePath(QStringLiteral("stick.mdb"))).content;
    QVERIFY(!m_installBefore.isEmpty() && m_installBefore != m_stickBefore);
    QDir().mkpath(m_machine->install.installFolder());
}

void TestBackupFaults::reset()
{
    resetFolder(m_machine->install.installFolder(),
                {{QStringLiteral("DB.mdb"), m_pristine.filePath(QStringLiteral("install.mdb"))}});
    resetFolder(m_machine->stick,
                {{QStringLiteral("DB.mdb"), m_pristine.filePath(QStringLiteral("stick.mdb"))}});
}

Trial TestBackupFaults::run(Operation operation, const QProcessEnvironment& env,
                            const QStringList& extra, const QString& drive)
{
    QProcess child;
    child.setProcessEnvironment(env);
    child.start(childProgram(),
                QStringList{operation == Operation::Backup ? QStringLiteral("backup")
                                                           : QStringLiteral("restore"),
                            drive} +
                    extra);
    Trial trial;
    if (!child.waitForFinished(30000) || child.exitStatus() != QProcess::NormalExit)
        return trial;
    trial.exitCode = child.exitCode();
    const QStringList lines =
        QString::fromLocal8Bit(child.readAllStandardError()).split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        if (line.startsWith(QLatin1String("fault-shim: ")))
            trial.trace << line.mid(12);
        else if (!line.isEmpty())
            trial.errors += line + QLatin1Char(' ');
    }
    QFile report(m_pristine.filePath(QStringLiteral("report")));
    if (report.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> fields = report.readAll().trimmed().split(' ');
        if (fields.size() == 2) {
            trial.counted = fields[0].toLong();
            trial.fired = fields[1] == "1";
        }
    }
    return trial;
}

bool TestBackupFaults::checkAfter(Operation operation, const Trial& trial)
{
    [&] {
        QVERIFY2(trial.exitCode == 0 || trial.exitCode == 1,
                 qPrintable(QStringLiteral("exit %1: %2").arg(trial.exitCode).arg(trial.errors)));
        if (operation == Operation::Backup) {
            QCOMPARE(filesIn(m_machine->stick), QStringList{QStringLiteral("DB.mdb")});
            const DatabaseState stick = stateOf(m_machine->stickDatabase());
            QCOMPARE(stick.integrity, QStringLiteral("ok"));
            const QString expected = trial.exitCode == 0 ? m_installBefore : m_stickBefore;
            // A failed flush of the folder after the rename is reported, yet
            // the new file may already stand.
            QVERIFY2(stick.content == expected || stick.content == m_installBefore,
                     qPrintable(trial.errors));
            QCOMPARE(stateOf(m_machine->install.database()).content, m_installBefore);
        } else {
            // Beside the database only the safety copy and the engine's own
            // companions, which the next opener of the file resolves.
            const QString folder = m_machine->install.installFolder();
            for (const QString& name : filesIn(folder))
                QVERIFY2(name == QLatin1String("DB.mdb") ||
                             name == QLatin1String("DB.mdb.before-restore") ||
                             name == QLatin1String("DB.mdb-journal") ||
                             name == QLatin1String("DB.mdb-wal") ||
                             name == QLatin1String("DB.mdb-shm"),
                         qPrintable(name + QLatin1Char(' ') + trial.errors));
            const QString live = versionOf(m_machine->install.database());
            // The engine may report a failure after its commit (the file was
            // not shortened): the new data then stands, whole.
            QVERIFY2(live == m_stickBefore || (trial.exitCode == 1 && live == m_installBefore),
                     qPrintable(live + QLatin1Char(' ') + trial.errors));
            const QString safety =
                m_machine->install.database() + QStringLiteral(".before-restore");
            if (QFileInfo::exists(safety))
                QCOMPARE(versionOf(safety), m_installBefore);
            QCOMPARE(stateOf(m_machine->stickDatabase()).content, m_stickBefore);
        }
    }();
    return !QTest::currentTestFailed();
}

void TestBackupFaults::everyFaultLeavesBothSidesWhole_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<QString>("journalMode");
    QTest::addColumn<int>("error");
    for (const auto& [name, op] :
         {std::pair{"backup", Operation::Backup}, std::pair{"restore", Operation::Restore}}) {
        for (const char* mode : {"delete", "wal", "unreadable"}) {
            if (op == Operation::Backup && mode[0] == 'u')
                continue;
            for (const auto& [errorName, error] :
                 {std::pair{"ENOSPC", ENOSPC}, std::pair{"EIO", EIO}})
                QTest::addRow("%s-%s-%s", name, mode, errorName)
                    << int(op) << QString::fromLatin1(mode) << error;
        }
    }
}

void TestBackupFaults::everyFaultLeavesBothSidesWhole()
{
    QFETCH(int, operation);
    QFETCH(QString, journalMode);
    QFETCH(int, error);
    const auto op = Operation(operation);
    prepare(journalMode);
    QProcessEnvironment env = childEnvironment();
    env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(FAULT_SHIM));
    env.insert(
        QStringLiteral("FAULT_PREFIX"),
        QFileInfo(op == Operation::Backup ? m_machine->stick : m_machine->install.installFolder())
            .canonicalFilePath());
    env.insert(QStringLiteral("FAULT_ERRNO"), QString::number(error));
    env.insert(QStringLiteral("FAULT_REPORT"), m_pristine.filePath(QStringLiteral("report")));

    env.insert(QStringLiteral("FAULT_TRACE"), QStringLiteral("1"));

    int trials = 0, fired = 0, reported = 0, reportedButDone = 0;
    QStringList absorbed;
    for (long n = 1;; ++n) {
        QVERIFY2(n < 5000, "the operation never got through");
        reset();
        env.insert(QStringLiteral("FAULT_AT"), QString::number(n));
        const Trial trial = run(op, env);
        ++trials;
        if (!checkAfter(op, trial))
            QFAIL(qPrintable(QStringLiteral("fault at %1; then %2; helper said: %3")
                                 .arg(trial.trace.value(int(n) - 1),
                                      trial.trace.mid(int(n)).join(QStringLiteral(", ")),
                                      trial.errors)));
        if (trial.fired) {
            ++fired;
            if (trial.exitCode == 1) {
                ++reported;
                const QString& done = op == Operation::Backup ? m_installBefore : m_stickBefore;
                const QString& file = op == Operation::Backup ? m_machine->stickDatabase()
                                                              : m_machine->install.database();
                if (stateOf(file).content == done)
                    ++reportedButDone;
            } else {
                // The engine got over it (checkAfter saw the new data whole):
                // name the operation, so that the figures say which.
                // "12 pwrite64 /…/DB.mdb-shm" is told as "pwrite64 DB.mdb-shm".
                const QString op = trial.trace.value(int(n) - 1);
                absorbed << op.section(QLatin1Char(' '), 1, 1) + QLatin1Char(' ') +
                                QFileInfo(op.section(QLatin1Char(' '), 2)).fileName();
            }
        } else {
            QCOMPARE(trial.exitCode, 0);
            break;
        }
    }
    qInfo("%s: %d trials, %d faults injected, %d reported as failures (%d of them after the "
          "new file stood whole), %lld absorbed by the engine%s, 0 invariant failures",
          QTest::currentDataTag(), trials, fired, reported, reportedButDone,
          qsizetype(absorbed.size()), qPrintable(summary(absorbed)));
}

void TestBackupFaults::mediumFaultIsReported_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<double>("fraction"); // of the file to be written; < -1: no size limit
    QTest::addColumn<QString>("journalMode");
    QTest::addColumn<QString>("inverted"); // the byte the stick inverts, if any
    for (const auto& [name, op] :
         {std::pair{"backup", Operation::Backup}, std::pair{"restore", Operation::Restore}}) {
        for (const auto& [what, fraction] :
             {std::pair{"nothing fits", 0.0}, std::pair{"one page fits", -1.0},
              std::pair{"half fits", 0.5}, std::pair{"all but one byte", 2.0}})
            QTest::addRow("%s-%s", name, what)
                << int(op) << fraction << QStringLiteral("delete") << QString();
    }
    // A stick that stores a byte inverted and says nothing: only the check
    // of the written copy can tell. An index entry changed leaves every page
    // sound; only a check that compares the index with its table sees it.
    for (const char* mode : {"delete", "wal"})
        QTest::addRow("backup-%s-page header inverted on the stick", mode)
            << int(Operation::Backup) << -2.0 << QString::fromLatin1(mode)
            << QStringLiteral("page header");
    QTest::newRow("backup-delete-index entry inverted on the stick")
        << int(Operation::Backup) << -2.0 << QStringLiteral("delete")
        << QStringLiteral("index entry");
}

void TestBackupFaults::mediumFaultIsReported()
{
    QFETCH(int, operation);
    QFETCH(double, fraction);
    QFETCH(QString, journalMode);
    QFETCH(QString, inverted);
    const auto op = Operation(operation);
    prepare(journalMode);
    const QString install = m_pristine.filePath(QStringLiteral("install.mdb"));
    // An index made last fills the last pages; its entries lie at their ends.
    if (inverted == QLatin1String("index entry"))
        TempInstall::execute(install, QStringLiteral("create index log_note on log([備考2])"));
    const qint64 size =
        QFileInfo(m_pristine.filePath(op == Operation::Backup ? QStringLiteral("install.mdb")
                                                              : QStringLiteral("stick.mdb")))
            .size();
    const qint64 limit = fraction == -1.0  ? 4096
                         : fraction == 2.0 ? size - 1
                                           : qint64(double(size) * fraction);
    QProcessEnvironment env = childEnvironment();
    if (!inverted.isEmpty()) {
        env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(FAULT_SHIM));
        env.insert(QStringLiteral("FAULT_PREFIX"), QFileInfo(m_machine->stick).canonicalFilePath());
        env.insert(QStringLiteral("FAULT_FLIP"),
                   QString::number(inverted == QLatin1String("page header")
                                       ? 4096
                                       : QFileInfo(install).size() - 100));
    }
    reset();
    const Trial trial =
        run(op, env,
            fraction < -1.5 ? QStringList{}
                            : QStringList{QStringLiteral("--fsize"), QString::number(limit)});
    QCOMPARE(trial.exitCode, 1);
    QVERIFY(checkAfter(op, trial));
}

void TestBackupFaults::flushedThenRenamedThenFolderFlushed_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<QString>("journalMode");
    QTest::addColumn<QStringList>("placed"); // files given their final name, in the folder
    const QString copy = QStringLiteral("DB.mdb.tmp");
    const QString safety = QStringLiteral("DB.mdb.before-restore.tmp");
    QTest::newRow("backup-delete") << int(Operation::Backup) << "delete" << QStringList{copy};
    QTest::newRow("backup-wal") << int(Operation::Backup) << "wal" << QStringList{copy};
    QTest::newRow("restore-delete") << int(Operation::Restore) << "delete" << QStringList{safety};
    QTest::newRow("restore-unreadable")
        << int(Operation::Restore) << "unreadable" << QStringList{safety, copy};
}

// What a power cut may find relies on the order: a file's bytes on the medium
// before its new name, and the name on the medium before anything is told.
void TestBackupFaults::flushedThenRenamedThenFolderFlushed()
{
    QFETCH(int, operation);
    QFETCH(QString, journalMode);
    QFETCH(QStringList, placed);
    const auto op = Operation(operation);
    prepare(journalMode);
    reset();
    const QString folder =
        QFileInfo(op == Operation::Backup ? m_machine->stick : m_machine->install.installFolder())
            .canonicalFilePath();
    QProcessEnvironment env = childEnvironment();
    env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(FAULT_SHIM));
    env.insert(QStringLiteral("FAULT_PREFIX"), folder);
    env.insert(QStringLiteral("FAULT_TRACE"), QStringLiteral("1"));
    const Trial trial = run(op, env);
    QCOMPARE(trial.exitCode, 0);
    // "12 fdatasync /…/DB.mdb.tmp" as "fsync DB.mdb.tmp"; the folder as ".".
    QStringList ops;
    for (const QString& line : trial.trace) {
        const QString path = line.section(QLatin1Char(' '), 2);
        ops << line.section(QLatin1Char(' '), 1, 1)
                       .replace(QLatin1String("fdatasync"), QLatin1String("fsync")) +
                   QLatin1Char(' ') +
                   (path == folder ? QStringLiteral(".") : QFileInfo(path).fileName());
    }
    const QString all = ops.join(QLatin1String(", "));
    for (const QString& file : placed) {
        const qsizetype renamed = ops.indexOf(QStringLiteral("rename ") + file);
        QVERIFY2(renamed > 0, qPrintable(all));
        qsizetype last = renamed - 1;
        while (last > 0 && !ops[last].endsWith(QLatin1Char(' ') + file))
            --last;
        QVERIFY2(ops[last] == QStringLiteral("fsync ") + file,
                 qPrintable(file + QStringLiteral(" renamed before it was flushed: ") + all));
        QVERIFY2(ops.value(renamed + 1) == QLatin1String("fsync ."),
                 qPrintable(QStringLiteral("the folder not flushed after ") + file + ": " + all));
    }
}

void TestBackupFaults::stickPulledMidCopy_data()
{
    QTest::addColumn<int>("error"); // what the write that met the pull returned
    QTest::newRow("ENOSPC") << ENOSPC;
    QTest::newRow("EIO") << EIO;
}

// A stick pulled while the copy is written, its mount folder left behind, is
// told as a stick to put back in, whatever the write that met it returned.
void TestBackupFaults::stickPulledMidCopy()
{
    if (!Mounts::whyNot().isEmpty())
        QSKIP(qPrintable(Mounts::whyNot()));
    QFETCH(int, error);
    prepare(QStringLiteral("delete"));
    reset();
    Mounts mounts;
    const QString stick = m_pristine.filePath(QStringLiteral("stick"));
    QVERIFY(mounts.tmpfs(stick, 2048 * 1024));
    QVERIFY(QFile::copy(m_pristine.filePath(QStringLiteral("stick.mdb")),
                        stick + QStringLiteral("/DB.mdb")));
    QProcessEnvironment env = childEnvironment();
    env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(FAULT_SHIM));
    env.insert(QStringLiteral("FAULT_PREFIX"), QFileInfo(stick).canonicalFilePath());
    env.insert(QStringLiteral("FAULT_AT"), QStringLiteral("1"));
    env.insert(QStringLiteral("FAULT_ERRNO"), QString::number(error));
    env.insert(QStringLiteral("FAULT_DETACH"), QStringLiteral("1"));
    env.insert(QStringLiteral("FAULT_REPORT"), m_pristine.filePath(QStringLiteral("report")));
    const Trial trial = run(Operation::Backup, env, {}, stick);
    QVERIFY(trial.fired);
    QCOMPARE(trial.exitCode, 1);
    QVERIFY2(trial.errors.contains(QStringLiteral("準備ができていません")),
             qPrintable(trial.errors));
    QCOMPARE(filesIn(stick), QStringList{});
    QCOMPARE(stateOf(m_machine->install.database()).content, m_installBefore);
}

QTEST_GUILESS_MAIN(TestBackupFaults)
#include "tst_backup_faults.moc"
