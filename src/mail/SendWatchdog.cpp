#include "mail/SendWatchdog.h"

#include <algorithm>

namespace bsmtp {

SendWatchdog::SendWatchdog(const Timeouts& limits, SendWatch& watch, Now now)
    : m_limits(limits), m_watch(watch), m_now(std::move(now)), m_startedAt(m_now()),
      m_lastDialogue(m_startedAt), m_lastMove(m_startedAt)
{}

void SendWatchdog::connected()
{
    m_connected = true;
}

void SendWatchdog::dialogue(bool command, std::string_view line)
{
    m_awaitingReply = command;
    m_lastDialogue = m_now();
    if (!command && line.substr(0, 3) == "354")
        m_dataAcceptedAt = m_lastDialogue;
}

void SendWatchdog::wrote(qint64 written, qint64 total)
{
    m_written = written;
    m_total = total;
}

SendWatchdog::Ending SendWatchdog::check(qint64 queued)
{
    if (m_ending != Ending::None)
        return m_ending;
    const Clock::time_point now = m_now();
    // What has left is what the server's side took: bytes still queued on
    // this machine could yet be lost with the line.
    const qint64 taken = std::max<qint64>(0, m_written - queued);
    if (m_total > 0)
        m_watch.total = m_total;
    if (taken > m_taken) {
        m_taken = taken;
        m_lastMove = now;
        m_watch.sent = taken;
        if (m_watch.phase == SendWatch::Connecting)
            m_watch.phase = SendWatch::Uploading;
    }
    if (!m_uploadDone && m_total > 0 && m_written >= m_total && queued == 0) {
        m_uploadDone = true;
        m_uploadDoneAt = now;
        m_watch.sent = m_total;
        m_watch.phase = SendWatch::AwaitingReply;
    }
    if (m_watch.stop)
        m_ending = Ending::Stopped;
    else if (!m_connected && now - m_startedAt > m_limits.connect)
        m_ending = Ending::NoConnection;
    else if (m_uploadDone) {
        if (now - m_uploadDoneAt > m_limits.endOfData)
            m_ending = Ending::NoReply;
    } else if (m_dataAcceptedAt) {
        if (now - std::max(*m_dataAcceptedAt, m_lastMove) > m_limits.stall)
            m_ending = Ending::Stalled;
    } else if (m_awaitingReply && now - m_lastDialogue > m_limits.reply) {
        m_ending = Ending::NoReply;
    }
    return m_ending;
}

QString SendWatchdog::endingText() const
{
    switch (m_ending) {
    case Ending::Stopped:
        return QStringLiteral("stopped by the caller");
    case Ending::NoConnection:
        return QStringLiteral("not connected and signed in within %1 ms")
            .arg(m_limits.connect.count());
    case Ending::Stalled:
        return QStringLiteral("the upload did not move for %1 ms").arg(m_limits.stall.count());
    case Ending::NoReply:
        return QStringLiteral("no reply within %1 ms")
            .arg((m_uploadDone ? m_limits.endOfData : m_limits.reply).count());
    case Ending::None:
        break;
    }
    return {};
}

MailStatus SendWatchdog::failedStatus(MailStatus reported, long serverCode) const
{
    // Once the whole mail has left, only the server's answer tells whether
    // it was taken: a refusal is one, anything else is not.
    if (m_uploadDone)
        return serverCode >= 400 ? MailStatus::Refused : MailStatus::Unconfirmed;
    switch (m_ending) {
    case Ending::Stopped:
        return MailStatus::Stopped;
    case Ending::NoConnection:
        // However libcurl took the connection being shut: in the middle of
        // the TLS handshake it would call the server not secure.
        return MailStatus::Unreachable;
    case Ending::Stalled:
        return MailStatus::UploadStalled;
    case Ending::NoReply:
    case Ending::None:
        break;
    }
    return reported;
}

} // namespace bsmtp
