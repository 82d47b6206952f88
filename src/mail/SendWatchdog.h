#pragma once

#include "mail/Bsmtp.h"

#include <QString>
#include <chrono>
#include <functional>
#include <optional>
#include <string_view>

namespace bsmtp {

// The waits of one call, measured from what libcurl reports: the commands
// and replies of the dialogue, the bytes of the mail it has written, and
// those of them still queued on this machine. libcurl's own limits cannot
// tell the upload from the wait for a reply: its reply limit runs across the
// upload, and its speed limit takes the wait for the last reply for a stalled
// upload. Nor does it look at its progress while it waits for the answer to
// the end of the mail.
//
// It reads the time only through now and keeps no thread, so that minutes of
// waiting can be run through in an instant. Not thread-safe: its owner
// serialises the calls and ends the connection when check says so.
class SendWatchdog
{
public:
    using Clock = std::chrono::steady_clock;
    using Now = std::function<Clock::time_point()>;
    enum class Ending
    {
        None,
        Stopped,
        // Not connected and signed in within the connect limit.
        NoConnection,
        Stalled,
        NoReply,
    };

    // watch is updated with what has left, and read for the caller's stop.
    SendWatchdog(const Timeouts& limits, SendWatch& watch, Now now = &Clock::now);

    // Connected and signed in: the transaction begins, and with it the
    // limits of the replies. Until then the connect limit bounds it all,
    // counted from when this watchdog was made.
    void connected();
    // A command went out, or a reply line came in.
    void dialogue(bool command, std::string_view line);
    // libcurl's progress: bytes of the mail written so far, of total.
    void wrote(qint64 written, qint64 total);
    // Looks at the clock, given the bytes written but still queued on this
    // machine; the ending once a wait has run out or the caller stopped.
    Ending check(qint64 queued);

    Ending ending() const { return m_ending; }
    // The whole mail has left: the server's side took its last byte.
    bool uploadDone() const { return m_uploadDone; }
    // The ending, for a log.
    QString endingText() const;
    // How a call that libcurl failed as reported came to its end, given the
    // server's last reply code and what this watchdog saw.
    MailStatus failedStatus(MailStatus reported, long serverCode) const;

private:
    const Timeouts m_limits;
    SendWatch& m_watch;
    const Now m_now;
    Ending m_ending = Ending::None;
    const Clock::time_point m_startedAt;
    bool m_connected = false;
    bool m_awaitingReply = false;
    Clock::time_point m_lastDialogue;
    std::optional<Clock::time_point> m_dataAcceptedAt;
    qint64 m_written = 0;
    qint64 m_total = 0;
    qint64 m_taken = 0;
    Clock::time_point m_lastMove;
    bool m_uploadDone = false;
    Clock::time_point m_uploadDoneAt;
};

} // namespace bsmtp
