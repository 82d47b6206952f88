// Times the viewer over the whole attendance history against the sqlite3
// shell running the same statement to /dev/null, for histories of 100,000,
// 1,000,000 and 3,000,000 events made by the demo generator.
//
//   bench_viewer [--reps N] [--events N,N,...]
//
// Figures, each the median of the runs:
// - opening: from the menu action display_log to the grid holding the whole
//   result and painted (the first opening also runs the load step);
// - reopening: the same action while the viewer is shown;
// - read: the snapshot alone, with the engine's sorter on 0, 1 and 2 helper
//   threads;
// - memory: the bytes the snapshot holds against the bytes of text the
//   result holds (what the shell prints without separators);
// - scrolling: to the last row and back, each with its paint.

#include "app/ProgramWindows.h"
#include "app/StartUp.h"
#include "app/bar_read_frm.h"
#include "app/editDB.h"
#include "db/db.h"
#include "engine/Connection.h"
#include "engine/ResultSnapshot.h"
#include "platform/Seams.h"
#include "tools/DemoDatabase.h"
#include "viewer/Adodc.h"
#include "viewer/SnapshotModel.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <malloc.h>
#include <sys/resource.h>
#include <vector>

namespace {

// Wall time, and processor time of this process and of the children it
// waited for (the shell), both in milliseconds. On a machine shared with
// other work the processor time compares more steadily than the wall time.
struct Timing
{
    double wall = 0;
    double cpu = 0;
};

double processorMs()
{
    rusage self{}, children{};
    getrusage(RUSAGE_SELF, &self);
    getrusage(RUSAGE_CHILDREN, &children);
    auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(self.ru_utime) + ms(self.ru_stime) + ms(children.ru_utime) + ms(children.ru_stime);
}

Timing timed(const std::function<void()>& run)
{
    const double cpuBefore = processorMs();
    QElapsedTimer timer;
    timer.start();
    run();
    return {timer.nsecsElapsed() / 1e6, processorMs() - cpuBefore};
}

// Times of one figure, each with the shell's time of the same round.
class Samples
{
public:
    void add(const Timing& t, const Timing& reference, bool warmUp)
    {
        if (warmUp)
            return;
        m_times.push_back(t.wall);
        m_ratios.push_back(t.wall / reference.wall);
        m_cpuRatios.push_back(reference.cpu > 0 ? t.cpu / reference.cpu : 0.0);
    }
    double median() const { return middle(m_times); }
    double ratio() const { return middle(m_ratios); }
    double cpuRatio() const { return middle(m_cpuRatios); }

private:
    static double middle(std::vector<double> values)
    {
        std::sort(values.begin(), values.end());
        return values.empty() ? 0.0 : values[values.size() / 2];
    }
    std::vector<double> m_times, m_ratios, m_cpuRatios;
};

void runShell(const QString& shell, const QStringList& arguments, const QString& out)
{
    QProcess process;
    process.setStandardOutputFile(out, QIODevice::Truncate);
    process.start(shell, arguments);
    if (!process.waitForFinished(-1) || process.exitCode() != 0)
        qFatal("sqlite3 failed: %s", process.readAllStandardError().constData());
}

// Lets the grid lay out and paint what is on screen.
void paint(QWidget* window)
{
    QCoreApplication::processEvents();
    window->repaint();
}

// Resident and peak resident memory of this process, in bytes; the peak can
// be reset to the present (Linux).
qint64 statusBytes(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return 0;
}

void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

QAction* displayLog()
{
    auto* launcher = ProgramWindows::current().find<bar_read_frm>();
    QAction* action =
        launcher ? launcher->findChild<QAction*>(QStringLiteral("display_log")) : nullptr;
    if (!action)
        qFatal("no launcher with display_log");
    return action;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    prepareApplication(app);
    int reps = 5;
    QList<qint64> sizes{100000, 1000000, 3000000};
    const QStringList args = app.arguments();
    if (const qsizetype at = args.indexOf(QStringLiteral("--reps")); at > 0 && at + 1 < args.size())
        reps = std::max(1, args.at(at + 1).toInt());
    if (const qsizetype at = args.indexOf(QStringLiteral("--events"));
        at > 0 && at + 1 < args.size()) {
        sizes.clear();
        for (const QString& n : args.at(at + 1).split(QLatin1Char(',')))
            sizes << n.toLongLong();
    }

    QTemporaryDir prefix;
    const QString install = prefix.path() + QStringLiteral("/drive_c/Program Files/Tavenro");
    QDir().mkpath(install);
    QDir().mkpath(prefix.path() + QStringLiteral("/dosdevices"));
    QFile::link(QStringLiteral("../drive_c"), prefix.path() + QStringLiteral("/dosdevices/c:"));
    qputenv("WINEPREFIX", QFile::encodeName(prefix.path()));
    QDir::setCurrent(install);
    const QString database = install + QStringLiteral("/DB.mdb");
    const QString textOut = prefix.path() + QStringLiteral("/text.out");
    const QString sqlite3 = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    if (sqlite3.isEmpty())
        qFatal("the sqlite3 shell is needed for the reference");
    platform::ScopedSeams seams;
    seams.setMessageBox([](const QString& prompt, int, const QString&) {
        qFatal("unexpected box: %s", qPrintable(prompt));
        return 0;
    });

    std::printf("viewer over the history, median of %d runs (ms); ratios to the sqlite3 shell\n",
                reps);
    for (const qint64 events : sizes) {
        demo::Options options;
        options.events = events;
        demo::generate(database, options);

        const QString history = editDB::historyStatement();
        runShell(sqlite3,
                 {QStringLiteral("-separator"), QString(), QStringLiteral("-newline"), QString(),
                  database, history},
                 textOut);
        const qint64 textBytes = QFileInfo(textOut).size();
        QFile::remove(textOut);

        // The machine is shared: every run of ours sits between two runs of
        // the shell, and each ratio is taken against the shell of its round.
        Samples shell, opening, reopening, read[3], toBottom, toTop;
        std::size_t snapshotBytes = 0;
        int rows = 0;
        int defaultThreads = 0;
        engine::Connection connection;
        connection.open(Adodc::designedConnectionString());
        ProgramWindows windows;
        startUp();
        QAction* action = displayLog();
        auto timeShell = [&] {
            return timed([&] {
                runShell(sqlite3, {database, history}, QStringLiteral("/dev/null"));
            });
        };
        // The process's peak growth while one snapshot is read and held: the
        // engine's sorter and page cache included.
        qint64 peakGrowth = 0;
        {
            // Memory freed earlier (the generator's) goes back first, so that
            // none of the growth is hidden by reuse.
            malloc_trim(0);
            resetPeak();
            const qint64 before = statusBytes("VmRSS:");
            engine::ResultSnapshot s =
                engine::ResultSnapshot::read(connection, history, Adodc().sorterThreads());
            peakGrowth = statusBytes("VmHWM:") - before;
        }
        for (int round = 0; round <= reps; ++round) {
            const bool warmUp = round == 0;
            Timing reference = timeShell();
            for (int threads = 0; threads <= 2; ++threads) {
                const Timing ms = timed([&] {
                    engine::ResultSnapshot s =
                        engine::ResultSnapshot::read(connection, history, threads);
                    snapshotBytes = s.allocatedBytes();
                    rows = s.rowCount();
                });
                read[threads].add(ms, reference, warmUp);
            }
            if (auto* open = ProgramWindows::current().find<editDB>()) {
                open->close();
                QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            }
            opening.add(timed([&] {
                            action->trigger();
                            editDB* viewer = ProgramWindows::current().find<editDB>();
                            if (!viewer || viewer->adodc1()->model()->rowCount() != rows)
                                qFatal("the grid does not hold the whole history");
                            paint(viewer);
                        }),
                        reference, warmUp);
            editDB* viewer = ProgramWindows::current().find<editDB>();
            defaultThreads = viewer->adodc1()->sorterThreads();
            reference = timeShell();
            shell.add(reference, reference, warmUp);
            reopening.add(timed([&] {
                              action->trigger();
                              paint(viewer);
                          }),
                          reference, warmUp);
            QTableView* grid = viewer->dataGrid1();
            toBottom.add(timed([&] {
                             grid->scrollToBottom();
                             paint(viewer);
                         }),
                         reference, warmUp);
            toTop.add(timed([&] {
                          grid->scrollToTop();
                          paint(viewer);
                      }),
                      reference, warmUp);
        }
        connection.close();
        if (auto* open = ProgramWindows::current().find<editDB>())
            open->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        db_reset();

        std::printf("\n%lld events (%d rows), sqlite3 shell %.1f ms wall\n",
                    static_cast<long long>(events), rows, shell.median());
        std::printf("  %-24s %8s  %10s  %9s\n", "", "wall", "wall ratio", "cpu ratio");
        auto line = [](const char* what, const Samples& s) {
            std::printf("  %-24s %8.1f  %10.2f  %9.2f\n", what, s.median(), s.ratio(),
                        s.cpuRatio());
        };
        line("opening from the menu", opening);
        line("opening while shown", reopening);
        line("snapshot, 0 threads", read[0]);
        line("snapshot, 1 thread", read[1]);
        line("snapshot, 2 threads", read[2]);
        std::printf("  (the viewer's sorter threads: %d)\n", defaultThreads);
        std::printf("  snapshot %.1f MB for %.1f MB of text: ratio %.2f\n", snapshotBytes / 1e6,
                    textBytes / 1e6, double(snapshotBytes) / double(textBytes));
        std::printf("  process peak grew by %.1f MB while reading it: ratio %.2f to the text\n",
                    peakGrowth / 1e6, double(peakGrowth) / double(textBytes));
        std::printf("  scrolling to the last row %.1f ms, back to the first %.1f ms\n",
                    toBottom.median(), toTop.median());
        std::fflush(stdout);
    }
    return 0;
}
