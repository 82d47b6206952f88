#include "mail/CurlSession.h"

#include <QFile>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/sockios.h>
#endif

namespace bsmtp::detail {

namespace {

// The last reply line of the server, as libcurl hands each one over.
size_t keepLastLine(char* data, size_t size, size_t count, void* lastLine)
{
    const QByteArray line = QByteArray(data, qsizetype(size * count)).trimmed();
    if (!line.isEmpty())
        *static_cast<QByteArray*>(lastLine) = line;
    return size * count;
}

} // namespace

CurlSession::CurlSession(bool smtp, const Timeouts& limits, const TestTransport* transport,
                         SendWatch* watch)
    : m_curl(newEasy()), m_watchdog(limits, watch ? *watch : m_ownWatch)
{
    if (!m_curl)
        return;
    CURL* c = m_curl.get();
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, m_errorText);
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, smtp ? "smtp" : "pop3s");
    // The watchdog bounds the connect and the dialogue up to the sign-in; this
    // bounds the name lookup, which has no socket it could shut.
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, long(limits.connect.count()));
    // Called once the protocol's own connect, the sign-in included, is done.
    curl_easy_setopt(c, CURLOPT_PREREQFUNCTION, onConnected);
    curl_easy_setopt(c, CURLOPT_PREREQDATA, this);
    // The waits are the watchdog's. libcurl's own reply limit (two minutes
    // unless set) would count the wait for the answer to the end of the mail
    // from the DATA command when the end could not be written at once, so it
    // is set out of the way.
    curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, 24L * 3600);
    if (limits.total.count() > 0)
        curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, long(limits.total.count()));
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, this);
    // The commands and replies reach the watchdog only through libcurl's
    // trace; nothing of it is printed or kept.
    curl_easy_setopt(c, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(c, CURLOPT_DEBUGFUNCTION, onDebug);
    curl_easy_setopt(c, CURLOPT_DEBUGDATA, this);
    curl_easy_setopt(c, CURLOPT_SOCKOPTFUNCTION, onSocketOpened);
    curl_easy_setopt(c, CURLOPT_SOCKOPTDATA, this);
    curl_easy_setopt(c, CURLOPT_CLOSESOCKETFUNCTION, onSocketClosing);
    curl_easy_setopt(c, CURLOPT_CLOSESOCKETDATA, this);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, keepLastLine);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, &m_lastLine);
    if (transport) {
        for (const QString& entry : transport->connectTo)
            m_connectTo.append(entry.toUtf8());
        curl_easy_setopt(c, CURLOPT_CONNECT_TO, m_connectTo.get());
        if (!transport->caFile.isEmpty())
            curl_easy_setopt(c, CURLOPT_CAINFO, QFile::encodeName(transport->caFile).constData());
        if (transport->onCall)
            transport->onCall();
    }
}

CurlSession::~CurlSession()
{
    finish();
}

MailResult CurlSession::perform()
{
    m_thread = std::thread([this] { watch(); });
    const CURLcode code = curl_easy_perform(m_curl.get());
    finish();
    MailResult result;
    curl_easy_getinfo(m_curl.get(), CURLINFO_RESPONSE_CODE, &result.serverCode);
    result.status = statusOf(code, result.serverCode);
    if (code == CURLE_OK)
        result.text = QString::fromUtf8(m_lastLine);
    else if (m_watchdog.ending() != SendWatchdog::Ending::None)
        result.text = m_watchdog.endingText();
    else
        result.text = QString::fromUtf8(m_errorText[0] ? m_errorText : curl_easy_strerror(code));
    if (code != CURLE_OK)
        result.status = m_watchdog.failedStatus(result.status, result.serverCode);
    return result;
}

MailStatus CurlSession::statusOf(CURLcode code, long serverCode)
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

int CurlSession::onDebug(CURL* /*curl*/, curl_infotype type, char* data, size_t size, void* session)
{
    if (type == CURLINFO_HEADER_OUT || type == CURLINFO_HEADER_IN) {
        auto* self = static_cast<CurlSession*>(session);
        const std::lock_guard lock(self->m_mutex);
        self->m_watchdog.dialogue(type == CURLINFO_HEADER_OUT, std::string_view(data, size));
    }
    return 0;
}

int CurlSession::onProgress(void* session, curl_off_t /*downloadTotal*/, curl_off_t /*downloaded*/,
                            curl_off_t uploadTotal, curl_off_t uploaded)
{
    auto* self = static_cast<CurlSession*>(session);
    const std::lock_guard lock(self->m_mutex);
    self->m_watchdog.wrote(qint64(uploaded), qint64(uploadTotal));
    // Non-zero ends the call.
    return self->m_watchdog.check(self->unacknowledged()) != SendWatchdog::Ending::None ? 1 : 0;
}

int CurlSession::onConnected(void* session, char* /*remoteAddress*/, char* /*localAddress*/,
                             int /*remotePort*/, int /*localPort*/)
{
    auto* self = static_cast<CurlSession*>(session);
    const std::lock_guard lock(self->m_mutex);
    self->m_watchdog.connected();
    return CURL_PREREQFUNC_OK;
}

int CurlSession::onSocketOpened(void* session, curl_socket_t socket, curlsocktype /*purpose*/)
{
    auto* self = static_cast<CurlSession*>(session);
    const std::lock_guard lock(self->m_mutex);
    self->m_socket = socket;
    return CURL_SOCKOPT_OK;
}

int CurlSession::onSocketClosing(void* session, curl_socket_t socket)
{
    auto* self = static_cast<CurlSession*>(session);
    {
        const std::lock_guard lock(self->m_mutex);
        if (self->m_socket == socket)
            self->m_socket = CURL_SOCKET_BAD;
    }
    return ::close(socket);
}

void CurlSession::watch()
{
    std::unique_lock lock(m_mutex);
    while (!m_finished) {
        const SendWatchdog::Ending ending = m_watchdog.check(unacknowledged());
        if (ending != SendWatchdog::Ending::None && m_socket != CURL_SOCKET_BAD) {
            // Wakes libcurl from whatever wait it is in; it then fails the
            // call, and the ending says why.
            ::shutdown(m_socket, SHUT_RDWR);
            m_socket = CURL_SOCKET_BAD;
        }
        m_wake.wait_for(lock, std::chrono::milliseconds(50));
    }
}

void CurlSession::finish()
{
    {
        const std::lock_guard lock(m_mutex);
        m_finished = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

qint64 CurlSession::unacknowledged() const
{
#ifdef __linux__
    int pending = 0;
    if (m_socket != CURL_SOCKET_BAD && ::ioctl(m_socket, SIOCOUTQ, &pending) == 0)
        return pending;
#endif
    return 0;
}

} // namespace bsmtp::detail
