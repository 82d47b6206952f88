// A helper process for the backup tests: the operation as the window runs
// it, in a process that a test can fail from outside (a faulty medium
// through the fault shim, a file size limit) or kill at any moment; and a
// writer that inserts numbered rows the way the product writes.
//
//   tst_backup_child backup  DRIVE [--fsize BYTES]   exit 0 copied, 1 failed
//   tst_backup_child restore DRIVE [--fsize BYTES]   exit 0 restored, 1 failed
//   tst_backup_child writer  HOSTDB STOPFILE
//
// The WINEPREFIX of the parent names the machine. "go" is written to
// standard output just before the operation starts. The writer writes
// "ready" after its first row and, once STOPFILE exists, "rows failures
// longest-stall-microseconds".

#include "backup/DriveBackup.h"
#include "db/db.h"
#include "engine/sqlite/SqliteHandles.h"
#include "platform/Error.h"

#include <QFile>
#include <QFileInfo>
#include <QString>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>
#include <thread>

namespace {

void limitFileSize(long long bytes)
{
    // A real "file too large" error instead of the signal that would kill.
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{rlim_t(bytes), rlim_t(bytes)};
    setrlimit(RLIMIT_FSIZE, &limit);
}

void announceStart()
{
    std::fputs("go\n", stdout);
    std::fflush(stdout);
}

int backUp(const QString& drive)
{
    announceStart();
    try {
        backUpDatabase(BackupSource::Install, drive);
        return 0;
    } catch (const platform::Error& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}

int restore(const QString& drive)
{
    db_open();
    announceStart();
    const RestoreResult result = restoreDatabase(drive);
    if (result.outcome == RestoreOutcome::Restored)
        return 0;
    std::fprintf(stderr, "%s\n", qPrintable(result.reason));
    return 1;
}

int write(const QString& hostDb, const QString& stopFile)
{
    int rc = SQLITE_OK;
    const engine::detail::SqliteHandle db = engine::detail::openSqliteHandle(
        QFile::encodeName(hostDb).constData(), SQLITE_OPEN_READWRITE, &rc);
    if (rc != SQLITE_OK)
        return 2;
    // Far longer than any backup here may hold the writer off, so a stall
    // shows in the figures rather than as a failure.
    sqlite3_busy_timeout(db.get(), 60000);
    long long rows = 0, failures = 0;
    std::chrono::microseconds longest{0};
    while (!QFileInfo::exists(stopFile)) {
        const QByteArray sql = QByteArray("insert into log values ('2024-04-01','10:00:00',"
                                          "'入室','writer','") +
                               QByteArray::number(rows + 1) + "')";
        const auto started = std::chrono::steady_clock::now();
        const bool ok =
            sqlite3_exec(db.get(), sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
        const auto took = std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::steady_clock::now() - started);
        longest = std::max(longest, took);
        if (!ok) {
            ++failures;
            std::fprintf(stderr, "writer: %s\n", sqlite3_errmsg(db.get()));
        } else if (++rows == 1) {
            std::fputs("ready\n", stdout);
            std::fflush(stdout);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::printf("%lld %lld %lld\n", rows, failures, (long long)longest.count());
    return failures == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    const QString mode = QString::fromLocal8Bit(argv[1]);
    const QString arg = QString::fromLocal8Bit(argv[2]);
    if (argc == 5 && std::strcmp(argv[3], "--fsize") == 0)
        limitFileSize(std::atoll(argv[4]));
    if (mode == QLatin1String("backup"))
        return backUp(arg);
    if (mode == QLatin1String("restore"))
        return restore(arg);
    if (mode == QLatin1String("writer") && argc == 4)
        return write(arg, QString::fromLocal8Bit(argv[3]));
    return 2;
}
