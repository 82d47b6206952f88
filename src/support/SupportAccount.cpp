#include "support/SupportAccount.h"

const SupportAccount& supportAccount()
{
    static const SupportAccount account{
        QStringLiteral(SUPPORT_SMTP_HOST), QStringLiteral(SUPPORT_POP_HOST),
        QStringLiteral(SUPPORT_SENDER),    QStringLiteral(SUPPORT_USER),
        QStringLiteral(SUPPORT_PASSWORD),  QStringLiteral(SUPPORT_RECIPIENT),
    };
    return account;
}
