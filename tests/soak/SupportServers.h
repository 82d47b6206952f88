#pragma once

#include "common/MailServers.h"
#include "mail/Bsmtp.h"
#include "support/SupportAccount.h"

#include <memory>

// Mail servers on loopback standing in for the support account's, with the
// mail library pointed at them until the object goes. error() says why when
// they did not come up.
class SupportServers
{
public:
    SupportServers()
    {
        const SupportAccount& account = supportAccount();
        MailServers::Options options;
        options.user = account.user;
        options.password = account.password;
        options.hosts = QStringList{account.smtpHost, account.popHost};
        m_started = m_servers.start(options);
        if (!m_started)
            return;
        bsmtp::TestTransport transport;
        transport.connectTo = QStringList{
            QStringLiteral("%1:587:127.0.0.1:%2").arg(account.smtpHost).arg(m_servers.smtpPort()),
            QStringLiteral("%1:995:127.0.0.1:%2").arg(account.popHost).arg(m_servers.popPort())};
        transport.caFile = m_servers.caFile();
        bsmtp::setTestTransport(transport);
    }
    ~SupportServers() { bsmtp::setTestTransport(std::nullopt); }
    SupportServers(const SupportServers&) = delete;
    SupportServers& operator=(const SupportServers&) = delete;

    bool started() const { return m_started; }
    const QString& error() const { return m_servers.error(); }

private:
    MailServers m_servers;
    bool m_started = false;
};
