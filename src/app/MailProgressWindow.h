#pragma once

#include "mail/Bsmtp.h"

#include <QDialog>
#include <QElapsedTimer>
#include <atomic>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

// The support mail's progress window: what has left, then how long the
// server's answer has been awaited, and 中止. It holds every other window of
// the tool while the mail calls run on their own thread, and closes only
// when they have returned.
class MailProgressWindow : public QDialog
{
public:
    MailProgressWindow(bsmtp::SendWatch& watch, const std::atomic<bool>& finished);

    // Escape and the close box stop the send, as 中止 does; the window stays
    // until the calls have returned.
    void reject() override;

private:
    void stop();
    void refresh();

    bsmtp::SendWatch& m_watch;
    const std::atomic<bool>& m_finished;
    QLabel* m_status;
    QProgressBar* m_bar;
    QLabel* m_detail;
    QPushButton* m_stop;
    QElapsedTimer m_waiting;
};

// Runs work, the mail calls, on a thread of its own behind the progress
// window. What work throws is thrown here, as if it had run on the caller's
// thread.
void showMailProgress(const std::function<void()>& work, bsmtp::SendWatch& watch);
