// tavenro-product-sim: the product's writes to DB.mdb, from a process of
// their own, for tests that run the tool beside them.
//
//   tavenro-product-sim <database> <interval-us> <first-number> <record-file>
//
// Keeps the database open on one connection, as the product does, and every
// interval writes one attendance event (a log insert whose 備考2 is
// "sim <number>", numbers counting up from first-number) and one roster
// change (状況 and time of one student); every 25th round it registers a
// student, every 25th round after that it deletes one. Each write commits
// on its own and waits for the tool's locks as long as it takes, as the
// product would rather be late than lose an event.
//
// Prints "started" once the database is open. Stops at "stop" or the end of
// its standard input, then prints one line of figures:
//   attempted=N failed=N longest_stall_us=N log_committed=N
// and writes to record-file one line per committed event: its number and
// the steady clock (CLOCK_MONOTONIC, in microseconds) when its write began,
// so that a test can tell the rows written after a given moment. Failures go
// to standard error, one line each. Exit status 0 unless it could not start.

#include "engine/Command.h"
#include "engine/Connection.h"
#include "platform/Error.h"

#include <QDateTime>
#include <QFile>
#include <QTextStream>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

long long microsecondsOf(Clock::time_point t)
{
    return std::chrono::duration_cast<std::chrono::microseconds>(t.time_since_epoch()).count();
}

struct Figures
{
    long long attempted = 0;
    long long failed = 0;
    long long longestStallUs = 0;
};

// Runs one write; true when it committed.
bool write(engine::Command& command, const QString& sql, Figures& figures,
           Clock::time_point* began = nullptr)
{
    ++figures.attempted;
    const Clock::time_point start = Clock::now();
    if (began)
        *began = start;
    bool ok = true;
    try {
        command.setCommandText(sql);
        command.execute();
    } catch (const platform::Error& e) {
        ok = false;
        ++figures.failed;
        std::cerr << "failed: " << sql.toStdString() << ": " << e.what() << '\n';
    }
    const long long waited =
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
    if (waited > figures.longestStallUs)
        figures.longestStallUs = waited;
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::cerr << "usage: tavenro-product-sim <database> <interval-us> <first-number> "
                     "<record-file>\n";
        return 2;
    }
    const QString database = QString::fromLocal8Bit(argv[1]);
    const auto interval = std::chrono::microseconds(std::stoll(argv[2]));
    long long number = std::stoll(argv[3]);
    QFile record(QString::fromLocal8Bit(argv[4]));
    if (!record.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::cerr << "cannot write " << argv[4] << '\n';
        return 2;
    }

    // The product waits out the tool's longest lock; the figure that tells
    // how long is the longest stall.
    engine::Connection::setBusyTimeout(120000);
    engine::Connection connection;
    try {
        connection.setMode(engine::Connection::ModeShareDenyNone);
        connection.open(QStringLiteral("Data Source=") + database);
    } catch (const platform::Error& e) {
        std::cerr << "cannot open: " << e.what() << '\n';
        return 2;
    }
    engine::Command command;
    command.setActiveConnection(&connection);

    std::atomic<bool> stop{false};
    std::thread reader([&stop] {
        std::string line;
        while (std::getline(std::cin, line) && line != "stop") {
        }
        stop = true;
    });
    std::cout << "started" << std::endl;

    Figures figures;
    std::vector<std::pair<long long, long long>> committed;
    const QString states[] = {QStringLiteral("入室"), QStringLiteral("退室")};
    for (long long round = 0; !stop; ++round) {
        const QDateTime now = QDateTime::currentDateTime();
        const QString date = now.toString(QStringLiteral("yyyy-MM-dd"));
        const QString time = now.toString(QStringLiteral("HH:mm:ss"));
        const QString state = states[round % 2];
        const QString student = QStringLiteral("%1").arg(1001 + round % 40);

        Clock::time_point began;
        if (write(command,
                  QStringLiteral("insert into log values ('%1','%2','%3','生徒 %4','sim %5')")
                      .arg(date, time, state, student)
                      .arg(number),
                  figures, &began))
            committed.emplace_back(number, microsecondsOf(began));
        ++number;

        write(command,
              QStringLiteral("update list set [状況]='%1', [time]='%2 %3' where [barcode]='%4'")
                  .arg(state, date, time, student),
              figures);
        if (round % 50 == 10)
            write(command,
                  QStringLiteral("insert into list([barcode],[名前],[kana],[状況]) values "
                                 "('S%1','新入生 %1','しんにゅうせい','空き')")
                      .arg(round),
                  figures);
        else if (round % 50 == 35)
            write(command, QStringLiteral("delete from list where [barcode]='S%1'").arg(round - 25),
                  figures);
        std::this_thread::sleep_for(interval);
    }
    reader.join();

    QTextStream out(&record);
    for (const auto& [n, at] : committed)
        out << n << ' ' << at << '\n';
    out.flush();
    record.close();
    std::cout << "attempted=" << figures.attempted << " failed=" << figures.failed
              << " longest_stall_us=" << figures.longestStallUs
              << " log_committed=" << committed.size() << std::endl;
    return 0;
}
