// bench_backup: the backup of 200 MB and 1 GB databases, in rollback-journal
// and in WAL mode, against `cp` of the same file followed by `sync` of the
// copy, in the same run. The copy (snapshot, flush, rename) and the check
// after it are timed on their own lines; then the whole backup once more
// while a writer process inserts a row about every millisecond, with the
// writer's longest wait.
//
//   bench_backup [--sizes 200,1000] [--folder /tmp] [--runs N]
//
// Files go to a temporary folder under --folder and are deleted at the end.

#include "backup/DriveBackup.h"
#include "db/Schema.h"
#include "engine/Command.h"
#include "engine/Connection.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "tools/DemoDatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

namespace {

// About 49 KB of database per thousand history events, as the generator
// writes them.
constexpr double eventsPerMegabyte = 20400;

double seconds(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e9;
}

// The writer process: inserts numbered rows until stopFile exists, then
// prints "rows longest-wait-microseconds failures".
int runWriter(const QString& database, const QString& stopFile)
{
    engine::Connection::setBusyTimeout(600000);
    engine::Connection connection;
    connection.setMode(engine::Connection::ModeShareDenyNone);
    connection.open(QStringLiteral("Data Source=") + database);
    engine::Command command;
    command.setActiveConnection(&connection);
    long long rows = 0, failures = 0;
    std::chrono::microseconds longest{0};
    while (!QFileInfo::exists(stopFile)) {
        command.setCommandText(
            QStringLiteral("insert into log values ('2024-04-01','10:00:00','入室','writer','%1')")
                .arg(rows + 1));
        const auto started = std::chrono::steady_clock::now();
        try {
            command.execute(-1);
            if (++rows == 1) {
                std::puts("ready");
                std::fflush(stdout);
            }
        } catch (const platform::Error&) {
            ++failures;
        }
        longest = std::max(longest, std::chrono::duration_cast<std::chrono::microseconds>(
                                        std::chrono::steady_clock::now() - started));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::printf("%lld %lld %lld\n", rows, (long long)longest.count(), failures);
    return 0;
}

// cp over the copy of the run before, as over last week's backup on a stick.
double copyAndSync(const QString& from, const QString& to)
{
    QElapsedTimer t;
    t.start();
    QProcess::execute(QStringLiteral("cp"), {from, to});
    QProcess::execute(QStringLiteral("sync"), {to});
    return seconds(t);
}

// The copy part of the backup: a consistent snapshot under a temporary name,
// flushed, renamed, the folder flushed.
double snapshotCopy(const QString& from, const QString& to)
{
    QElapsedTimer t;
    t.start();
    engine::Connection connection;
    connection.setMode(engine::Connection::ModeShareDenyNone);
    connection.open(QStringLiteral("Data Source=") + from);
    const QString partial = partialName(to);
    connection.snapshotTo(partial);
    platform::replaceFile(partial, to);
    platform::flushFolder(QFileInfo(to).absolutePath());
    return seconds(t);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.size() == 3 && args[0] == QLatin1String("--writer"))
        return runWriter(args[1], args[2]);

    QList<int> sizes{200, 1000};
    QString base = QStringLiteral("/tmp");
    int runs = 2;
    for (int i = 0; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--sizes")) {
            sizes.clear();
            for (const QString& s : args[i + 1].split(QLatin1Char(',')))
                sizes << s.toInt();
        } else if (args[i] == QLatin1String("--folder")) {
            base = args[i + 1];
        } else if (args[i] == QLatin1String("--runs")) {
            runs = std::max(1, args[i + 1].toInt());
        }
    }

    QTemporaryDir prefix(base + QStringLiteral("/bench_backup-XXXXXX"));
    const QString install = prefix.path() + QStringLiteral("/drive_c/Program Files/Tavenro");
    const QString stick = prefix.path() + QStringLiteral("/drive_e");
    QDir().mkpath(install);
    QDir().mkpath(stick);
    QDir().mkpath(prefix.path() + QStringLiteral("/dosdevices"));
    QFile::link(QStringLiteral("../drive_c"), prefix.path() + QStringLiteral("/dosdevices/c:"));
    QFile::link(QStringLiteral("../drive_e"), prefix.path() + QStringLiteral("/dosdevices/e:"));
    qputenv("WINEPREFIX", QFile::encodeName(prefix.path()));
    const QString live = install + QStringLiteral("/DB.mdb");
    const QString onStick = stick + QStringLiteral("/DB.mdb");
    const QString reference = stick + QStringLiteral("/cp.mdb");

    std::printf("best of %d runs; the drive is a folder on the same disk as the install folder\n",
                runs);
    for (int megabytes : sizes) {
        QFile::remove(live);
        demo::Options options;
        options.events = qint64(megabytes * eventsPerMegabyte);
        QElapsedTimer made;
        made.start();
        demo::generate(live, options);
        const double mb = double(QFileInfo(live).size()) / 1e6;
        std::printf("\n%.0f MB database (%lld events), generated in %.1f s\n", mb,
                    (long long)options.events, seconds(made));

        for (const char* mode : {"delete", "wal"}) {
            demo::execute(live, QStringLiteral("PRAGMA journal_mode=%1").arg(QLatin1String(mode)));
            // Each side replaces a file of its own from the run before.
            QFile::copy(live, reference);
            QFile::copy(live, onStick);
            double cp = 1e9, copy = 1e9;
            for (int r = 0; r < runs; ++r) {
                // In turn, so that neither side always finds the disk busy
                // with the other's last flush.
                cp = std::min(cp, copyAndSync(live, reference));
                copy = std::min(copy, snapshotCopy(live, onStick));
            }
            QElapsedTimer t;
            t.start();
            const bool sound = checkSchema(onStick).ok();
            const double check = seconds(t);
            const char* name = mode[0] == 'd' ? "rollback-journal" : "WAL";
            std::printf("  %-16s cp+sync %7.2f s | backup copy %7.2f s  ratio %.2fx\n", name, cp,
                        copy, copy / cp);
            std::printf(
                "  %-16s check (integrity_check + schema) %7.2f s, %s; copy + check %.2fx\n", name,
                check, sound ? "ok" : "FAILED", (copy + check) / cp);

            // The whole backup under a writer.
            const QString stop = prefix.path() + QStringLiteral("/stop");
            QFile::remove(stop);
            QProcess writer;
            writer.start(QCoreApplication::applicationFilePath(),
                         {QStringLiteral("--writer"), live, stop});
            writer.waitForReadyRead(30000);
            writer.readLine();
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            t.restart();
            QString outcome = QStringLiteral("ok");
            try {
                backUpDatabase(BackupSource::Install, QStringLiteral("e:"));
            } catch (const platform::Error& e) {
                outcome = e.description();
            }
            const double whole = seconds(t);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            QFile(stop).open(QIODevice::WriteOnly);
            writer.waitForFinished(600000);
            const QList<QByteArray> w = writer.readAll().trimmed().split(' ');
            std::printf("  %-16s under a writer: backup %.2f s (%s); writer %s rows, longest "
                        "wait %.1f ms, %s failures\n",
                        name, whole, qPrintable(outcome), w.value(0).constData(),
                        w.value(1).toDouble() / 1000, w.value(2).constData());
            std::fflush(stdout);
        }
        QFile::remove(onStick);
        QFile::remove(reference);
        QFile::remove(live);
    }
    return 0;
}
