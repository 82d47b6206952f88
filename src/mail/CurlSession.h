#pragma once

#include "mail/Bsmtp.h"
#include "mail/CurlHandles.h"
#include "mail/SendWatchdog.h"

#include <QByteArray>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace bsmtp::detail {

// What every call shares: verified TLS, the test transport, and a watchdog
// that follows the call from a thread of its own and ends a wait that ran out
// by shutting the connection down. libcurl keeps pointers to its members, so
// it stays where it was made. The caller sets the protocol's own options on
// handle() and then performs the call once.
class CurlSession
{
public:
    // transport, when given, is the test's; watch, when given, follows the
    // call and can stop it.
    CurlSession(bool smtp, const Timeouts& limits, const TestTransport* transport,
                SendWatch* watch);
    ~CurlSession();
    CurlSession(const CurlSession&) = delete;
    CurlSession& operator=(const CurlSession&) = delete;

    // Null when libcurl could not start.
    CURL* handle() const { return m_curl.get(); }
    MailResult perform();

private:
    static MailStatus statusOf(CURLcode code, long serverCode);
    static int onDebug(CURL* curl, curl_infotype type, char* data, size_t size, void* session);
    static int onProgress(void* session, curl_off_t downloadTotal, curl_off_t downloaded,
                          curl_off_t uploadTotal, curl_off_t uploaded);
    static int onConnected(void* session, char* remoteAddress, char* localAddress, int remotePort,
                           int localPort);
    static int onSocketOpened(void* session, curl_socket_t socket, curlsocktype purpose);
    static int onSocketClosing(void* session, curl_socket_t socket);

    void watch();
    void finish();
    // Bytes written that the server's side has not yet taken; called with
    // the mutex held.
    qint64 unacknowledged() const;

    Easy m_curl;
    Slist m_connectTo;
    QByteArray m_lastLine;
    char m_errorText[CURL_ERROR_SIZE] = {};
    SendWatch m_ownWatch;

    // The watchdog's state, shared between libcurl's callbacks and the
    // watchdog's thread.
    mutable std::mutex m_mutex;
    SendWatchdog m_watchdog;
    curl_socket_t m_socket = CURL_SOCKET_BAD;
    bool m_finished = false;
    std::condition_variable m_wake;
    std::thread m_thread;
};

} // namespace bsmtp::detail
