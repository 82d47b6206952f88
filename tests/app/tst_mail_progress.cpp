// The support mail's progress window, with the mail calls stood in for by
// work that follows the send's watch as the mail library does: what the
// window says in each phase, and how the operator stops the send.

#include "app/MailProgressWindow.h"
#include "mail/Bsmtp.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <thread>

using namespace std::chrono_literals;

class TestMailProgress : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void tellsThePhase_data();
    void tellsThePhase();
    void stopKeepsTheWindowUntilTheCallsReturn_data();
    void stopKeepsTheWindowUntilTheCallsReturn();
};

void TestMailProgress::tellsThePhase_data()
{
    QTest::addColumn<int>("phase");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("detail");
    QTest::newRow("the status request and the sign-in")
        << int(bsmtp::SendWatch::Connecting) << "メールサーバーに接続しています…"
        << "";
    QTest::newRow("the upload") << int(bsmtp::SendWatch::Uploading) << "調査依頼を送信しています…"
                                << "1,234 / 5,000 バイト";
}

void TestMailProgress::tellsThePhase()
{
    QFETCH(int, phase);
    QFETCH(QString, status);
    QFETCH(QString, detail);
    bsmtp::SendWatch watch;
    watch.phase = phase;
    if (phase == bsmtp::SendWatch::Uploading) {
        watch.sent = 1234;
        watch.total = 5000;
    }
    const std::atomic<bool> finished{false};
    MailProgressWindow window(watch, finished);
    auto* statusLabel = window.findChild<QLabel*>(QStringLiteral("status"));
    auto* detailLabel = window.findChild<QLabel*>(QStringLiteral("detail"));
    QVERIFY(statusLabel && detailLabel);
    QCOMPARE(statusLabel->text(), status);
    QCOMPARE(detailLabel->text(), detail);
}

void TestMailProgress::stopKeepsTheWindowUntilTheCallsReturn_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("中止") << "stop";
    QTest::newRow("Escape") << "escape";
    QTest::newRow("the close box") << "close";
}

// The operator's stop reaches the mail calls, and the window, which holds the
// rest of the tool, stays until they have returned: gone earlier, it would
// leave the tool frozen with nothing to press.
void TestMailProgress::stopKeepsTheWindowUntilTheCallsReturn()
{
    QFETCH(QString, how);
    bsmtp::SendWatch watch;
    std::atomic<bool> letGo{false};
    // The calls end when told to stop, or when the test lets them go.
    const auto work = [&] {
        const QDeadlineTimer bound(20s);
        while (!watch.stop && !letGo && !bound.hasExpired())
            std::this_thread::sleep_for(5ms);
    };
    bool stopped = false;
    bool shownAfterStop = false;
    QTimer::singleShot(0, [&] {
        auto release = qScopeGuard([&] { letGo = true; });
        QWidget* window = nullptr;
        QTRY_VERIFY((window = QApplication::activeModalWidget()));
        QCOMPARE(window->objectName(), QStringLiteral("MailProgress"));
        if (how == QLatin1String("stop")) {
            auto* stop = window->findChild<QPushButton*>(QStringLiteral("stop"));
            QVERIFY(stop);
            QTest::mouseClick(stop, Qt::LeftButton);
        } else if (how == QLatin1String("escape")) {
            QTest::keyClick(window, Qt::Key_Escape);
        } else {
            window->close();
        }
        stopped = watch.stop;
        shownAfterStop = window->isVisible();
        if (stopped)
            release.dismiss();
    });
    showMailProgress(work, watch);
    QVERIFY(stopped);
    QVERIFY(shownAfterStop);
}

QTEST_MAIN(TestMailProgress)
#include "tst_mail_progress.moc"
