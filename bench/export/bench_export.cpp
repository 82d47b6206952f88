// Times the roster export in-process against the sqlite3 shell writing the
// same query to CSV, for a full classroom (800 students) and for 100,000 rows.
//
//   bench_export [--reps N]
//
// "query" is the engine's part alone: the sorted rows read, nothing written.
// The 100,000-row run lifts the 800-row bound of the result table; the shipped
// export never does. The editor is not started: program start is replaced.

#include "../Median.h"
#include "db/db.h"
#include "export/RosterExport.h"
#include "export/RosterExportSteps.h"
#include "platform/Seams.h"
#include "tools/DemoDatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

void sqliteShellToCsv(const QString& shell, const QString& database, const QString& out)
{
    QProcess process;
    process.setStandardOutputFile(out, QIODevice::Truncate);
    process.start(shell, {QStringLiteral("-csv"), database, rosterColumnsByBarcodeStatement()});
    if (!process.waitForFinished(-1) || process.exitCode() != 0)
        qFatal("sqlite3 failed: %s", process.readAllStandardError().constData());
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    int reps = 9;
    const QStringList args = app.arguments();
    if (const qsizetype at = args.indexOf(QStringLiteral("--reps")); at > 0 && at + 1 < args.size())
        reps = std::max(1, args.at(at + 1).toInt());

    QTemporaryDir prefix;
    const QString install = prefix.path() + QStringLiteral("/drive_c/Program Files/Tavenro");
    QDir().mkpath(install);
    QDir().mkpath(prefix.path() + QStringLiteral("/dosdevices"));
    QFile::link(QStringLiteral("../drive_c"), prefix.path() + QStringLiteral("/dosdevices/c:"));
    qputenv("WINEPREFIX", QFile::encodeName(prefix.path()));
    const QString database = install + QStringLiteral("/DB.mdb");
    const QString listCsv = install + QStringLiteral("/list.csv");
    const QString shellCsv = prefix.path() + QStringLiteral("/sqlite3.csv");
    platform::ScopedSeams seams;
    seams.setProgramStart([](const QString&, int) { return qint64(0); });
    const QString sqlite3 = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));

    std::printf("roster export, median of %d runs (ms)\n", reps);
    std::printf("%8s  %-17s %10s %10s %10s %8s\n", "rows", "layout", "export", "query", "sqlite3",
                "ratio");
    for (const int rows : {800, 100000}) {
        demo::Options options;
        options.students = rows;
        options.events = 0;
        demo::generate(database, options);
        db_reset();
        db_open();

        // The engine's part: every row read and every text cell touched.
        const double query = medianMs(reps, [] {
            int count = 0;
            qsizetype bytes = 0;
            db_select_rows(rosterColumnsByBarcodeStatement(), count,
                           [&bytes](const db_row& row, int) {
                               for (int column = 0; column < 5; ++column)
                                   bytes += row.text(column).value_or(QByteArrayView()).size();
                           });
        });
        const double shell = sqlite3.isEmpty() ? 0.0 : medianMs(reps, [&] {
            sqliteShellToCsv(sqlite3, database, shellCsv);
        });

        const std::pair<RosterLayout, const char*> layouts[] = {
            {RosterLayout::Check, "check"},
            {RosterLayout::Convert, "convert"},
            {RosterLayout::ConvertBracketed, "convert <address>"}};
        for (const auto& [layout, name] : layouts) {
            const double exported = medianMs(reps, [rows, layout = layout] {
                if (rows <= 800)
                    exportRoster(layout);
                else
                    exportRosterWithRowBound(layout, rows);
            });
            std::printf("%8d  %-17s %10.2f %10.2f %10.2f %8.2f\n", rows, name, exported, query,
                        shell, shell > 0 ? exported / shell : 0.0);
        }
        std::printf("%8s  list.csv %lld bytes, sqlite3 CSV %lld bytes\n", "",
                    static_cast<long long>(QFileInfo(listCsv).size()),
                    static_cast<long long>(QFileInfo(shellCsv).size()));
    }
    if (sqlite3.isEmpty())
        std::printf("sqlite3 shell not found: no ratio\n");
    db_reset();
    return 0;
}
