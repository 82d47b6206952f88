#pragma once

#include <QString>

namespace platform {

// The runtime's line break (vbCrLf), as the tool's messages break their lines.
inline constexpr QLatin1String crlf("\r\n");

// Answers of a message box, in the Windows numbering.
enum MessageBoxAnswer
{
    vbOK = 1,
    vbCancel = 2,
    vbAbort = 3,
    vbRetry = 4,
    vbIgnore = 5,
    vbYes = 6,
    vbNo = 7,
    vbTryAgain = 10,
    vbContinue = 11,
};

// Style values: a button set plus an icon, in the Windows numbering.
enum MessageBoxStyle
{
    vbOKOnly = 0,
    vbOKCancel = 1,
    vbAbortRetryIgnore = 2,
    vbYesNoCancel = 3,
    vbYesNo = 4,
    vbRetryCancel = 5,
    vbCancelTryContinue = 6,
    vbCritical = 16,
    vbQuestion = 32,
    vbExclamation = 48,
    vbInformation = 64,
};

// The title a box bears when it is given none.
QString applicationTitle();

// Shows a modal box and returns the button pressed. Prompt lines are joined
// by CR LF. Code below the windows calls this; the box is drawn by the
// message-box handler of the seams (Seams.h), which the application installs
// and tests stand in for. The handler is given the title already defaulted.
// Without a handler, every box is declined (No, Cancel or Abort; OK for a box
// that has nothing else).
int msgBox(const QString& prompt, int style = vbOKOnly, const QString& title = {});

} // namespace platform
