#include "support/SupportRequest.h"

#include "db/db.h"
#include "mail/Bsmtp.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/WinPath.h"
#include "support/SupportAccount.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <optional>

namespace {

using platform::crlf;

class BusyScope
{
public:
    explicit BusyScope(const BusyHook& busy) : m_busy(busy)
    {
        if (m_busy)
            m_busy(true);
    }
    ~BusyScope()
    {
        if (m_busy)
            m_busy(false);
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    const BusyHook& m_busy;
};

// Writes the file to attach into folder as DB.mdb and returns its host path,
// or an empty text when there is nothing to attach.
QString prepareAttachment(const QTemporaryDir& folder)
{
    const QString source = platform::hostPath(installDatabasePath());
    QString copy = folder.filePath(databaseFile);
    engine::Connection* connection = nullptr;
    engine::Connection own;
    if (db_connection && db_connection->isOpen() &&
        platform::sameNode(db_connection->filePath(), source)) {
        connection = db_connection.get();
    } else {
        // Not open since the start-up: a connection of its own tells a file
        // another program held locked then (and may still) from a damaged one.
        try {
            own.setMode(engine::Connection::ModeShareDenyNone);
            own.open(QStringLiteral("Data Source=") + source);
            connection = &own;
        } catch (const platform::Error& e) {
            if (e.cause() == platform::Error::Cause::LockTimeout)
                return {};
        }
    }
    if (connection) {
        try {
            // The product may be writing: a snapshot is one state of the
            // database, never a file caught mid-write.
            connection->snapshotTo(copy);
            return copy;
        } catch (const platform::Error& e) {
            // A copy taken while the product holds its lock could be torn:
            // better no mail than a misleading one.
            if (e.cause() == platform::Error::Cause::LockTimeout)
                return {};
            // The engine cannot read it whole; the bytes go as they are.
        }
    }
    QFile::remove(copy);
    return QFile::copy(source, copy) ? copy : QString();
}

SupportFailure failureOf(bsmtp::MailStatus status)
{
    switch (status) {
    case bsmtp::MailStatus::Done:
        return SupportFailure::None;
    case bsmtp::MailStatus::SignInRefused:
        return SupportFailure::SignInRefused;
    case bsmtp::MailStatus::NotSecure:
        return SupportFailure::NotSecure;
    case bsmtp::MailStatus::Refused:
        return SupportFailure::MailRefused;
    case bsmtp::MailStatus::AttachmentUnreadable:
        return SupportFailure::AttachmentFailed;
    case bsmtp::MailStatus::UploadStalled:
        return SupportFailure::UploadStalled;
    case bsmtp::MailStatus::Stopped:
        return SupportFailure::Stopped;
    case bsmtp::MailStatus::Unreachable:
    case bsmtp::MailStatus::BadArguments:
    case bsmtp::MailStatus::Unconfirmed:
        break;
    }
    return SupportFailure::Unreachable;
}

} // namespace

SupportRequestResult send_support_request(const BusyHook& busy, const MailWaiter& waiter)
{
    const QString prompt =
        crlf + QStringLiteral("　Tavenroサポート窓口へ調査の依頼ができます。　") + crlf + crlf +
        QStringLiteral("　窓口担当者と電話で受付完了の確認がとれましたら[はい]を"
                       "押してください。　") +
        crlf + crlf;
    if (platform::msgBox(prompt, platform::vbYesNo + platform::vbQuestion,
                         QStringLiteral("調査依頼")) != platform::vbYes)
        return {};

    const SupportAccount& account = supportAccount();
    const QString server = account.smtpHost + QStringLiteral(":587");
    const QString senderField =
        account.sender + QLatin1Char('\t') + account.user + QLatin1Char(':') + account.password;
    const QString subject = QStringLiteral("Tavenro調査依頼");
    const QString body =
        QStringLiteral("調査を依頼します。") + QStringLiteral("(Tavenroからの送信)");

    const BusyScope busyScope(busy);
    SupportRequestResult result;
    result.outcome = SupportRequestResult::Outcome::Failed;
    // The copy is taken here, on the caller's thread, which owns the shared
    // connection; only the mail calls run elsewhere.
    const QTemporaryDir folder;
    const QString attachment = folder.isValid() ? prepareAttachment(folder) : QString();

    bsmtp::SendWatch watch;
    std::optional<bsmtp::MailResult> sent;
    const std::function<void()> work = [&] {
        // The mailbox status is asked before every send; whatever it
        // answers, the send goes ahead.
        bsmtp::RcvMail(account.popHost, account.user, account.password, QStringLiteral("STAT"),
                       QStringLiteral("c:\\"), &watch);
        if (!attachment.isEmpty() && !watch.stop)
            sent = bsmtp::SendMail(server, account.recipient, senderField, subject, body,
                                   attachment, &watch);
    };
    if (waiter)
        waiter(work, watch);
    else
        work();

    if (attachment.isEmpty()) {
        result.failure = SupportFailure::AttachmentFailed;
        result.detail = QStringLiteral("no copy of %1").arg(installDatabasePath());
        return result;
    }
    if (!sent) {
        result.failure = SupportFailure::Stopped;
        return result;
    }
    result.failure = failureOf(sent->status);
    result.detail = sent->text;
    if (sent->ok())
        result.outcome = SupportRequestResult::Outcome::Sent;
    else if (sent->status == bsmtp::MailStatus::Unconfirmed)
        result.outcome = SupportRequestResult::Outcome::Unconfirmed;
    return result;
}

QString supportFailureReason(SupportFailure failure)
{
    switch (failure) {
    case SupportFailure::None:
        break;
    case SupportFailure::Unreachable:
        return QStringLiteral("メールサーバーに接続できませんでした。");
    case SupportFailure::SignInRefused:
        return QStringLiteral("メールサーバーへのログインが拒否されました。");
    case SupportFailure::NotSecure:
        return QStringLiteral("メールサーバーと安全な接続ができませんでした。");
    case SupportFailure::MailRefused:
        return QStringLiteral("メールサーバーがメールを受け付けませんでした。");
    case SupportFailure::AttachmentFailed:
        return QStringLiteral("データベースを添付できませんでした。");
    case SupportFailure::UploadStalled:
        return QStringLiteral("メールサーバーがメールを途中までしか受け取りませんでした。");
    case SupportFailure::Stopped:
        return QStringLiteral("送信を中止しました。");
    }
    return {};
}
