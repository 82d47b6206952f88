#include "app/MailProgressWindow.h"

#include "app/DesignLook.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <exception>
#include <thread>

MailProgressWindow::MailProgressWindow(bsmtp::SendWatch& watch, const std::atomic<bool>& finished)
    : QDialog(QApplication::activeWindow()), m_watch(watch), m_finished(finished)
{
    setObjectName(QStringLiteral("MailProgress"));
    setWindowTitle(QStringLiteral("調査依頼"));
    setWindowModality(Qt::ApplicationModal);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("progress"));
    m_bar->setTextVisible(false);
    m_detail = new QLabel(this);
    m_detail->setObjectName(QStringLiteral("detail"));
    m_stop = new QPushButton(QStringLiteral("中止"), this);
    m_stop->setObjectName(QStringLiteral("stop"));
    m_stop->setAutoDefault(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_status);
    layout->addWidget(m_bar);
    layout->addWidget(m_detail);
    layout->addWidget(m_stop, 0, Qt::AlignRight);
    connect(m_stop, &QPushButton::clicked, this, [this] { stop(); });
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this] { refresh(); });
    timer->start(100);
    refresh();
    setMinimumWidth(pixelsFromTwips(5400));
}

void MailProgressWindow::reject()
{
    stop();
}

void MailProgressWindow::stop()
{
    m_watch.stop = true;
    m_stop->setEnabled(false);
}

void MailProgressWindow::refresh()
{
    if (m_finished) {
        done(Accepted);
        return;
    }
    const qint64 total = m_watch.total;
    const qint64 sent = m_watch.sent;
    if (m_watch.phase == bsmtp::SendWatch::AwaitingReply) {
        if (!m_waiting.isValid())
            m_waiting.start();
        m_status->setText(QStringLiteral("サーバーの応答を待っています"));
        m_bar->setRange(0, 0);
        m_detail->setText(QStringLiteral("%1 秒").arg(m_waiting.elapsed() / 1000));
        return;
    }
    if (m_watch.phase == bsmtp::SendWatch::Connecting) {
        // The status request and the sign-in: nothing of the mail has left,
        // and how long it takes is the servers'.
        m_status->setText(QStringLiteral("メールサーバーに接続しています…"));
        m_bar->setRange(0, 0);
        m_detail->clear();
        return;
    }
    m_status->setText(QStringLiteral("調査依頼を送信しています…"));
    m_bar->setRange(0, 1000);
    m_bar->setValue(total > 0 ? int(sent * 1000 / total) : 0);
    m_detail->setText(QStringLiteral("%L1 / %L2 バイト").arg(sent).arg(total > 0 ? total : 0));
}

void showMailProgress(const std::function<void()>& work, bsmtp::SendWatch& watch)
{
    std::atomic<bool> finished{false};
    std::exception_ptr failure;
    MailProgressWindow window(watch, finished);
    std::thread sender([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        finished = true;
    });
    window.exec();
    sender.join();
    // What the calls threw reaches the handler's guard as if they had run here.
    if (failure)
        std::rethrow_exception(failure);
}
