#pragma once

#include <QString>

// The support account and the support desk's address, as the build was
// configured with them (SUPPORT_* cache variables).
struct SupportAccount
{
    QString smtpHost;
    QString popHost;
    QString sender;
    QString user;
    QString password;
    QString recipient;
};

const SupportAccount& supportAccount();
