#include "mail/MailHeaders.h"

namespace bsmtp {

ServerText parseServer(const QString& server)
{
    ServerText parsed;
    parsed.host = server.trimmed();
    parsed.port = QStringLiteral("587");
    const qsizetype colon = parsed.host.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0) {
        parsed.port = parsed.host.mid(colon + 1);
        parsed.host = parsed.host.left(colon);
    }
    bool portOk = false;
    parsed.port.toUShort(&portOk);
    parsed.ok = portOk && !parsed.host.isEmpty();
    return parsed;
}

SenderField parseSenderField(const QString& senderField)
{
    SenderField parsed;
    const qsizetype tab = senderField.indexOf(QLatin1Char('\t'));
    parsed.address = tab >= 0 ? senderField.left(tab) : senderField;
    parsed.login = tab >= 0 ? senderField.mid(tab + 1) : QString();
    const qsizetype colon = parsed.login.indexOf(QLatin1Char(':'));
    parsed.user = colon >= 0 ? parsed.login.left(colon) : parsed.login;
    parsed.password = colon >= 0 ? parsed.login.mid(colon + 1) : QString();
    return parsed;
}

bool hasLineBreak(const QString& text)
{
    return text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n'));
}

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

} // namespace bsmtp
