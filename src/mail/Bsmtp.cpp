#include "mail/Bsmtp.h"

#include "platform/WinPath.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QUuid>
#include <algorithm>
#include <condition_variable>
#include <curl/curl.h>
#include <memory>
#include <mutex>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#ifdef __linux__
#include <linux/sockios.h>
#endif
#include <string_view>

namespace bsmtp {

namespace {

using namespace std::chrono_literals;

std::optional<TestTransport> g_testTransport;

struct EasyCleanup
{
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct SlistFree
{
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct MimeFree
{
    void operator()(curl_mime* mime) const { curl_mime_free(mime); }
};
using Easy = std::unique_ptr<CURL, EasyCleanup>;
using Mime = std::unique_ptr<curl_mime, MimeFree>;

// A string list that libcurl reads during the transfer; it copies each item.
class Slist
{
public:
    void append(const QByteArray& item)
    {
        curl_slist* grown = curl_slist_append(m_list.get(), item.constData());
        if (grown) {
            (void)m_list.release();
            m_list.reset(grown);
        }
    }
    curl_slist* get() const { return m_list.get(); }

private:
    std::unique_ptr<curl_slist, SlistFree> m_list;
};

Easy newEasy()
{
    // libcurl's global set-up is not thread-safe; doing it once, here, before
    // the first handle keeps it off any later path.
    static const CURLcode initialised = curl_global_init(CURL_GLOBAL_DEFAULT);
    if (initialised != CURLE_OK)
        return {};
    return Easy(curl_easy_init());
}

// The last reply line of the server, as libcurl hands each one over.
size_t keepLastLine(char* data, size_t size, size_t count, void* lastLine)
{
    const QByteArray line = QByteArray(data, qsizetype(size * count)).trimmed();
    if (!line.isEmpty())
        *static_cast<QByteArray*>(lastLine) = line;
    return size * count;
}

Timeouts limitsFor(bool smtp)
{
    if (g_testTransport) {
        const std::optional<Timeouts>& chosen =
            smtp ? g_testTransport->smtpTimeouts : g_testTransport->popTimeouts;
        if (chosen)
            return *chosen;
    }
    return defaultTimeouts(smtp);
}

// Follows one call and ends it when a wait runs out or the caller stops it.
// libcurl's own limits cannot tell the upload from the wait for a reply: its
// reply limit runs across the upload, and its speed limit takes the wait for
// the last reply for a stalled upload. Nor does it look at its progress
// while it waits for the answer to the end of the mail. So a thread of this
// object's own measures the waits, from the commands and replies libcurl
// reports and the bytes the server's side has taken, and ends a wait that
// ran out by shutting the connection down.
class Watchdog
{
public:
    using Clock = std::chrono::steady_clock;
    enum class Ending
    {
        None,
        Stopped,
        Stalled,
        NoReply,
    };

    Watchdog(const Timeouts& limits, SendWatch* watch)
        : m_limits(limits), m_watch(watch ? watch : &m_ownWatch)
    {}
    ~Watchdog() { finish(); }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    void start()
    {
        m_thread = std::thread([this] { run(); });
    }
    void finish()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_finished = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }

    Ending ending() const
    {
        const std::lock_guard lock(m_mutex);
        return m_ending;
    }
    bool uploadDone() const
    {
        const std::lock_guard lock(m_mutex);
        return m_uploadDone;
    }

    // The connection's socket, while it is open.
    void opened(curl_socket_t socket)
    {
        const std::lock_guard lock(m_mutex);
        m_socket = socket;
    }
    void closing(curl_socket_t socket)
    {
        const std::lock_guard lock(m_mutex);
        if (m_socket == socket)
            m_socket = CURL_SOCKET_BAD;
    }

    // A command went out or a reply line came in.
    void dialogue(bool command, const char* data, size_t size)
    {
        const std::lock_guard lock(m_mutex);
        m_awaitingReply = command;
        m_lastDialogue = Clock::now();
        if (!command && size >= 3 && std::string_view(data, 3) == "354")
            m_dataAcceptedAt = m_lastDialogue;
    }

    // libcurl's progress: bytes of the mail written so far; true ends the call.
    bool progress(qint64 written, qint64 total)
    {
        const std::lock_guard lock(m_mutex);
        m_written = written;
        m_total = total;
        update(Clock::now());
        return m_ending != Ending::None;
    }

    QString endingText() const
    {
        const std::lock_guard lock(m_mutex);
        switch (m_ending) {
        case Ending::Stopped:
            return QStringLiteral("stopped by the caller");
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

private:
    void run()
    {
        std::unique_lock lock(m_mutex);
        while (!m_finished) {
            update(Clock::now());
            if (m_ending != Ending::None && m_socket != CURL_SOCKET_BAD) {
                // Wakes libcurl from whatever wait it is in; it then fails
                // the call, and the ending says why.
                ::shutdown(m_socket, SHUT_RDWR);
                m_socket = CURL_SOCKET_BAD;
            }
            m_wake.wait_for(lock, std::chrono::milliseconds(50));
        }
    }

    // Bytes written that the server's side has not yet taken.
    qint64 unacknowledged() const
    {
#ifdef __linux__
        int pending = 0;
        if (m_socket != CURL_SOCKET_BAD && ::ioctl(m_socket, SIOCOUTQ, &pending) == 0)
            return pending;
#endif
        return 0;
    }

    // Called with the mutex held.
    void update(Clock::time_point now)
    {
        if (m_ending != Ending::None)
            return;
        // What has left is what the server's side took: bytes still queued
        // on this machine could yet be lost with the line.
        const qint64 queued = unacknowledged();
        const qint64 taken = std::max<qint64>(0, m_written - queued);
        if (m_total > 0)
            m_watch->total = m_total;
        if (taken > m_taken) {
            m_taken = taken;
            m_lastMove = now;
            m_watch->sent = taken;
            if (m_watch->phase == SendWatch::Connecting)
                m_watch->phase = SendWatch::Uploading;
        }
        if (!m_uploadDone && m_total > 0 && m_written >= m_total && queued == 0) {
            m_uploadDone = true;
            m_uploadDoneAt = now;
            m_watch->sent = m_total;
            m_watch->phase = SendWatch::AwaitingReply;
        }
        if (m_watch->stop)
            m_ending = Ending::Stopped;
        else if (m_uploadDone) {
            if (now - m_uploadDoneAt > m_limits.endOfData)
                m_ending = Ending::NoReply;
        } else if (m_dataAcceptedAt) {
            if (now - std::max(*m_dataAcceptedAt, m_lastMove) > m_limits.stall)
                m_ending = Ending::Stalled;
        } else if (m_awaitingReply && now - m_lastDialogue > m_limits.reply) {
            m_ending = Ending::NoReply;
        }
    }

    const Timeouts m_limits;
    SendWatch m_ownWatch;
    SendWatch* m_watch;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::thread m_thread;
    bool m_finished = false;
    curl_socket_t m_socket = CURL_SOCKET_BAD;
    Ending m_ending = Ending::None;
    bool m_awaitingReply = false;
    Clock::time_point m_lastDialogue = Clock::now();
    std::optional<Clock::time_point> m_dataAcceptedAt;
    qint64 m_written = 0;
    qint64 m_total = 0;
    qint64 m_taken = 0;
    Clock::time_point m_lastMove = Clock::now();
    bool m_uploadDone = false;
    Clock::time_point m_uploadDoneAt;
};

int onDebug(CURL* /*curl*/, curl_infotype type, char* data, size_t size, void* watchdog)
{
    if (type == CURLINFO_HEADER_OUT || type == CURLINFO_HEADER_IN)
        static_cast<Watchdog*>(watchdog)->dialogue(type == CURLINFO_HEADER_OUT, data, size);
    return 0;
}

int onProgress(void* watchdog, curl_off_t /*downloadTotal*/, curl_off_t /*downloaded*/,
               curl_off_t uploadTotal, curl_off_t uploaded)
{
    return static_cast<Watchdog*>(watchdog)->progress(qint64(uploaded), qint64(uploadTotal)) ? 1
                                                                                             : 0;
}

int onSocketOpened(void* watchdog, curl_socket_t socket, curlsocktype /*purpose*/)
{
    static_cast<Watchdog*>(watchdog)->opened(socket);
    return CURL_SOCKOPT_OK;
}

int onSocketClosing(void* watchdog, curl_socket_t socket)
{
    static_cast<Watchdog*>(watchdog)->closing(socket);
    return ::close(socket);
}

// What every call shares: bounded waits, verified TLS, the test transport.
// libcurl keeps pointers to its members, so it stays where it was made.
struct Session
{
    Easy curl;
    Slist connectTo;
    QByteArray lastLine;
    char errorText[CURL_ERROR_SIZE] = {};
    Watchdog watchdog;

    explicit Session(bool smtp, SendWatch* watch = nullptr)
        : curl(newEasy()), watchdog(limitsFor(smtp), watch)
    {
        if (!curl)
            return;
        CURL* c = curl.get();
        const Timeouts limits = limitsFor(smtp);
        curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorText);
        curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, smtp ? "smtp" : "pop3s");
        curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, long(limits.connect.count()));
        // The waits are the watchdog's. libcurl's own reply limit (two
        // minutes unless set) would count the wait for the answer to the end
        // of the mail from the DATA command when the end could not be written
        // at once, so it is set out of the way.
        curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, 24L * 3600);
        if (limits.total.count() > 0)
            curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, long(limits.total.count()));
        curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, onProgress);
        curl_easy_setopt(c, CURLOPT_XFERINFODATA, &watchdog);
        // The commands and replies reach the watchdog only through libcurl's
        // trace; nothing of it is printed or kept.
        curl_easy_setopt(c, CURLOPT_VERBOSE, 1L);
        curl_easy_setopt(c, CURLOPT_DEBUGFUNCTION, onDebug);
        curl_easy_setopt(c, CURLOPT_DEBUGDATA, &watchdog);
        curl_easy_setopt(c, CURLOPT_SOCKOPTFUNCTION, onSocketOpened);
        curl_easy_setopt(c, CURLOPT_SOCKOPTDATA, &watchdog);
        curl_easy_setopt(c, CURLOPT_CLOSESOCKETFUNCTION, onSocketClosing);
        curl_easy_setopt(c, CURLOPT_CLOSESOCKETDATA, &watchdog);
        curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
        curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, keepLastLine);
        curl_easy_setopt(c, CURLOPT_HEADERDATA, &lastLine);
        if (g_testTransport) {
            for (const QString& entry : g_testTransport->connectTo)
                connectTo.append(entry.toUtf8());
            curl_easy_setopt(c, CURLOPT_CONNECT_TO, connectTo.get());
            if (!g_testTransport->caFile.isEmpty())
                curl_easy_setopt(c, CURLOPT_CAINFO,
                                 QFile::encodeName(g_testTransport->caFile).constData());
            if (g_testTransport->onCall)
                g_testTransport->onCall();
        }
    }

    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    MailResult perform()
    {
        watchdog.start();
        const CURLcode code = curl_easy_perform(curl.get());
        watchdog.finish();
        MailResult result;
        curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &result.serverCode);
        result.status = statusOf(code, result.serverCode);
        if (code == CURLE_OK)
            result.text = QString::fromUtf8(lastLine);
        else if (watchdog.ending() != Watchdog::Ending::None)
            result.text = watchdog.endingText();
        else
            result.text = QString::fromUtf8(errorText[0] ? errorText : curl_easy_strerror(code));
        if (code == CURLE_OK)
            return result;
        // Once the whole mail has left, only the server's answer tells
        // whether it was taken: a refusal is one, anything else is not.
        if (watchdog.uploadDone())
            result.status =
                result.serverCode >= 400 ? MailStatus::Refused : MailStatus::Unconfirmed;
        else if (watchdog.ending() == Watchdog::Ending::Stopped)
            result.status = MailStatus::Stopped;
        return result;
    }

    static MailStatus statusOf(CURLcode code, long serverCode)
    {
        switch (code) {
        case CURLE_OK:
            return MailStatus::Done;
        case CURLE_LOGIN_DENIED:
            return MailStatus::SignInRefused;
        case CURLE_USE_SSL_FAILED:
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_INVALIDCERTSTATUS:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_CRL_BADFILE:
            return MailStatus::NotSecure;
        case CURLE_READ_ERROR:
            return MailStatus::AttachmentUnreadable;
        case CURLE_URL_MALFORMAT:
            return MailStatus::BadArguments;
        default:
            // libcurl reports a refused sender, recipient or mail as a send
            // error or an odd reply; the reply code says the server refused.
            return serverCode >= 400 ? MailStatus::Refused : MailStatus::Unreachable;
        }
    }
};

MailResult failure(MailStatus status, const QString& text)
{
    MailResult result;
    result.status = status;
    result.text = text;
    return result;
}

bool hasLineBreak(const QString& text)
{
    return text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n'));
}

// A header value as RFC 2047 encoded words when it is not plain printable
// ASCII; each word carries whole characters and stays under the 75-octet
// limit of one word.
QByteArray encodedHeaderValue(const QString& text)
{
    bool plain = true;
    for (QChar c : text)
        plain = plain && c.unicode() >= 0x20 && c.unicode() < 0x7f;
    if (plain)
        return text.toLatin1();
    QByteArray value;
    QByteArray chunk;
    auto flush = [&] {
        if (chunk.isEmpty())
            return;
        if (!value.isEmpty())
            value += ' ';
        value += "=?UTF-8?B?" + chunk.toBase64() + "?=";
        chunk.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        qsizetype length = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QByteArray character = text.mid(i, length).toUtf8();
        if (chunk.size() + character.size() > 45)
            flush();
        chunk += character;
        i += length - 1;
    }
    flush();
    return value;
}

QByteArray domainOf(const QString& address)
{
    const qsizetype at = address.lastIndexOf(QLatin1Char('@'));
    return at >= 0 && at + 1 < address.size() ? address.mid(at + 1).toUtf8()
                                              : QByteArrayLiteral("localhost");
}

QByteArray angleAddress(const QString& address)
{
    return '<' + address.trimmed().toUtf8() + '>';
}

} // namespace

Timeouts defaultTimeouts(bool smtp)
{
    if (smtp)
        return {10s, 5min, 10min, 30s};
    // Its answer is never used: a POP3 server that does not answer at once
    // is not waited for long.
    return {5s, 5s, 5s, 5s, 8s};
}

std::optional<TestTransport> setTestTransport(std::optional<TestTransport> transport)
{
    std::swap(g_testTransport, transport);
    return transport;
}

MailResult RcvMail(const QString& host, const QString& user, const QString& password,
                   const QString& command, const QString& /*folder*/, SendWatch* watch)
{
    if (command.compare(QLatin1String("STAT"), Qt::CaseInsensitive) != 0)
        return failure(MailStatus::BadArguments,
                       QStringLiteral("unsupported POP3 command: %1").arg(command));
    if (host.trimmed().isEmpty() || hasLineBreak(user) || hasLineBreak(password))
        return failure(MailStatus::BadArguments, QStringLiteral("no POP3 server"));

    Session session(false, watch);
    if (!session.curl)
        return failure(MailStatus::Unreachable, QStringLiteral("libcurl could not start"));
    CURL* c = session.curl.get();
    const QByteArray url = "pop3s://" + host.trimmed().toUtf8() + ":995/";
    curl_easy_setopt(c, CURLOPT_URL, url.constData());
    curl_easy_setopt(c, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
    curl_easy_setopt(c, CURLOPT_USERNAME, user.toUtf8().constData());
    curl_easy_setopt(c, CURLOPT_PASSWORD, password.toUtf8().constData());
    curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, "STAT");
    // STAT answers on one line; without this libcurl waits for a listing.
    curl_easy_setopt(c, CURLOPT_NOBODY, 1L);
    return session.perform();
}

MailResult SendMail(const QString& server, const QString& recipient, const QString& senderField,
                    const QString& subject, const QString& body, const QString& attachment,
                    SendWatch* watch)
{
    // "host:port"; the port after the last colon.
    QString host = server.trimmed();
    QString port = QStringLiteral("587");
    const qsizetype colon = host.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0) {
        port = host.mid(colon + 1);
        host = host.left(colon);
    }
    bool portOk = false;
    port.toUShort(&portOk);
    // "address<TAB>user:password"; the password may hold colons.
    const qsizetype tab = senderField.indexOf(QLatin1Char('\t'));
    const QString sender = tab >= 0 ? senderField.left(tab) : senderField;
    const QString login = tab >= 0 ? senderField.mid(tab + 1) : QString();
    const qsizetype loginColon = login.indexOf(QLatin1Char(':'));
    const QString user = loginColon >= 0 ? login.left(loginColon) : login;
    const QString password = loginColon >= 0 ? login.mid(loginColon + 1) : QString();
    if (host.isEmpty() || !portOk || recipient.trimmed().isEmpty() || sender.trimmed().isEmpty() ||
        hasLineBreak(senderField) || hasLineBreak(recipient))
        return failure(MailStatus::BadArguments,
                       QStringLiteral("unusable server, sender or recipient"));

    // Read from the file while sending; a file that cannot be read is
    // reported before any server is contacted.
    const QString file = platform::hostPath(attachment);
    const QFileInfo fileInfo(file);
    if (!fileInfo.isFile() || !fileInfo.isReadable())
        return failure(MailStatus::AttachmentUnreadable,
                       QStringLiteral("cannot read the attachment %1").arg(file));

    Session session(true, watch);
    if (!session.curl)
        return failure(MailStatus::Unreachable, QStringLiteral("libcurl could not start"));
    CURL* c = session.curl.get();
    const QByteArray url = "smtp://" + host.toUtf8() + ':' + port.toUtf8() + '/';
    curl_easy_setopt(c, CURLOPT_URL, url.constData());
    // No sign-in and no mail on a connection that is not encrypted.
    curl_easy_setopt(c, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
    if (!login.isEmpty()) {
        curl_easy_setopt(c, CURLOPT_USERNAME, user.toUtf8().constData());
        curl_easy_setopt(c, CURLOPT_PASSWORD, password.toUtf8().constData());
    }
    curl_easy_setopt(c, CURLOPT_MAIL_FROM, angleAddress(sender).constData());
    Slist recipients;
    recipients.append(angleAddress(recipient));
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT, recipients.get());

    Slist headers;
    headers.append("Date: " + QDateTime::currentDateTime().toString(Qt::RFC2822Date).toLatin1());
    headers.append("Message-ID: <" + QUuid::createUuid().toByteArray(QUuid::WithoutBraces) + '@' +
                   domainOf(sender) + '>');
    headers.append("From: " + angleAddress(sender));
    headers.append("To: " + angleAddress(recipient));
    headers.append("Subject: " + encodedHeaderValue(subject));
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());

    const Mime mime(curl_mime_init(c));
    curl_mimepart* text = curl_mime_addpart(mime.get());
    const QByteArray bodyBytes = body.toUtf8();
    curl_mime_data(text, bodyBytes.constData(), size_t(bodyBytes.size()));
    curl_mime_type(text, "text/plain; charset=UTF-8");
    curl_mime_encoder(text, "base64");
    curl_mimepart* part = curl_mime_addpart(mime.get());
    if (curl_mime_filedata(part, QFile::encodeName(file).constData()) != CURLE_OK)
        return failure(MailStatus::AttachmentUnreadable,
                       QStringLiteral("cannot read the attachment %1").arg(file));
    curl_mime_filename(part, fileInfo.fileName().toUtf8().constData());
    curl_mime_type(part, "application/octet-stream");
    curl_mime_encoder(part, "base64");
    curl_easy_setopt(c, CURLOPT_MIMEPOST, mime.get());
    return session.perform();
}

} // namespace bsmtp
