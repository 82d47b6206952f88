// bench_checkout: the bulk check-out on 800 and 100,000 students, against the
// same four statements run by the sqlite3 shell in one transaction.
//
//   bench_checkout [runs]

#include "db/db.h"
#include "maintenance/RosterMaintenance.h"
#include "platform/MessageBox.h"
#include "platform/Seams.h"
#include "tools/DemoDatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

const char* const statements = "BEGIN IMMEDIATE;"
                               "update list set [在室時間]= NULL where [状況]= '入室' ;"
                               "update list set [状況]= '空き';"
                               "update list set [time]= NULL;"
                               "update list set [time2]= NULL;"
                               "COMMIT;";

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    platform::ScopedSeams seams;
    seams.setMessageBox([](const QString&, int, const QString&) { return int(platform::vbYes); });

    std::printf("%-10s %12s %12s %8s\n", "students", "tool ms", "sqlite3 ms", "ratio");
    for (int students : {800, 100000}) {
        QTemporaryDir prefix;
        const QString folder = prefix.path() + QStringLiteral("/drive_c/Program Files/Tavenro");
        QDir().mkpath(folder);
        QDir().mkpath(prefix.path() + QStringLiteral("/dosdevices"));
        QFile::link(QStringLiteral("../drive_c"), prefix.path() + QStringLiteral("/dosdevices/c:"));
        qputenv("WINEPREFIX", QFile::encodeName(prefix.path()));
        const QString master = prefix.path() + QStringLiteral("/master.mdb");
        demo::Options options;
        options.students = students;
        options.events = 0;
        demo::generate(master, options);
        // Every student present, so each statement has work on every row.
        demo::execute(master,
                      QStringLiteral("update list set [状況]='入室', [在室時間]='2024-04-01 "
                                     "15:00:00', time='15:00:00', time2='16:00:00'"));
        const QString database = folder + QStringLiteral("/DB.mdb");

        std::vector<double> tool, shell;
        for (int run = 0; run < runs; ++run) {
            QFile::remove(database);
            QFile::copy(master, database);
            db_reset();
            db_open();
            QElapsedTimer timer;
            timer.start();
            checkOutAllStudents();
            tool.push_back(timer.nsecsElapsed() / 1e6);
            db_reset();

            QFile::remove(database);
            QFile::copy(master, database);
            timer.restart();
            QProcess sqlite;
            sqlite.start(QStringLiteral("sqlite3"), {database, QString::fromUtf8(statements)});
            sqlite.waitForFinished(-1);
            shell.push_back(timer.nsecsElapsed() / 1e6);
            if (sqlite.exitCode() != 0) {
                std::fprintf(stderr, "sqlite3 failed: %s\n",
                             sqlite.readAllStandardError().constData());
                return 1;
            }
        }
        const double t = median(tool), s = median(shell);
        std::printf("%-10d %12.2f %12.2f %8.2f\n", students, t, s, t / s);
    }
    std::printf("(median of %d runs; the shell's figure includes starting the shell)\n", runs);
    return 0;
}
