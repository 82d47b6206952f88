// Times reading history.mdb's attendance history, a genuine Jet 4 file, with
// the viewer's statement against mdb-export (Debian's mdbtools) writing the
// same table as CSV, in the same run, on the same copy of the file.
//
//   bench_jet [--reps N] [path/to/history.mdb]
//
// "ours" opens the file, reads every row into values and sorts them by date
// ascending and time descending; mdb-export only reads and prints, unsorted,
// and pays for its process start and catalog read, which exporting the
// 120-row roster of the same file roughly measures.

#include "../Median.h"
#include "engine/jet/JetSelect.h"
#include "engine/jet/MdbFile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

void mdbExport(const QString& program, const QStringList& args, const QString& out)
{
    QProcess process;
    process.setStandardOutputFile(out, QIODevice::Truncate);
    process.start(program, args);
    if (!process.waitForFinished(-1) || process.exitCode() != 0)
        qFatal("mdb-export failed: %s", process.readAllStandardError().constData());
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    int reps = 9;
    QStringList args = app.arguments().mid(1);
    if (const qsizetype at = args.indexOf(QStringLiteral("--reps"));
        at >= 0 && at + 1 < args.size()) {
        reps = std::max(1, args.at(at + 1).toInt());
        args.remove(at, 2);
    }
    const QString fixture =
        args.isEmpty() ? QStringLiteral(TAVENRO_FIXTURES "/jet4/history.mdb") : args.first();
    const QString exporter = QStandardPaths::findExecutable(QStringLiteral("mdb-export"));
    if (!QFileInfo::exists(fixture) || exporter.isEmpty())
        qFatal("needs %s and mdb-export (Debian package mdbtools)", qPrintable(fixture));

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("DB.mdb"));
    const QString csv = dir.filePath(QStringLiteral("log.csv"));
    if (!QFile::copy(fixture, file))
        qFatal("cannot copy %s", qPrintable(fixture));

    const QString history = QStringLiteral(
        "select [date],[time],[状況],[名前],[備考2] from log order by [date],[time] DESC");
    qsizetype rows = 0;
    const double ours = medianMs(reps, [&] {
        engine::jet::MdbFile db;
        db.open(file);
        rows = engine::runJetSelect(db, history).rowCount();
    });
    const double unsorted = medianMs(reps, [&] {
        engine::jet::MdbFile db;
        db.open(file);
        engine::runJetSelect(db, QStringLiteral("select * from log"));
    });
    const double exported = medianMs(reps, [&] { mdbExport(exporter, {file, "log"}, csv); });
    const double empty = medianMs(reps, [&] { mdbExport(exporter, {file, "list"}, csv); });

    std::printf("history of %s: %lld rows, median of %d runs (ms)\n",
                qPrintable(QFileInfo(fixture).fileName()), static_cast<long long>(rows), reps);
    std::printf("%-40s %9.1f\n", "ours, history statement (sorted)", ours);
    std::printf("%-40s %9.1f\n", "ours, select * from log (unsorted)", unsorted);
    std::printf("%-40s %9.1f\n", "mdb-export log > csv (process)", exported);
    std::printf("%-40s %9.1f\n", "mdb-export list (start-up and open)", empty);
    std::printf("ratio ours / mdb-export: %.2f (sorted), %.2f (unsorted)\n", ours / exported,
                unsorted / exported);
    std::printf("ratio without mdb-export's start-up: %.2f (sorted)\n",
                ours / std::max(0.01, exported - empty));
    return 0;
}
