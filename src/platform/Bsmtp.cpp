#include "Bsmtp.h"

#include "WinPath.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QUuid>
#include <algorithm>
#include <curl/curl.h>
#include <memory>

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

// What every call shares: bounded waits, verified TLS, the test transport.
// libcurl keeps pointers to its members, so it stays where it was made.
struct Session
{
    Easy curl;
    Slist connectTo;
    QByteArray lastLine;
    char errorText[CURL_ERROR_SIZE] = {};

    explicit Session(bool smtp, qint64 attachmentBytes = 0) : curl(newEasy())
    {
        if (!curl)
            return;
        CURL* c = curl.get();
        const Timeouts limits = limitsFor(smtp);
        // Whole seconds are what libcurl takes for the reply wait and the
        // stall; never less than one.
        const long responseSeconds =
            std::max<long>(1, long((limits.response.count() + 999) / 1000));
        curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorText);
        curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, smtp ? "smtp" : "pop3s");
        curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, long(limits.connect.count()));
        curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, responseSeconds);
        constexpr qint64 mebibyte = qint64{1024} * 1024;
        const auto total = limits.total + limits.perExtraMebibyte *
                                              std::max<qint64>(0, attachmentBytes - mebibyte) /
                                              mebibyte;
        curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, long(total.count()));
        // A server that stops reading the upload is a stall too.
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, responseSeconds);
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
        const CURLcode code = curl_easy_perform(curl.get());
        MailResult result;
        curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &result.serverCode);
        result.status = statusOf(code, result.serverCode);
        if (code == CURLE_OK)
            result.text = QString::fromUtf8(lastLine);
        else
            result.text = QString::fromUtf8(errorText[0] ? errorText : curl_easy_strerror(code));
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
    // 8 s for the status request and 20 s for the send: 28 s in all. A
    // larger database gets 40 s more for each further mebibyte (its base64
    // text at about 280 kbit/s); a server that stops answering is still given
    // up after 10 s, one that stops reading after about 16 s (libcurl judges
    // the speed over the last few seconds), so with a silent POP3 server
    // before it the operator hears within about 21 s.
    if (smtp)
        return {8s, 10s, 20s, 40s};
    return {5s, 5s, 8s};
}

std::optional<TestTransport> setTestTransport(std::optional<TestTransport> transport)
{
    std::swap(g_testTransport, transport);
    return transport;
}

MailResult RcvMail(const QString& host, const QString& user, const QString& password,
                   const QString& command, const QString& /*folder*/)
{
    if (command.compare(QLatin1String("STAT"), Qt::CaseInsensitive) != 0)
        return failure(MailStatus::BadArguments,
                       QStringLiteral("unsupported POP3 command: %1").arg(command));
    if (host.trimmed().isEmpty() || hasLineBreak(user) || hasLineBreak(password))
        return failure(MailStatus::BadArguments, QStringLiteral("no POP3 server"));

    Session session(false);
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
                    const QString& subject, const QString& body, const QString& attachment)
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

    Session session(true, fileInfo.size());
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
