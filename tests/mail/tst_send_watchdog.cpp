// The waits of a send, run through on a clock of the test's own: each limit
// the program ships with, a stalled upload, and 中止 before and after the
// upload, in milliseconds and with no server.

#include "mail/SendWatchdog.h"

#include <QHash>
#include <QTest>

using namespace std::chrono_literals;
using bsmtp::MailStatus;
using bsmtp::SendWatch;
using bsmtp::SendWatchdog;

class TestSendWatchdog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void shippedLimits();
    void waits_data();
    void waits();
};

// The figures the program ships with: a reply is waited for as long as RFC
// 5321 lets a client wait, an upload only until it stops moving, and the
// status request, whose answer is never used, briefly.
void TestSendWatchdog::shippedLimits()
{
    const bsmtp::Timeouts smtp = bsmtp::defaultTimeouts(true);
    QCOMPARE(smtp.connect, 10s);
    QCOMPARE(smtp.reply, 5min);
    QCOMPARE(smtp.endOfData, 10min);
    QCOMPARE(smtp.stall, 30s);
    QCOMPARE(smtp.total, 0ms);
    const bsmtp::Timeouts pop = bsmtp::defaultTimeouts(false);
    QVERIFY(pop.total > 0ms && pop.total <= 10s);
}

// Each row is what libcurl reports, step by step, under the shipped limits:
//   "+N"  N ms pass, then the clock is looked at;  "connected"  signed in;
//   "> text", "< text"  a command goes out, a reply comes in;  "wrote W/T"
//   W bytes of the T of the mail written (then a look);  "queued Q"  Q of
//   them still wait on this machine;  "stop"  中止;  "= ending", "phase p",
//   "sent N"  checks.
// status: how the call ends when libcurl fails it with the last reply code
// as not secure, which is what it makes of a connection shut in the TLS
// handshake.
void TestSendWatchdog::waits_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<int>("serverCode");
    QTest::addColumn<MailStatus>("status");

    const QString data = "connected; > MAIL FROM:<a@example.jp>; < 250 OK; "
                         "> RCPT TO:<b@example.jp>; < 250 OK; > DATA; < 354 go ahead; ";
    using S = MailStatus;
    QTest::newRow("connect and sign-in within 10 s, not a reply's 5 min")
        << "+5000; < 220 ready; > EHLO client; +5000; = none; +1; = no connection" << 220
        << S::Unreachable;
    QTest::newRow("each reply within 5 min")
        << "connected; > MAIL FROM:<a@example.jp>; +299999; < 250 OK; "
           "> RCPT TO:<b@example.jp>; +300000; = none; +1; = no reply"
        << 250 << S::NotSecure;
    QTest::newRow("the answer to the whole mail within 10 min")
        << data + "wrote 1000/1000; phase awaiting; sent 1000; +600000; = none; +1; = no reply"
        << 354 << S::Unconfirmed;
    QTest::newRow("an upload that keeps moving, however long")
        << data + "wrote 100/1000; phase uploading; +30000; wrote 200/1000; +30000; "
                  "wrote 300/1000; +30000; sent 300; = none"
        << 354 << S::NotSecure;
    QTest::newRow("an upload that stops moving for 30 s")
        << data + "wrote 100/1000; +30000; = none; +1; = stalled" << 354 << S::UploadStalled;
    QTest::newRow("written but queued here: not yet left")
        << data + "queued 1000; wrote 1000/1000; phase connecting; sent 0; +30001; = stalled" << 354
        << S::UploadStalled;
    QTest::newRow("中止 while connecting") << "stop; +0; = stopped" << 0 << S::Stopped;
    QTest::newRow("中止 during the upload")
        << data + "wrote 500/1000; stop; +0; = stopped" << 354 << S::Stopped;
    QTest::newRow("中止 after the upload")
        << data + "wrote 1000/1000; +1000; stop; +0; = stopped" << 354 << S::Unconfirmed;
    QTest::newRow("the whole mail refused")
        << data + "wrote 1000/1000; < 554 no" << 554 << S::Refused;
}

void TestSendWatchdog::waits()
{
    QFETCH(QString, steps);
    QFETCH(int, serverCode);
    QFETCH(MailStatus, status);

    using E = SendWatchdog::Ending;
    const QHash<QString, E> endings{{"none", E::None},
                                    {"stopped", E::Stopped},
                                    {"no connection", E::NoConnection},
                                    {"stalled", E::Stalled},
                                    {"no reply", E::NoReply}};
    const QHash<QString, int> phases{{"connecting", SendWatch::Connecting},
                                     {"uploading", SendWatch::Uploading},
                                     {"awaiting", SendWatch::AwaitingReply}};
    SendWatchdog::Clock::time_point now{};
    SendWatch watch;
    SendWatchdog watchdog(bsmtp::defaultTimeouts(true), watch, [&] { return now; });
    qint64 queued = 0;
    for (const QString& step : steps.split(QStringLiteral("; "))) {
        const QString verb = step.section(QLatin1Char(' '), 0, 0);
        const QString arg = step.section(QLatin1Char(' '), 1);
        if (verb.startsWith(QLatin1Char('+'))) {
            now += std::chrono::milliseconds(verb.mid(1).toLongLong());
            watchdog.check(queued);
        } else if (verb == QLatin1String(">") || verb == QLatin1String("<")) {
            watchdog.dialogue(verb == QLatin1String(">"), arg.toStdString());
        } else if (verb == QLatin1String("wrote")) {
            watchdog.wrote(arg.section(QLatin1Char('/'), 0, 0).toLongLong(),
                           arg.section(QLatin1Char('/'), 1).toLongLong());
            watchdog.check(queued);
        } else if (verb == QLatin1String("connected")) {
            watchdog.connected();
        } else if (verb == QLatin1String("queued")) {
            queued = arg.toLongLong();
        } else if (verb == QLatin1String("stop")) {
            watch.stop = true;
        } else {
            const bool ok = verb == QLatin1String("=")
                                ? endings.contains(arg) && watchdog.ending() == endings.value(arg)
                            : verb == QLatin1String("phase") ? watch.phase == phases.value(arg, -1)
                            : verb == QLatin1String("sent")  ? watch.sent == arg.toLongLong()
                                                             : false;
            QVERIFY2(ok, qPrintable(step));
        }
    }
    QCOMPARE(watchdog.failedStatus(MailStatus::NotSecure, serverCode), status);
}

QTEST_GUILESS_MAIN(TestSendWatchdog)
#include "tst_send_watchdog.moc"
