#pragma once

// The support request: DB.mdb mailed to the support desk after the
// operator's final confirmation.

#include "mail/Bsmtp.h"

#include <QString>
#include <functional>

// Why a request was not sent, as the operator is told.
enum class SupportFailure
{
    None,
    Unreachable,
    SignInRefused,
    NotSecure,
    MailRefused,
    AttachmentFailed,
    // The server stopped taking the mail partway.
    UploadStalled,
    // The operator stopped the send before the whole mail had left.
    Stopped,
};

struct SupportRequestResult
{
    enum class Outcome
    {
        // The SMTP server accepted the mail.
        Sent,
        // The operator said No; nothing was sent.
        Declined,
        // The mail did not go out; failure says why.
        Failed,
        // The whole mail left but the server's answer never came (the line
        // broke, or the operator stopped waiting): it may have arrived or not.
        Unconfirmed,
    };
    Outcome outcome = Outcome::Declined;
    SupportFailure failure = SupportFailure::None;
    // The mail library's account of the failure, for a log.
    QString detail;
};

// Called with true before the attachment is prepared and the mail calls are
// made, and with false after them (also when they throw), so the window can
// show that it is busy.
using BusyHook = std::function<void(bool busy)>;

// Runs work, the two mail calls, to its end while the window shows the send
// through watch and lets the operator stop it (watch.stop). work may run on
// any thread but the caller's must wait for it. Without a waiter the work
// runs in place.
using MailWaiter = std::function<void(const std::function<void()>& work, bsmtp::SendWatch& watch)>;

// Asks the final confirmation; on Yes asks the support mailbox for its
// status (a failure there does not stop the send), then mails a consistent
// snapshot of c:\Program Files\Tavenro\DB.mdb, named DB.mdb, to the support
// desk. When the engine cannot read the file the file's bytes go as they
// are: a damaged database is what the desk needs to see. A file another
// program holds locked past the bounded wait goes not at all, as its bytes
// could be torn. The snapshot lives in a temporary folder that is removed
// before this returns.
SupportRequestResult send_support_request(const BusyHook& busy = {}, const MailWaiter& waiter = {});

// One plain line for the operator saying why the request was not sent.
QString supportFailureReason(SupportFailure failure);
