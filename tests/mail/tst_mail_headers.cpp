// The texts a mail is made of: header values as RFC 2047 words, and the
// server and sender fields the library is handed.

#include "mail/MailHeaders.h"

#include <QStringDecoder>
#include <QTest>

class TestMailHeaders : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void encodedWords_data();
    void encodedWords();
    void fields_data();
    void fields();
};

void TestMailHeaders::encodedWords_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("expected"); // empty: not checked byte for byte
    QTest::addColumn<int>("words");

    QTest::newRow("plain ASCII as it is")
        << "Tavenro support" << QByteArray("Tavenro support") << 0;
    QTest::newRow("the Japanese subject")
        << "Tavenro調査依頼" << QByteArray("=?UTF-8?B?VGF2ZW5yb+iqv+afu+S+nemgvA==?=") << 1;
    // 15 characters of three bytes fill a word: 45 bytes, 60 of base64.
    QTest::newRow("cut after 15 kanji") << QString(16, QChar(0x8ABF)) << QByteArray() << 2;
    QTest::newRow("ASCII and Japanese, cut at a whole character")
        << "Tavenro_調査用データベース_2024年4月1日.mdb" << QByteArray() << 2;
    QTest::newRow("characters outside the BMP kept whole")
        << QString::fromUtf8("📎📎📎📎📎📎📎📎📎📎📎📎") << QByteArray() << 2;
    QTest::newRow("a tab is encoded") << "a\tb" << QByteArray("=?UTF-8?B?YQli?=") << 1;
}

void TestMailHeaders::encodedWords()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, expected);
    QFETCH(int, words);

    const QByteArray value = bsmtp::encodedHeaderValue(text);
    if (!expected.isEmpty())
        QCOMPARE(value, expected);
    if (words == 0)
        return;
    const QList<QByteArray> parts = value.split(' ');
    QCOMPARE(parts.size(), words);
    QString decoded;
    for (const QByteArray& word : parts) {
        QVERIFY2(word.size() <= 75 && word.startsWith("=?UTF-8?B?") && word.endsWith("?="),
                 word.constData());
        // Each word decodes on its own: no character is split between two.
        QStringDecoder utf8(QStringDecoder::Utf8);
        decoded += utf8(QByteArray::fromBase64(word.mid(10, word.size() - 12)));
        QVERIFY2(!utf8.hasError(), word.constData());
    }
    QCOMPARE(decoded, text);
}

// The server "host:port" (587 when no port) and the sender field
// "address<TAB>user:password", taken apart.
void TestMailHeaders::fields_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("sender");
    QTest::addColumn<QStringList>("parsed"); // host, port, address, user, password
    QTest::addColumn<bool>("ok");

    QTest::newRow("as the support request gives them")
        << "smtp.example.jp:587"
        << "t01@example.jp\tt01:abcdef"
        << QStringList{"smtp.example.jp", "587", "t01@example.jp", "t01", "abcdef"} << true;
    QTest::newRow("no port; a password holding colons")
        << " smtp.example.jp "
        << "t01@example.jp\tt01:a:b:c"
        << QStringList{"smtp.example.jp", "587", "t01@example.jp", "t01", "a:b:c"} << true;
    QTest::newRow("the port after the last colon; no sign-in")
        << "::1:25"
        << "t01@example.jp" << QStringList{"::1", "25", "t01@example.jp", "", ""} << true;
    QTest::newRow("no host") << ":587"
                             << "t01@example.jp" << QStringList{"", "587", "t01@example.jp", "", ""}
                             << false;
    QTest::newRow("a port past 65535")
        << "smtp.example.jp:65536"
        << "t01@example.jp" << QStringList{"smtp.example.jp", "65536", "t01@example.jp", "", ""}
        << false;
}

void TestMailHeaders::fields()
{
    QFETCH(QString, server);
    QFETCH(QString, sender);
    QFETCH(QStringList, parsed);
    QFETCH(bool, ok);

    const bsmtp::ServerText serverText = bsmtp::parseServer(server);
    const bsmtp::SenderField field = bsmtp::parseSenderField(sender);
    QCOMPARE(
        (QStringList{serverText.host, serverText.port, field.address, field.user, field.password}),
        parsed);
    QCOMPARE(serverText.ok, ok);
    QCOMPARE(field.login.isEmpty(), !sender.contains(QLatin1Char('\t')));
    QCOMPARE(bsmtp::domainOf(field.address), QByteArray("example.jp"));
    QCOMPARE(bsmtp::domainOf(QStringLiteral("t01")), QByteArray("localhost"));
}

QTEST_GUILESS_MAIN(TestMailHeaders)
#include "tst_mail_headers.moc"
