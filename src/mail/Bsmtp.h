#pragma once

// The mail library the tool calls for its support request, in the shape of
// the two functions it was designed around, over libcurl.
//
// Credentials travel only inside TLS: SMTP upgrades with STARTTLS and gives
// up when the server does not offer it, POP3 speaks TLS from the first byte
// (pop3s, port 995). Certificates are verified against the system's CA
// store. Every wait is bounded (see defaultTimeouts()). A call may run on any
// thread, one call at a time.

#include <QString>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <functional>
#include <optional>

namespace bsmtp {

// How a call ended. Anything but Done means the server did not take the
// request; the reasons are kept apart because the operator is told which.
enum class MailStatus
{
    Done,
    // Name not resolved, connection refused or dropped, or no answer within
    // the time limits.
    Unreachable,
    // The server turned the user name and password down.
    SignInRefused,
    // No TLS: the server offered none, the handshake failed or its
    // certificate was not trusted.
    NotSecure,
    // The server answered a command of the transaction with an error (the
    // sender, a recipient, or the mail itself).
    Refused,
    // The attachment could not be read.
    AttachmentUnreadable,
    // Arguments the library cannot use (a server text without a host).
    BadArguments,
    // The server stopped taking the mail partway: no byte of it moved for
    // the stall limit.
    UploadStalled,
    // Stopped by the caller before the whole mail had left.
    Stopped,
    // The whole mail left, but no answer to it came: the line broke, the
    // wait ran out or the caller stopped waiting. The server may have taken
    // it or not.
    Unconfirmed,
};

struct MailResult
{
    MailStatus status = MailStatus::Done;
    // The server's last reply code (250, 535, 554 …), 0 when none came.
    long serverCode = 0;
    // libcurl's account of the failure, or the server's reply on success
    // (for STAT: "+OK <messages> <octets>").
    QString text;

    bool ok() const { return status == MailStatus::Done; }
};

// Time limits of one call. connect covers the TCP connection, the TLS
// handshake and the dialogue up to the sign-in. reply bounds the wait for any
// later reply but the last, and endOfData the wait for the reply to the end of
// the mail, which a server may spend checking it. An upload is given up only
// when no byte of it has moved for stall, however long it takes in all. total,
// when not zero, bounds the whole call.
struct Timeouts
{
    std::chrono::milliseconds connect;
    std::chrono::milliseconds reply;
    std::chrono::milliseconds endOfData;
    std::chrono::milliseconds stall;
    std::chrono::milliseconds total{0};
};

// The limits the shipped program uses. For the send: 10 s to connect and be
// greeted, the waits RFC 5321 (4.5.3.2) gives a client for each reply (5
// minutes, 10 for the end of the mail), and an upload that stops moving for
// 30 s. The status request before it, whose answer is never used, is held to
// a few seconds.
Timeouts defaultTimeouts(bool smtp);

// What a send has come to, shared between the thread that sends and the
// window that shows it; stop asks the send to end as soon as it can.
struct SendWatch
{
    enum Phase
    {
        Connecting,
        Uploading,
        // The whole mail has left; the server's answer is awaited.
        AwaitingReply,
    };
    std::atomic<int> phase{Connecting};
    std::atomic<qint64> sent{0};
    std::atomic<qint64> total{0};
    std::atomic<bool> stop{false};
};

// Logs in to the POP3 mailbox of user on host (pop3s, port 995) and runs
// command, which must be "STAT". folder names where retrieved mail would be
// kept; STAT retrieves nothing, so it is not touched. watch, when given, can
// stop the call.
MailResult RcvMail(const QString& host, const QString& user, const QString& password,
                   const QString& command, const QString& folder, SendWatch* watch = nullptr);

// Sends one mail through server ("host:port"; 587 when no port is given),
// upgrading to TLS with STARTTLS, signing in with the credentials of
// senderField ("address<TAB>user:password"; the address alone sends without
// signing in). The subject and body are UTF-8 (the subject as RFC 2047
// words); attachment, a Windows or host path, goes along as a base64 part
// named after the file. Done only when the server accepted the mail. watch,
// when given, follows the send and can stop it.
MailResult SendMail(const QString& server, const QString& recipient, const QString& senderField,
                    const QString& subject, const QString& body, const QString& attachment,
                    SendWatch* watch = nullptr);

// What a test changes about the transport: where the fixed host names
// connect (libcurl's CONNECT_TO entries, "host:port:connect-host:connect-
// port"), a CA file trusted instead of the system's store, shorter time
// limits, and a call made as each library call starts. The shipped program
// never sets it; nothing of it comes from the environment.
struct TestTransport
{
    QStringList connectTo;
    QString caFile;
    std::optional<Timeouts> smtpTimeouts;
    std::optional<Timeouts> popTimeouts;
    std::function<void()> onCall;
};
// Installs a test transport (or none) and returns the one it replaces.
std::optional<TestTransport> setTestTransport(std::optional<TestTransport> transport);

} // namespace bsmtp
