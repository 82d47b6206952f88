#include "mail/Bsmtp.h"

#include "mail/CurlHandles.h"
#include "mail/CurlSession.h"
#include "mail/MailHeaders.h"
#include "platform/WinPath.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

namespace bsmtp {

namespace {

using namespace std::chrono_literals;
using detail::CurlSession;

std::optional<TestTransport> g_testTransport;

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

const TestTransport* testTransport()
{
    return g_testTransport ? &*g_testTransport : nullptr;
}

MailResult failure(MailStatus status, const QString& text)
{
    MailResult result;
    result.status = status;
    result.text = text;
    return result;
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

    CurlSession session(false, limitsFor(false), testTransport(), watch);
    CURL* c = session.handle();
    if (!c)
        return failure(MailStatus::Unreachable, QStringLiteral("libcurl could not start"));
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
    const ServerText serverText = parseServer(server);
    const SenderField sender = parseSenderField(senderField);
    if (!serverText.ok || recipient.trimmed().isEmpty() || sender.address.trimmed().isEmpty() ||
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

    CurlSession session(true, limitsFor(true), testTransport(), watch);
    CURL* c = session.handle();
    if (!c)
        return failure(MailStatus::Unreachable, QStringLiteral("libcurl could not start"));
    const QByteArray url =
        "smtp://" + serverText.host.toUtf8() + ':' + serverText.port.toUtf8() + '/';
    curl_easy_setopt(c, CURLOPT_URL, url.constData());
    // No sign-in and no mail on a connection that is not encrypted.
    curl_easy_setopt(c, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
    if (!sender.login.isEmpty()) {
        curl_easy_setopt(c, CURLOPT_USERNAME, sender.user.toUtf8().constData());
        curl_easy_setopt(c, CURLOPT_PASSWORD, sender.password.toUtf8().constData());
    }
    curl_easy_setopt(c, CURLOPT_MAIL_FROM, angleAddress(sender.address).constData());
    detail::Slist recipients;
    recipients.append(angleAddress(recipient));
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT, recipients.get());

    detail::Slist headers;
    headers.append("Date: " + QDateTime::currentDateTime().toString(Qt::RFC2822Date).toLatin1());
    headers.append("Message-ID: <" + QUuid::createUuid().toByteArray(QUuid::WithoutBraces) + '@' +
                   domainOf(sender.address) + '>');
    headers.append("From: " + angleAddress(sender.address));
    headers.append("To: " + angleAddress(recipient));
    headers.append("Subject: " + encodedHeaderValue(subject));
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());

    const detail::Mime mime(curl_mime_init(c));
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
