#pragma once

// The texts a mail is made of: the arguments the library is handed, taken
// apart, and the header lines built from them.

#include <QByteArray>
#include <QString>

namespace bsmtp {

// The server text "host:port", the port after the last colon; 587 when no
// port is given. ok is false without a host or with a port that is no
// number from 0 to 65535.
struct ServerText
{
    QString host;
    QString port;
    bool ok = false;
};
ServerText parseServer(const QString& server);

// The sender field "address<TAB>user:password"; the password may hold
// colons. The address alone sends without signing in (login is empty).
struct SenderField
{
    QString address;
    QString login;
    QString user;
    QString password;
};
SenderField parseSenderField(const QString& senderField);

bool hasLineBreak(const QString& text);

// A header value as RFC 2047 encoded words when it is not plain printable
// ASCII; each word carries whole characters and stays under the 75-octet
// limit of one word.
QByteArray encodedHeaderValue(const QString& text);

// The domain of a mail address, for the Message-ID; "localhost" when it has
// none.
QByteArray domainOf(const QString& address);

// An address as the envelope and the From and To lines give it: <address>.
QByteArray angleAddress(const QString& address);

} // namespace bsmtp
