#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

// Real mail servers on loopback for one test, run by servers/mailservers.py
// with /usr/bin/python3: SMTP with STARTTLS and AUTH on a free port, POP3
// over TLS on another, both with a certificate for the given host names from
// a certificate authority made for this test run. Stopped when it goes.
class MailServers
{
public:
    struct Options
    {
        // A behaviour of the SMTP server: normal, no-starttls, rcpt-5xx,
        // rcpt-451, data-5xx, data-452, slow-answer (the end of the mail
        // answered after delay), close-after-data, silent, stall-upload,
        // throttle-upload (read at 64 KiB a second), down; of the POP3
        // server: normal, silent, down.
        QString smtp = QStringLiteral("normal");
        QString pop = QStringLiteral("normal");
        int delaySeconds = 15;
        QString user;
        QString password;
        // Names the certificate is made for.
        QStringList hosts;
    };

    MailServers() = default;
    ~MailServers();
    MailServers(const MailServers&) = delete;
    MailServers& operator=(const MailServers&) = delete;

    // Makes the certificates and starts both servers; false with error()
    // telling why when they did not come up.
    bool start(const Options& options);
    const QString& error() const { return m_error; }

    int smtpPort() const { return m_smtpPort; }
    int popPort() const { return m_popPort; }
    // The certificate authority the servers' certificate comes from.
    QString caFile() const { return m_certificates + QStringLiteral("/ca.pem"); }

    // What the servers saw, in order ("pop STAT user", "smtp DATA accepted" …).
    QStringList events() const;
    // Every byte a client sent to the SMTP port, as it went over the wire.
    QByteArray smtpWire() const;
    // Received mails: the message and its envelope (JSON), by number from 1.
    int mailCount() const;
    QString mailFile(int number) const;
    QByteArray envelope(int number) const;

    // Runs a helper script of the servers folder with /usr/bin/python3 and
    // returns its standard output; empty with error() set when it failed.
    QByteArray runScript(const QString& script, const QStringList& arguments);
    // The path of a helper script of the servers folder.
    static QString scriptPath(const QString& script);

private:
    QTemporaryDir m_dir;
    QString m_certificates;
    std::unique_ptr<QProcess> m_process;
    QString m_error;
    int m_smtpPort = 0;
    int m_popPort = 0;
};
